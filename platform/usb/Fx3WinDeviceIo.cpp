// The real system side of the FX3 driver backend: SetupAPI enumeration, CreateFileA and
// overlapped DeviceIoControl, completions delivered by the system thread pool.
#include "platform/usb/Fx3DeviceIo.h"

#if defined(_WIN32)

#include <windows.h>
// After <windows.h>.
#include <setupapi.h>

#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <map>

#include "platform/LibraryUnload.h"
#include "platform/Sync.h"

namespace orvane::platform::usb {
namespace {

// The detail record of one interface: its size field and the NUL-terminated device path.
constexpr DWORD kDetailBytes = 1000;

// A device-information list, destroyed with its owner.
class DeviceInfoList {
  public:
    explicit DeviceInfoList(const GUID& guid)
        : info_(SetupDiGetClassDevsA(&guid, nullptr, nullptr,
                                     DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {}
    ~DeviceInfoList() {
        if (valid()) SetupDiDestroyDeviceInfoList(info_);
    }
    DeviceInfoList(const DeviceInfoList&) = delete;
    DeviceInfoList& operator=(const DeviceInfoList&) = delete;

    bool valid() const { return info_ != INVALID_HANDLE_VALUE && info_ != nullptr; }
    HDEVINFO get() const { return info_; }

  private:
    HDEVINFO info_;
};

// One open device path. Its completions come from a thread-pool I/O object bound to it.
class WinDeviceFile final : public Fx3DeviceFile {
  public:
    // Takes over `file`, opened for overlapped I/O (closed here on failure too).
    static std::unique_ptr<WinDeviceFile> adopt(HANDLE file, uint32_t* error) {
        // Requests that finish at once are answered by DeviceIoControl itself; without this
        // mode they would also queue a completion, which is then the answer instead.
        const bool skipOnSuccess =
            SetFileCompletionNotificationModes(file, FILE_SKIP_COMPLETION_PORT_ON_SUCCESS) != FALSE;
        auto self = std::unique_ptr<WinDeviceFile>(new WinDeviceFile(file, skipOnSuccess));
        self->io_ = CreateThreadpoolIo(file, &WinDeviceFile::onCompletion, self.get(), nullptr);
        if (self->io_ == nullptr) {
            *error = GetLastError();
            return nullptr;
        }
        return self;
    }

    ~WinDeviceFile() override {
        // Under the loader lock no completion can run any more: leave it all to the system.
        if (platform::unloadingUnderLoaderLock()) return;
        if (io_ != nullptr) {
            CancelIoEx(file_, nullptr);
            {
                platform::LockGuard lock(mutex_);
                mutex_.wait(idle_, [this]() ORVANE_REQUIRES(mutex_) { return pending_.empty(); });
            }
            // The last callback may still be returning.
            WaitForThreadpoolIoCallbacks(io_, FALSE);
            CloseThreadpoolIo(io_);
        }
        CloseHandle(file_);
    }

    WinDeviceFile(const WinDeviceFile&) = delete;
    WinDeviceFile& operator=(const WinDeviceFile&) = delete;

    uint32_t ioControl(uint32_t code, void* in, uint32_t inLength, void* out, uint32_t outLength,
                       uint32_t* bytes, uint64_t id, Fx3IoDone done) override {
        *bytes = 0;
        auto owned = std::make_unique<Request>();
        Request* request = owned.get();
        request->id = id;
        request->done = std::move(done);
        {
            platform::LockGuard lock(mutex_);
            pending_.emplace(&request->overlapped, std::move(owned));
        }
        StartThreadpoolIo(io_);
        const BOOL ok = DeviceIoControl(file_, code, in, inLength, out, outLength, nullptr,
                                        &request->overlapped);
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_IO_PENDING || (ok && !skipOnSuccess_))
            return kErrorIoPending;  // the completion callback answers
        CancelThreadpoolIo(io_);
        if (ok) {
            DWORD n = 0;
            GetOverlappedResult(file_, &request->overlapped, &n, FALSE);
            *bytes = n;
        }
        drop(&request->overlapped);
        return error;
    }

    void cancel(uint64_t id) override {
        platform::LockGuard lock(mutex_);
        for (auto& [overlapped, request] : pending_)
            if (request->id == id) CancelIoEx(file_, overlapped);
    }

  private:
    struct Request {
        OVERLAPPED overlapped{};
        uint64_t id = 0;
        Fx3IoDone done;
    };

    WinDeviceFile(HANDLE file, bool skipOnSuccess) : file_(file), skipOnSuccess_(skipOnSuccess) {}

    static VOID CALLBACK onCompletion(PTP_CALLBACK_INSTANCE, PVOID context, PVOID overlapped,
                                      ULONG result, ULONG_PTR transferred, PTP_IO) {
        auto* self = static_cast<WinDeviceFile*>(context);
        std::unique_ptr<Request> request;
        {
            platform::LockGuard lock(self->mutex_);
            auto it = self->pending_.find(static_cast<OVERLAPPED*>(overlapped));
            if (it == self->pending_.end()) return;
            request = std::move(it->second);
            self->pending_.erase(it);
        }
        request->done(static_cast<uint32_t>(result), static_cast<uint32_t>(transferred));
        // Told after `done` has returned: the owner's members stay in use until then.
        platform::LockGuard lock(self->mutex_);
        self->idle_.notify_all();
    }

    void drop(OVERLAPPED* overlapped) {
        platform::LockGuard lock(mutex_);
        pending_.erase(overlapped);
        idle_.notify_all();
    }

    const HANDLE file_;
    const bool skipOnSuccess_;
    PTP_IO io_ = nullptr;  // set once in open()
    platform::Mutex mutex_;
    std::condition_variable idle_;  // a request left pending_, or its callback returned
    std::map<OVERLAPPED*, std::unique_ptr<Request>> pending_ ORVANE_GUARDED_BY(mutex_);
};

class WinDeviceIo final : public Fx3DeviceIo {
  public:
    std::vector<std::string> interfacePaths(const InterfaceGuid& guid, int maxMembers) override {
        std::vector<std::string> paths;
        GUID classGuid;
        static_assert(sizeof classGuid == sizeof guid);
        std::memcpy(&classGuid, &guid, sizeof classGuid);
        DeviceInfoList list(classGuid);
        if (!list.valid()) return paths;
        // DWORD-aligned, as the detail record must be.
        std::vector<DWORD> buffer(kDetailBytes / sizeof(DWORD));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
        for (int member = 0; member < maxMembers; ++member) {
            SP_DEVICE_INTERFACE_DATA data{};
            data.cbSize = sizeof data;
            if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &classGuid,
                                             static_cast<DWORD>(member), &data))
                continue;
            DWORD required = 0;
            SetupDiGetDeviceInterfaceDetailA(list.get(), &data, nullptr, 0, &required, nullptr);
            // Too large a record would not fit the buffer: such an interface is left out.
            if (required <= sizeof(DWORD) || required > kDetailBytes) continue;
            std::memset(buffer.data(), 0, required);
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (!SetupDiGetDeviceInterfaceDetailA(list.get(), &data, detail, required, nullptr,
                                                  nullptr))
                continue;
            const size_t offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
            paths.emplace_back(detail->DevicePath, strnlen(detail->DevicePath, required - offset));
        }
        return paths;
    }

