// The viewer's scripted runs, as tests and demos drive it from the command line: start
// preview or a recording at launch, take a screenshot once a frame is on screen, save the
// image in every format, photograph each settings dialog, and quit after a time limit.
#include <gdk/gdkx.h>

#include <cstdio>
#include <string>

#include "ImageFormats.h"
#include "Viewer.h"

namespace orvane::viewer {
namespace {

// A screenshot waits this much longer than asked for a first frame before it gives up.
constexpr int kScreenshotGraceMs = 15000;

}  // namespace

void Viewer::scheduleScriptedSteps() {
    if (opt_.start || !opt_.record.empty())
        // After the first layout, so the preview gets the drawing area's real size.
        startSource_.reset(g_idle_add(
            [](gpointer self) -> gboolean {
                auto* v = static_cast<Viewer*>(self);
                v->startSource_.forget();
                const bool started =
                    v->opt_.record.empty() ? v->startPreview() : v->startRecording(v->opt_.record);
                if (!started) v->exitCode_ = 1;
                return G_SOURCE_REMOVE;
            },
            this));
    if (!opt_.screenshot.empty()) {
        screenshotDueUs_ = g_get_monotonic_time() + gint64{opt_.afterMs} * 1000;
        screenshotSource_.reset(g_timeout_add(
            100,
            [](gpointer self) -> gboolean {
                static_cast<Viewer*>(self)->screenshotCheck();
                return G_SOURCE_CONTINUE;
            },
            this));
    }
    if (opt_.quitAfterMs >= 0)
        quitSource_.reset(g_timeout_add(
            static_cast<guint>(opt_.quitAfterMs),
            [](gpointer self) -> gboolean {
                auto* v = static_cast<Viewer*>(self);
                v->quitSource_.forget();
                v->quit(v->exitCode_);
                return G_SOURCE_REMOVE;
            },
            this));
}

void Viewer::screenshotCheck() {
    const gint64 now = g_get_monotonic_time();
    if (now < screenshotDueUs_ || dialogOpen_) return;
    if (opt_.resizeWidth > 0 && !resized_) {
        // As a user dragging the window bigger: the preview has to follow, and the picture
        // is taken once it had time to.
        resized_ = true;
        gtk_window_resize(GTK_WINDOW(window_), opt_.resizeWidth, opt_.resizeHeight);
        screenshotDueUs_ = now + 1000000;
        return;
    }
    // Wait for a picture: a frame must have arrived, and be on screen either through the
    // library's window or our own drawing. Give up after a grace period.
    const bool running = previewing_ || recording_;
    const bool shown = libraryPreviewWindows(false) > 0 || fallbackDrawn_;
    // A recording takes the frame messages away; its frames show in the window all the same.
    const bool ready = !running || ((framesReceived_ > 0 || recording_) && shown);
    if (!ready && now < screenshotDueUs_ + gint64{kScreenshotGraceMs} * 1000) return;
    screenshotSource_.reset();
    if (!ready) {
        std::fprintf(stderr, "orvane-viewer: no frame was shown before the screenshot\n");
        exitCode_ = 1;
    }
    // Let GTK paint our part, then take the picture.
    while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
    gdk_display_sync(gtk_widget_get_display(window_));
    if (!writeScreenshot()) exitCode_ = 1;
    if (!opt_.dialogShots.empty()) dialogShots();
    if (!opt_.saveAll.empty()) {
        for (const ImageFormat& f : kFormats) {
            const std::string path = opt_.saveAll + f.suffix;
            if (saveImage(path, f.code))
                std::printf("saved %s\n", path.c_str());
            else
                exitCode_ = 1;
        }
    }
    quit(exitCode_);
}

bool Viewer::grabToPng(GdkWindow* window, const std::string& path) {
    const int w = gdk_window_get_width(window);
    const int h = gdk_window_get_height(window);
    // Read back from the screen, so the library's child window is in the picture too.
    int ox = 0, oy = 0;
    gdk_window_get_origin(window, &ox, &oy);
    GdkPixbuf* pixbuf = gdk_pixbuf_get_from_window(gdk_get_default_root_window(), ox, oy, w, h);
    if (pixbuf == nullptr) {
        std::fprintf(stderr, "orvane-viewer: cannot read the window back\n");
        return false;
    }
    GError* error = nullptr;
    const bool saved = gdk_pixbuf_save(pixbuf, path.c_str(), "png", &error, nullptr);
    g_object_unref(pixbuf);
    if (!saved) {
        std::fprintf(stderr, "orvane-viewer: cannot write %s: %s\n", path.c_str(),
                     error != nullptr ? error->message : "unknown error");
        if (error != nullptr) g_error_free(error);
    }
    return saved;
}

bool Viewer::writeScreenshot() {
    GdkWindow* top = gtk_widget_get_window(window_);
    if (!grabToPng(top, opt_.screenshot)) return false;
    const int w = gdk_window_get_width(top);
    const int h = gdk_window_get_height(top);
    int ax = 0, ay = 0;
    gtk_widget_translate_coordinates(area_, window_, 0, 0, &ax, &ay);
    std::printf("screenshot %s %dx%d preview %d,%d %dx%d frames %ld library-window %d\n",
                opt_.screenshot.c_str(), w, h, ax, ay, gtk_widget_get_allocated_width(area_),
                gtk_widget_get_allocated_height(area_), framesReceived_,
                libraryPreviewWindows(false) > 0 ? 1 : 0);
    std::fflush(stdout);
    return true;
}

// Scripted check of the settings dialogs: each one is opened as the menu opens it; a timer
// running inside the dialog's loop takes a picture of the sheet and closes it like the
// window's close button (which the sheet treats as Cancel).
void Viewer::dialogShots() {
    static const char* const kNames[] = {"camera", "image", "analog"};
    for (int i = 0; i < 3; ++i) {
        dialogShot_ = i;
        dialogSeenUs_ = 0;
        dialogShotSize_.clear();
        dialogCloserSource_.reset(g_timeout_add(100, &Viewer::onDialogCloser, this));
        const int result = openDialog(i);
        dialogCloserSource_.reset();
        std::printf("dialog %s result %d sheet %s\n", kNames[i], result,
                    dialogShotSize_.empty() ? "none" : dialogShotSize_.c_str());
        if (result != 1 || dialogShotSize_.empty()) exitCode_ = 1;
    }
    std::fflush(stdout);
}

gboolean Viewer::onDialogCloser(gpointer self) {
    static const char* const kNames[] = {"camera", "image", "analog"};
    auto* v = static_cast<Viewer*>(self);
    GtkWindow* sheet = nullptr;
    GList* all = gtk_window_list_toplevels();
    for (GList* l = all; l != nullptr; l = l->next) {
        auto* w = static_cast<GtkWindow*>(l->data);
        if (GTK_WIDGET(w) != v->window_ && gtk_widget_get_mapped(GTK_WIDGET(w)) &&
            gtk_window_get_window_type(w) == GTK_WINDOW_TOPLEVEL)
            sheet = w;
    }
    g_list_free(all);
    if (sheet == nullptr) return G_SOURCE_CONTINUE;
    const gint64 now = g_get_monotonic_time();
    if (v->dialogSeenUs_ == 0) v->dialogSeenUs_ = now;
    // Give the sheet a moment to lay itself out and paint.
    if (now - v->dialogSeenUs_ < 500000) return G_SOURCE_CONTINUE;
    if (v->dialogShotSize_.empty()) {
        gdk_display_sync(gtk_widget_get_display(GTK_WIDGET(sheet)));
        GdkWindow* gw = gtk_widget_get_window(GTK_WIDGET(sheet));
        const std::string path = v->opt_.dialogShots + "-" + kNames[v->dialogShot_] + ".png";
        if (gw != nullptr && v->grabToPng(gw, path))
            v->dialogShotSize_ = std::to_string(gdk_window_get_width(gw)) + "x" +
                                 std::to_string(gdk_window_get_height(gw));
    }
    gtk_window_close(sheet);
    return G_SOURCE_CONTINUE;
}

}  // namespace orvane::viewer
