#include "platform/MessageWindow.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "platform/Sync.h"

namespace orvane::platform {
namespace {

// One queue of posted messages, with an eventfd in semaphore mode whose count follows the
// number of queued messages, so poll() sees it readable exactly while messages wait.
class MessageQueue {
  public:
    MessageQueue() : fd_(eventfd(0, EFD_SEMAPHORE | EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~MessageQueue() {
        if (fd_ >= 0) close(fd_);
    }
    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

    bool post(const Message& message) {
        {
            LockGuard lock(mutex_);
            if (closed_ || messages_.size() >= kMaxQueuedMessages) return false;
            messages_.push_back(message);
            if (fd_ >= 0) {
                const uint64_t one = 1;
                [[maybe_unused]] ssize_t n = write(fd_, &one, sizeof one);
            }
        }
        cv_.notify_one();
        return true;
    }

    int get(Message* out, int timeoutMs) {
        LockGuard lock(mutex_);
        auto ready = [this]() ORVANE_REQUIRES(mutex_) { return closed_ || !messages_.empty(); };
        if (timeoutMs < 0) {
            mutex_.wait(cv_, ready);
        } else if (!mutex_.waitFor(cv_, std::chrono::milliseconds(timeoutMs), ready)) {
            return 0;
        }
        if (messages_.empty()) return 0;  // Closed while waiting.
        if (out != nullptr) *out = messages_.front();
        messages_.pop_front();
        if (fd_ >= 0) {
            uint64_t value = 0;
            [[maybe_unused]] ssize_t n = read(fd_, &value, sizeof value);
        }
        return 1;
    }

    void closeQueue() {
        {
            LockGuard lock(mutex_);
            closed_ = true;
        }
        cv_.notify_all();
    }

    int fd() const { return fd_; }

  private:
    const int fd_;
    Mutex mutex_;
    std::condition_variable cv_;
    std::deque<Message> messages_ ORVANE_GUARDED_BY(mutex_);
    bool closed_ ORVANE_GUARDED_BY(mutex_) = false;
};

struct WindowRecord {
    std::shared_ptr<MessageQueue> queue;
    unsigned long nativeWindow = 0;
    bool deviceNotifications = false;
};

struct Registry {
    Mutex mutex;
    std::map<uintptr_t, WindowRecord> windows ORVANE_GUARDED_BY(mutex);
    std::map<std::thread::id, std::shared_ptr<MessageQueue>> threads ORVANE_GUARDED_BY(mutex);
    uintptr_t nextId ORVANE_GUARDED_BY(mutex) = 1;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

uintptr_t keyOf(WindowHandle window) {
    return reinterpret_cast<uintptr_t>(window);
}

std::shared_ptr<MessageQueue> findQueue(WindowHandle window) {
    Registry& r = registry();
    LockGuard lock(r.mutex);
    auto it = r.windows.find(keyOf(window));
    return it == r.windows.end() ? nullptr : it->second.queue;
}

// Removes the calling thread's queue when the thread ends.
struct ThreadQueueOwner {
    bool created = false;
    ~ThreadQueueOwner() {
        if (!created) return;
        Registry& r = registry();
        std::shared_ptr<MessageQueue> queue;
        {
            LockGuard lock(r.mutex);
            auto it = r.threads.find(std::this_thread::get_id());
            if (it == r.threads.end()) return;
            queue = std::move(it->second);
            r.threads.erase(it);
        }
        queue->closeQueue();
    }
};

std::shared_ptr<MessageQueue> threadQueue() {
    thread_local ThreadQueueOwner owner;
    Registry& r = registry();
    LockGuard lock(r.mutex);
    auto& slot = r.threads[std::this_thread::get_id()];
    if (!slot) {
        slot = std::make_shared<MessageQueue>();
        owner.created = true;
    }
    return slot;
}

}  // namespace

WindowHandle createMessageWindow(unsigned long nativeWindow) {
    auto queue = std::make_shared<MessageQueue>();
    if (queue->fd() < 0) return nullptr;
    Registry& r = registry();
    LockGuard lock(r.mutex);
    // Values are spaced and offset so they never look like null or a small integer, and
    // are never handed out twice in a process.
    const uintptr_t key = (r.nextId++ << 4) | 0x8;
    r.windows[key] = WindowRecord{std::move(queue), nativeWindow, false};
    return reinterpret_cast<WindowHandle>(key);
}

bool destroyMessageWindow(WindowHandle window) {
    std::shared_ptr<MessageQueue> queue;
    {
        Registry& r = registry();
        LockGuard lock(r.mutex);
        auto it = r.windows.find(keyOf(window));
        if (it == r.windows.end()) return false;
        queue = std::move(it->second.queue);
        r.windows.erase(it);
    }
    queue->closeQueue();
    return true;
}

bool isMessageWindow(WindowHandle window) {
    return findQueue(window) != nullptr;
}

unsigned long nativeWindowOf(WindowHandle window) {
    Registry& r = registry();
    LockGuard lock(r.mutex);
    auto it = r.windows.find(keyOf(window));
    return it == r.windows.end() ? 0 : it->second.nativeWindow;
}

bool postMessage(WindowHandle window, unsigned int message, uintptr_t wParam, intptr_t lParam) {
    auto queue = window == nullptr ? threadQueue() : findQueue(window);
    return queue != nullptr && queue->post(Message{message, wParam, lParam});
}

int getMessage(WindowHandle window, Message* out, int timeoutMs) {
    auto queue = window == nullptr ? threadQueue() : findQueue(window);
    return queue == nullptr ? 0 : queue->get(out, timeoutMs);
}

int messageFd(WindowHandle window) {
    auto queue = window == nullptr ? threadQueue() : findQueue(window);
    return queue == nullptr ? -1 : queue->fd();
}

bool registerDeviceNotification(WindowHandle window) {
    Registry& r = registry();
    LockGuard lock(r.mutex);
    auto it = r.windows.find(keyOf(window));
    if (it == r.windows.end()) return false;
    it->second.deviceNotifications = true;
    return true;
}

void broadcastDeviceChange(uintptr_t event) {
    std::vector<std::shared_ptr<MessageQueue>> targets;
    {
        Registry& r = registry();
        LockGuard lock(r.mutex);
        for (auto& [key, record] : r.windows)
            if (record.deviceNotifications) targets.push_back(record.queue);
    }
    for (auto& queue : targets) queue->post(Message{kWmDeviceChange, event, 0});
}

}  // namespace orvane::platform
