#include "dialogs/gtk/GuiThread.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <functional>
#include <future>
#include <memory>

#include "platform/Sync.h"
#include "platform/Thread.h"

namespace orvane::dialogs::gtk {
namespace {

bool displayNamed() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && *display != '\0';
}

// GTK on the calling thread, for callers that own the default main context. gtk_init_check
// (never gtk_init, which ends the process without a display) opens the display the first
// time; GTK is kept from changing the process's locale.
bool gtkReadyHere() {
    if (gdk_display_get_default() != nullptr) return true;
    if (!displayNamed()) return false;
    gtk_disable_setlocale();
    gdk_set_allowed_backends("x11");
    return gtk_init_check(nullptr, nullptr) != FALSE && gdk_display_get_default() != nullptr;
}

// Tasks for the library's GUI thread. They are handed over through our own lock and woken
// by an eventfd the GUI thread itself watches, so no GLib object is made on one thread and
// freed on another: GLib's internal locking is invisible to the thread checkers, and this
// way every hand-over is one they can see.
struct TaskQueue {
    platform::Mutex lock;
    std::deque<std::function<void()>> tasks ORVANE_GUARDED_BY(lock);
    int wakeFd ORVANE_GUARDED_BY(lock) = -1;  // -1 while no GUI thread runs
};

TaskQueue& taskQueue() {
    static TaskQueue queue;
    return queue;
}

void runQueuedTasks() {
    TaskQueue& q = taskQueue();
    for (;;) {
        std::function<void()> run;
        {
            platform::LockGuard guard(q.lock);
            if (q.tasks.empty()) break;
            run = std::move(q.tasks.front());
            q.tasks.pop_front();
        }
        run();
    }
}

gboolean onWake(gint fd, GIOCondition, gpointer) {
    uint64_t count = 0;
    while (read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
    }
    runQueuedTasks();
    return G_SOURCE_CONTINUE;
}

void wake(int fd) {
    const uint64_t one = 1;
    // A full counter (never reached in practice) still leaves the descriptor readable.
    [[maybe_unused]] const ssize_t n = write(fd, &one, sizeof one);
}

// Queues run to the library's GUI thread.
void queue(std::function<void()> run) {
    TaskQueue& q = taskQueue();
    platform::LockGuard guard(q.lock);
    q.tasks.push_back(std::move(run));
    if (q.wakeFd >= 0) wake(q.wakeFd);
}

// Owns a descriptor.
struct UniqueFd {
    int fd = -1;
    explicit UniqueFd(int f) : fd(f) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd >= 0) close(fd);
    }
};

class GuiThread {
  public:
    GuiThread() = default;
    GuiThread(const GuiThread&) = delete;
    GuiThread& operator=(const GuiThread&) = delete;

    // Ends the loop at process exit; the thread is joined by its owner below.
    ~GuiThread() {
        platform::LockGuard guard(lock_);
        if (state_ == State::Running) queue([loop = loop_] { g_main_loop_quit(loop); });
    }

    // Starts the thread on first use; false when GTK cannot run (no display). A failure to
    // open the display is final: GTK cannot be initialised a second time in one process.
    bool ensureStarted() {
        platform::LockGuard guard(lock_);
        if (state_ == State::Running) return true;
        if (state_ == State::Failed || !displayNamed()) return false;
        std::promise<bool> started;
        std::future<bool> result = started.get_future();
        if (!thread_.start([this, &started] { body(started); })) return false;
        if (!result.get()) {
            thread_.join();
            state_ = State::Failed;
            return false;
        }
        state_ = State::Running;
        return true;
    }

  private:
    enum class State { NotStarted, Running, Failed };

    void body(std::promise<bool>& started) {
        // The process's locale belongs to the application.
        gtk_disable_setlocale();
        gdk_set_allowed_backends("x11");
        if (!gtk_init_check(nullptr, nullptr)) {
            started.set_value(false);
            return;
        }
        UniqueFd wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
        if (wakeFd.fd < 0) {
            started.set_value(false);
            return;
        }
        const guint wakeSource = g_unix_fd_add(wakeFd.fd, G_IO_IN, onWake, nullptr);
        TaskQueue& q = taskQueue();
        {
            platform::LockGuard guard(q.lock);
            q.wakeFd = wakeFd.fd;
            wake(wakeFd.fd);  // tasks queued before the thread ran
        }
        loop_ = g_main_loop_new(nullptr, FALSE);
        GMainLoop* loop = loop_;
        started.set_value(true);
        g_main_loop_run(loop);
        g_main_loop_unref(loop);
        {
            platform::LockGuard guard(q.lock);
            q.wakeFd = -1;
        }
        g_source_remove(wakeSource);
    }

    platform::Mutex lock_;
    State state_ ORVANE_GUARDED_BY(lock_) = State::NotStarted;
    // Written by the GUI thread before it reports the start; read under lock_ after that.
    GMainLoop* loop_ = nullptr;
    platform::Thread thread_;  // declared last: joined before the members above go away
};

GuiThread& guiThread() {
    // The queue is made first so that it outlives the thread object, whose destructor still
    // queues the loop's end.
    taskQueue();
    static GuiThread thread;
    return thread;
}

}  // namespace

bool runOnGuiThread(const std::function<void(std::function<void()> complete)>& task) {
    if (g_main_context_is_owner(g_main_context_default())) {
        if (!gtkReadyHere()) return false;
        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        bool done = false;
        task([&done, loop] {
            done = true;
            g_main_loop_quit(loop);
        });
        if (!done) g_main_loop_run(loop);
        g_main_loop_unref(loop);
        return true;
    }
    if (!guiThread().ensureStarted()) return false;
    auto finished = std::make_shared<std::promise<void>>();
    std::future<void> result = finished->get_future();
    queue([&task, finished] { task([finished] { finished->set_value(); }); });
    result.wait();
    return true;
}

}  // namespace orvane::dialogs::gtk