    std::unique_ptr<Fx3DeviceFile> open(const std::string& path, uint32_t* error) override {
        uint32_t dummy = 0;
        if (error == nullptr) error = &dummy;
        *error = ERROR_SUCCESS;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (file == INVALID_HANDLE_VALUE || file == nullptr) {
            *error = GetLastError();
            return nullptr;
        }
        return WinDeviceFile::adopt(file, error);
    }
};

}  // namespace

std::shared_ptr<Fx3DeviceIo> systemFx3DeviceIo() {
    return std::make_shared<WinDeviceIo>();
}

std::unique_ptr<Fx3DeviceFile> adoptSystemDeviceFile(void* handle, uint32_t* error) {
    uint32_t dummy = 0;
    if (error == nullptr) error = &dummy;
    *error = ERROR_SUCCESS;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    return WinDeviceFile::adopt(static_cast<HANDLE>(handle), error);
}

}  // namespace orvane::platform::usb

#else

namespace orvane::platform::usb {

std::shared_ptr<Fx3DeviceIo> systemFx3DeviceIo() {
    return nullptr;
}

std::unique_ptr<Fx3DeviceFile> adoptSystemDeviceFile(void*, uint32_t* error) {
    if (error != nullptr) *error = kErrorNotSupported;
    return nullptr;
}

}  // namespace orvane::platform::usb

#endif  // _WIN32
