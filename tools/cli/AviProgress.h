// Follows an AVI file while the library records into it: how many frames it holds so far and
// whether the recorder has finished it (the stream header's frame count is written last).
#pragma once

#include <cstdint>
#include <string>

namespace cli {

class AviProgress {
  public:
    explicit AviProgress(std::string path) : path_(std::move(path)) {}
    // Frames written so far, from the file's size and the size of one frame chunk.
    long frames();
    // True once the recorder has completed the file's headers.
    bool finished();
    // Frame count of a finished file.
    long finalFrames();

  private:
    bool readHeader();
    bool readU32(uint64_t offset, uint32_t* value) const;

    std::string path_;
    uint64_t dataStart_ = 0;   // first frame chunk, after the "movi" list type
    uint64_t chunkBytes_ = 0;  // one frame chunk with its 8-byte header
};

}  // namespace cli
