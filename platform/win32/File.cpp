// Win32 files: CreateFileA handles opened for synchronous I/O, positional reads and writes
// through an OVERLAPPED offset, lengths through SetFileInformationByHandle.
#include "platform/File.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace orvane::platform {
namespace {

// ReadFile/WriteFile take a 32-bit count; larger requests go in pieces of this size.
constexpr size_t kMaxRequest = size_t{1} << 30;

size_t clampRequest(size_t bytes) {
    return bytes < kMaxRequest ? bytes : kMaxRequest;
}

HANDLE toHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

// The errno value callers test for a system error; the system's own text is kept beside it.
int errnoFromWin32(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILE_TOO_LARGE:
            return EFBIG;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
        case ERROR_NEGATIVE_SEEK:
            return EINVAL;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_DIRECTORY:
            return EISDIR;
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
            return EPIPE;
        default:
            return EIO;
    }
}

std::string win32Text(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result;
    if (length != 0 && text != nullptr) {
        result.assign(text, length);
        // The system's messages end in "\r\n".
        while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
            result.pop_back();
    }
    if (text != nullptr) LocalFree(text);
    if (result.empty()) result = "Windows error " + std::to_string(error);
    return result;
}

OVERLAPPED at(uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

bool regularHandle(HANDLE h) {
    if (h == nullptr || h == INVALID_HANDLE_VALUE || GetFileType(h) != FILE_TYPE_DISK) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(h, &info)) return false;
    return (info.dwFileAttributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

constexpr int64_t kFailed = -1;

}  // namespace

std::string errnoText(int errnoValue) {
    char buffer[256];
    if (strerror_s(buffer, sizeof buffer, errnoValue) != 0)
        return "error " + std::to_string(errnoValue);
    return buffer;
}

File::~File() {
    close();
}

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      error_(other.error_),
      errorText_(std::move(other.errorText_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = other.error_;
        errorText_ = std::move(other.errorText_);
    }
    return *this;
}

bool File::fail() {
    const DWORD error = GetLastError();
    error_ = errnoFromWin32(error);
    errorText_ = win32Text(error);
    return false;
}

bool File::open(const char* path, FileMode mode) {
    if (!beginOpen(path)) return false;
    DWORD access = 0;
    DWORD disposition = 0;
    switch (mode) {
        case FileMode::Read:
            access = GENERIC_READ;
            disposition = OPEN_EXISTING;
            break;
        case FileMode::WriteCreate:
            access = GENERIC_WRITE;
            disposition = CREATE_ALWAYS;
            break;
        case FileMode::ReadWriteCreate:
            access = GENERIC_READ | GENERIC_WRITE;
            disposition = CREATE_ALWAYS;
            break;
    }
    // Others may read and even delete meanwhile, as on POSIX; the handle stays valid.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE h =
        CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return fail();
    handle_ = h;
    return true;
}

bool File::isOpen() const {
    return handle_ != nullptr;
}

bool File::isRegular() const {
    return regularHandle(toHandle(handle_));
}

int64_t File::size() const {
    LARGE_INTEGER size{};
    if (handle_ == nullptr || !GetFileSizeEx(toHandle(handle_), &size)) return -1;
    return static_cast<int64_t>(size.QuadPart);
}

int64_t File::read(void* out, size_t bytes) {
    if (handle_ == nullptr) return fail(EBADF), kFailed;
    DWORD done = 0;
    if (!ReadFile(toHandle(handle_), out, static_cast<DWORD>(clampRequest(bytes)), &done,
                  nullptr)) {
        // The writer of a pipe went away: that is the end of the data, not a failure.
        if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
        return fail(), kFailed;
    }
    return done;
}

int64_t File::readAt(uint64_t offset, void* out, size_t bytes) {
    if (handle_ == nullptr) return fail(EBADF), kFailed;
    OVERLAPPED o = at(offset);
    DWORD done = 0;
    if (!ReadFile(toHandle(handle_), out, static_cast<DWORD>(clampRequest(bytes)), &done, &o)) {
        if (GetLastError() == ERROR_HANDLE_EOF) return 0;
        return fail(), kFailed;
    }
    return done;
}

int64_t File::writeAt(uint64_t offset, const void* data, size_t bytes) {
    if (handle_ == nullptr) return fail(EBADF), kFailed;
    if (offset > static_cast<uint64_t>(INT64_MAX) - bytes) return fail(EFBIG), kFailed;
    OVERLAPPED o = at(offset);
    DWORD done = 0;
    if (!WriteFile(toHandle(handle_), data, static_cast<DWORD>(clampRequest(bytes)), &done, &o))
        return fail(), kFailed;
    return done;
}

// Windows has no gather write for ordinary handles (WriteFileGather needs unbuffered,
// page-aligned I/O): the two blocks go one after the other, and a short first write ends the
// request as a short write would.
int64_t File::writeAt2(uint64_t offset, const void* a, size_t aBytes, const void* b,
                       size_t bBytes) {
    const int64_t first = writeAt(offset, a, aBytes);
    if (first < 0 || static_cast<size_t>(first) != aBytes || bBytes == 0) return first;
    const int64_t second = writeAt(offset + aBytes, b, bBytes);
    // The first block is on disk: report it, and let the caller's retry surface the error.
    return second < 0 ? first : first + second;
}

bool File::setSize(uint64_t length) {
    if (handle_ == nullptr) return fail(EBADF);
    if (length > static_cast<uint64_t>(INT64_MAX)) return fail(EFBIG);
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    if (!SetFileInformationByHandle(toHandle(handle_), FileEndOfFileInfo, &info, sizeof info))
        return fail();
    return true;
}

bool File::close() {
    if (handle_ == nullptr) return true;
    if (!CloseHandle(toHandle(std::exchange(handle_, nullptr)))) return fail();
    return true;
}

bool isRegularFile(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    // No access rights, only attributes; the reparse point itself rather than its target,
    // and directories open as well (to be refused below).
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool regular = regularHandle(h);
    CloseHandle(h);
    return regular;
}

bool removeFile(const char* path) {
    return path != nullptr && DeleteFileA(path) != 0;
}

bool isRegularStream(FILE* stream) {
    if (stream == nullptr) return false;
    const intptr_t os = _get_osfhandle(_fileno(stream));
    return os != -1 && regularHandle(reinterpret_cast<HANDLE>(os));
}

}  // namespace orvane::platform
