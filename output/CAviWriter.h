// Uncompressed AVI writer: 24-bit bottom-up DIB frames in "00db" chunks, an "idx1" index,
// and the OpenDML extension ("AVIX" parts, "indx"/"ix00" indexes, "dmlh") once the file
// outgrows what one RIFF should address.
//
// The writer knows nothing of cameras or threads. Threads: not internally locked; one owner
// calls it at a time (the session's recording thread while it runs, then the thread that
// stopped it, after joining).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/CDibImage.h"
#include "output/FileIo.h"

namespace orvane::output {

class CAviWriter {
  public:
    // Rates are in hundredths of a frame per second.
    static constexpr uint32_t kDefaultRate = 3000;
    // Parts of an OpenDML file stay below this size: 1 GiB is where common readers of
    // plain AVI files stop, and far from the 4 GiB a RIFF size field can hold.
    static constexpr uint64_t kRiffLimitBytes = uint64_t{1} << 30;
    // Slots of the super index, one per RIFF part (256 parts of 1 GiB).
    static constexpr uint32_t kSuperIndexSlots = 256;

    CAviWriter() = default;
    // A writer destroyed before finish() finishes its file, so the file keeps its index.
    ~CAviWriter();
    CAviWriter(const CAviWriter&) = delete;
    CAviWriter& operator=(const CAviWriter&) = delete;

    // Creates or truncates `path` and writes everything up to the "movi" list for frames of
    // width x height pixels. A file still open is finished first. `sourceBitCount` is the
    // bit count of the images the frames come from (kept for information: frames are
    // always 24-bit). `rate` is the provisional rate of the header. Returns 1, or 0 when the
    // size is unusable or the file cannot be created or written.
    int open(const char* path, int width, int height, uint16_t sourceBitCount = 24,
             uint32_t rate = kDefaultRate);

    // Appends one frame: height rows of 24-bit blue-green-red pixels, the picture's bottom
    // row first, `srcStride` bytes apart (at least width x 3). The chunk holds the rows at
    // the 4-byte-padded stride a DIB of this width has, whatever srcStride is. Returns 1, or
    // 0 when not open, after a write failure, or when the super index is full; after a
    // failure no frame is accepted any more and the file is finished with what it has.
    int appendFrame(const uint8_t* bottomUpRows, size_t srcStride);
    // Same, from a 24-bit image whose memory row 0 is the picture's bottom row.
    int appendFrame(const imaging::CDibImage& frame24);

    // Sets the rate written by finish() (hundredths of a frame per second). 0 stands for a
    // rate too slow to measure: the slowest the header can express (1) is used.
    void setRate(uint32_t rate);
    uint32_t rate() const { return rate_; }

    // Writes the indexes, patches the header fields and closes the file. Returns 1 when the
    // whole file was written, 0 when nothing was open or any write failed (the file then
    // holds the frames written before the failure, with their index where the disk allowed).
    int finish();

    bool isOpen() const { return file_.isOpen(); }
    // True after a write failure; errnoValue() tells which.
    bool failed() const { return failed_; }
    int errnoValue() const { return error_; }
    uint32_t frameCount() const { return static_cast<uint32_t>(frames_.size()); }
    // Payload bytes of one frame chunk.
    uint32_t frameBytes() const { return frameBytes_; }
    // Bit count of the images the frames come from, as given to open() (informational).
    uint16_t sourceBitCount() const { return sourceBitCount_; }
    // Number of RIFF parts so far (1 for a plain AVI).
    uint32_t riffCount() const { return static_cast<uint32_t>(parts_.size()); }

    // Rate from a measured interval: frames x 100000 / elapsed milliseconds, worked in 64
    // bits so long recordings cannot overflow. An interval of 0 measures nothing and gives
    // kDefaultRate; a result below 1 (under one frame per 100 s) gives 1.
    static uint32_t measuredRate(uint32_t frames, uint32_t elapsedMs);

    // Smaller part limit, so that tests can reach the OpenDML layout with small files.
    void setRiffLimitForTesting(uint64_t bytes) { riffLimit_ = bytes; }

  private:
    struct Part {
        uint64_t riffStart = 0;   // offset of the "RIFF" fourcc
        uint64_t moviStart = 0;   // offset of the "movi" fourcc
        uint32_t firstFrame = 0;  // index into frames_
        uint32_t frameCount = 0;
        uint64_t ixOffset = 0;  // offset of the part's "ix00" chunk once written
        uint32_t ixBytes = 0;   // its size including the 8-byte chunk header
    };

    bool writeFrame(const uint8_t* pixels);
    bool startPart();
    bool closePart(bool last);
    bool writeIx00(Part& part);
    bool writeIdx1(const Part& part);
    void patchHeaders();
    void fail(int err);
    // Remembers the file's error, then lets the repair writes through.
    void keepError();
    int finalize();
    bool writeU32At(uint64_t offset, uint32_t value);

    OutputFile file_;
    int width_ = 0;
    int height_ = 0;
    uint16_t sourceBitCount_ = 0;
    uint32_t rate_ = kDefaultRate;
    uint32_t frameBytes_ = 0;
    uint32_t rowBytes_ = 0;  // padded 24-bit row
    bool failed_ = false;
    int error_ = 0;          // errno of the first failure
    int pendingError_ = 0;   // errno of a write failure already repaired
    bool partOpen_ = false;  // the last part's "movi" list still takes frames
    uint64_t riffLimit_ = kRiffLimitBytes;
    // Chunk offsets (of the "00db" fourcc) of every frame written.
    std::vector<uint64_t> frames_;
    std::vector<Part> parts_;
    // Frame assembled at the padded stride when the caller's stride differs.
    imaging::AlignedBytes packed_;
};

}  // namespace orvane::output
