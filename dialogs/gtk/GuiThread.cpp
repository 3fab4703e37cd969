#include "dialogs/gtk/GuiThread.h"

#include <gtk/gtk.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>

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

// A task queued to the GUI thread; owned by the idle source that runs it.
struct QueuedTask {
    std::function<void()> run;
};

gboolean runQueuedTask(gpointer data) {
    static_cast<QueuedTask*>(data)->run();
    return G_SOURCE_REMOVE;
}

void destroyQueuedTask(gpointer data) {
    std::unique_ptr<QueuedTask> owned(static_cast<QueuedTask*>(data));
}

// Queues run to the default main context, whichever thread iterates it.
void queue(std::function<void()> run) {
    auto task = std::make_unique<QueuedTask>(QueuedTask{std::move(run)});
    g_idle_add_full(G_PRIORITY_DEFAULT, runQueuedTask, task.release(), destroyQueuedTask);
}

class GuiThread {
  public:
    GuiThread() = default;
    GuiThread(const GuiThread&) = delete;
    GuiThread& operator=(const GuiThread&) = delete;

    // Ends the loop at process exit; the thread is joined by its owner below.
    ~GuiThread() {
        std::lock_guard guard(lock_);
        if (state_ == State::Running) queue([loop = loop_] { g_main_loop_quit(loop); });
    }

    // Starts the thread on first use; false when GTK cannot run (no display). A failure to
    // open the display is final: GTK cannot be initialised a second time in one process.
    bool ensureStarted() {
        std::lock_guard guard(lock_);
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
        loop_ = g_main_loop_new(nullptr, FALSE);
        GMainLoop* loop = loop_;
        started.set_value(true);
        g_main_loop_run(loop);
        g_main_loop_unref(loop);
    }

    std::mutex lock_;
    State state_ = State::NotStarted;  // guarded by lock_
    // Written by the GUI thread before it reports the start; read under lock_ after that.
    GMainLoop* loop_ = nullptr;
    platform::Thread thread_;  // declared last: joined before the members above go away
};

GuiThread& guiThread() {
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
