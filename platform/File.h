// Files in binary mode with 64-bit offsets: the one way the library reads and writes files.
//
// Errors: a failed call leaves error() as an errno value (on Windows the system's error is
// translated to the nearest errno value, so callers test one set of codes) and errorText()
// as the system's own message for it (strerror, or FormatMessage of GetLastError()).
//
// Threads: a File belongs to one caller at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace orvane::platform {

enum class FileMode {
    Read,             // existing file, read only
    WriteCreate,      // write only; created, or an existing file truncated
    ReadWriteCreate,  // read and write; created, or an existing file truncated
};

class File {
  public:
    File() = default;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens `path` (in the narrow encoding of file names: UTF-8 on POSIX, the ANSI code page
    // on Windows). False, with the error kept, when it cannot be opened; a File already open
    // is closed first.
    bool open(const char* path, FileMode mode);
    bool isOpen() const;

    // True when the open file is a regular file on disk (not a pipe, device, or directory).
    bool isRegular() const;
    // The file's length in bytes, or -1 on failure.
    int64_t size() const;

    // Reads from the current position, retrying interrupted reads; the count read (0 at the
    // end of the file), or -1 on failure.
    int64_t read(void* out, size_t bytes);
    // Reads exactly `bytes` bytes from the current position; the end of the file counts as
    // a failure.
    bool readAll(void* out, size_t bytes);
    // Reads at `offset` without regard to the current position; as read().
    int64_t readAt(uint64_t offset, void* out, size_t bytes);

    // One write request at `offset`; returns the count written, which may be short, or -1.
    int64_t writeAt(uint64_t offset, const void* data, size_t bytes);
    // Two blocks written at `offset` as one request where the system has one (a chunk
    // header and its payload); the count written, which may be short, or -1.
    int64_t writeAt2(uint64_t offset, const void* a, size_t aBytes, const void* b, size_t bBytes);
    // Writes all `bytes` at `offset`, over short writes. A write that makes no progress
    // fails with ENOSPC.
    bool writeAllAt(uint64_t offset, const void* data, size_t bytes);

    // Sets the file's length, cutting or extending it (extension reads as zeros).
    bool setSize(uint64_t length);

    // Closes; false (error kept) when the system reported a failure for the close. Closing
    // a file that is not open succeeds.
    bool close();

    // The last failure of this object, or 0, and the system's text for it.
    int error() const { return error_; }
    const std::string& errorText() const { return errorText_; }

  private:
    bool fail();                // takes the system's current error
    bool fail(int errnoValue);  // an error this layer decided on
    // Closes what is open and clears the last error; false (ENOENT) for an empty path.
    bool beginOpen(const char* path);

#if defined(_WIN32)
    void* handle_ = nullptr;  // HANDLE; null when closed (INVALID_HANDLE_VALUE is never kept)
#else
    int fd_ = -1;
#endif
    int error_ = 0;
    std::string errorText_;
};

// True when `path` names a regular file itself: a symbolic link (or other reparse point),
// pipe, device or directory is not one. Links are not followed.
bool isRegularFile(const char* path);

// Deletes the file `path`; false when it could not be deleted.
bool removeFile(const char* path);

// True when the stdio stream is backed by a regular file on disk.
bool isRegularStream(FILE* stream);

// The system's message for an errno value.
std::string errnoText(int errnoValue);

}  // namespace orvane::platform
