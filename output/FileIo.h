// Checked file output shared by the image, mask and AVI writers.
//
// Threads: each object belongs to one caller at a time; nothing here is shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/File.h"

namespace orvane::output {

// A file opened for writing. Every write is checked and retried over short writes; the
// first failure is kept in `error()` (an errno value) and all later writes are
// refused, so a caller can issue a sequence of writes and test once at the end.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file or truncates an existing one. False (errno in error()) on failure.
    bool open(const char* path);
    bool isOpen() const { return file_.isOpen(); }
    int error() const { return error_; }
    bool ok() const { return file_.isOpen() && error_ == 0; }
    // Accepts writes again after a failure, for a writer that repairs what it can (cuts a
    // partial record, writes its index in the space that frees).
    void clearError() { error_ = 0; }

    // Writes at the current end position (tracked here, not through the descriptor).
    bool append(const void* data, size_t bytes);
    // Writes two blocks as one request (a chunk header and its payload).
    bool append2(const void* a, size_t aBytes, const void* b, size_t bBytes);
    // Writes at an absolute position without moving the end position.
    bool writeAt(uint64_t offset, const void* data, size_t bytes);
    // Cuts the file back to `length` bytes (drops a partly written record) and moves the end.
    bool truncate(uint64_t length);
    uint64_t position() const { return position_; }

    // Closes; false when the close itself reported an error or an earlier write failed.
    bool close();
    // Ends a save: keeps the file when every write and the close succeeded, else removes it
    // as discard() does. True when the file was kept.
    bool commit();
    // Closes (if still open) and removes the file when it is a regular file (never a device
    // or pipe), so a failed save leaves no half-written file behind. No effect after a
    // successful close().
    void discard();

  private:
    bool fail(int err);

    platform::File file_;
    int error_ = 0;
    bool regular_ = false;
    uint64_t position_ = 0;
    std::string path_;
};

// Owning stdio stream for the encoders that take a FILE* (libjpeg, libpng). Writes go
// through stdio's buffer, so failures may only show at fflush/fclose: `finish()` reports
// them.
class StdioFile {
  public:
    StdioFile() = default;
    ~StdioFile();
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    // fopen(path, "wb") with a large buffer. False on failure.
    bool open(const char* path);
    FILE* get() const { return file_; }
    // Flushes and closes; false when any buffered write or the close failed.
    bool finish();
    // Ends a save: keeps the file when the encoder succeeded (`encoded`) and finish() does,
    // else removes it as discard() does. True when the file was kept.
    bool commit(bool encoded);
    // Closes (if still open) and removes the file when it is a regular file. No effect
    // after a successful finish().
    void discard();

  private:
    FILE* file_ = nullptr;
    bool regular_ = false;
    std::string path_;
};

// Removes `path` when it names a regular file; used after a failed save.
void removeRegularFile(const char* path);

}  // namespace orvane::output
