// orvane-viewer: a GTK 3 viewer for cameras driven by the Orvane library. Like any
// application it sees only the public header and the shared library: the library's own
// preview window lives inside the viewer's drawing area, and everything else goes through
// the exported functions.
//
// Threads: all GTK work and every library call happen on the main thread. The library's
// messages (errors, frames, device changes) arrive through its message-window descriptor,
// which the GLib main loop watches.
#include "Viewer.h"

#include <X11/Xutil.h>
#include <cairo-xlib.h>
#include <gdk/gdkx.h>
#include <glib-unix.h>

#include <cstdio>
#include <cstdlib>

#include "ErrorText.h"
#include "FramePainter.h"
#include "ImageFormats.h"

namespace orvane::viewer {
namespace {

// Longest recording the viewer asks for: recordings normally end with "Stop recording".
constexpr int kMaxRecordMs = 24 * 60 * 60 * 1000;
constexpr guint kStatusIntervalMs = 250;
constexpr guint kFallbackIntervalMs = 100;

// A button packed into `bar` that calls Action on the viewer when clicked.
template <void (Viewer::*Action)()>
GtkWidget* addButton(GtkWidget* bar, const char* mnemonic, Viewer* viewer) {
    GtkWidget* button = gtk_button_new_with_mnemonic(mnemonic);
    g_signal_connect(button, "clicked", G_CALLBACK(+[](GtkButton*, gpointer self) {
                         (static_cast<Viewer*>(self)->*Action)();
                     }),
                     viewer);
    gtk_box_pack_start(GTK_BOX(bar), button, FALSE, FALSE, 0);
    return button;
}

// A timer that calls Action on the viewer every intervalMs until it is removed.
template <void (Viewer::*Action)()>
guint addTimer(guint intervalMs, Viewer* viewer) {
    return g_timeout_add(
        intervalMs,
        [](gpointer self) -> gboolean {
            (static_cast<Viewer*>(self)->*Action)();
            return G_SOURCE_CONTINUE;
        },
        viewer);
}

}  // namespace

bool Viewer::run() {
    buildWindow();
    gtk_widget_show_all(window_);
    if (!connectLibrary()) return false;
    refreshCameras(true);
    updateButtons();
    updateStatus();
    statusSource_.reset(addTimer<&Viewer::updateStatus>(kStatusIntervalMs, this));
    if (opt_.fallback)
        fallbackSource_.reset(addTimer<&Viewer::fallbackTick>(kFallbackIntervalMs, this));
    scheduleScriptedSteps();
    return true;
}

void Viewer::buildWindow() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window_), "Orvane Viewer");
    g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) {
                         static_cast<Viewer*>(self)->quit(static_cast<Viewer*>(self)->exitCode_);
                         return TRUE;
                     }),
                     this);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window_), box);
    gtk_box_pack_start(GTK_BOX(box), buildMenuBar(), FALSE, FALSE, 0);

    GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(bar), 4);
    gtk_box_pack_start(GTK_BOX(bar), gtk_label_new("Camera:"), FALSE, FALSE, 0);
    cameraCombo_ = gtk_combo_box_text_new();
    gtk_widget_set_size_request(cameraCombo_, 260, -1);
    g_signal_connect(cameraCombo_, "changed", G_CALLBACK(+[](GtkComboBox* combo, gpointer self) {
                         auto* v = static_cast<Viewer*>(self);
                         if (!v->updatingCombo_) v->selectCamera(gtk_combo_box_get_active(combo));
                     }),
                     this);
    gtk_box_pack_start(GTK_BOX(bar), cameraCombo_, FALSE, FALSE, 0);
    previewButton_ = addButton<&Viewer::togglePreview>(bar, "_Start", this);
    snapshotButton_ = addButton<&Viewer::snapshot>(bar, "S_napshot…", this);
    recordButton_ = addButton<&Viewer::toggleRecording>(bar, "_Record…", this);
    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);

    area_ = gtk_drawing_area_new();
    gtk_widget_set_size_request(area_, opt_.width, opt_.height);
    // The library parents its X11 preview window to this widget, so it needs a native
    // window of its own rather than a region of the toplevel.
    g_signal_connect_after(area_, "realize", G_CALLBACK(+[](GtkWidget* w, gpointer) {
                               gdk_window_ensure_native(gtk_widget_get_window(w));
                           }),
                           nullptr);
    g_signal_connect(area_, "size-allocate",
                     G_CALLBACK(+[](GtkWidget*, GdkRectangle*, gpointer self) {
                         static_cast<Viewer*>(self)->placePreview();
                     }),
                     this);
    g_signal_connect(area_, "draw", G_CALLBACK(&Viewer::onDraw), this);
    gtk_box_pack_start(GTK_BOX(box), area_, TRUE, TRUE, 0);

    statusBar_ = gtk_statusbar_new();
    statusContext_ = gtk_statusbar_get_context_id(GTK_STATUSBAR(statusBar_), "state");
    gtk_box_pack_start(GTK_BOX(box), statusBar_, FALSE, FALSE, 0);
}

GtkWidget* Viewer::buildMenuBar() {
    GtkWidget* bar = gtk_menu_bar_new();
    auto menu = [&](const char* title) {
        GtkWidget* item = gtk_menu_item_new_with_mnemonic(title);
        GtkWidget* sub = gtk_menu_new();
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), sub);
        gtk_menu_shell_append(GTK_MENU_SHELL(bar), item);
        return sub;
    };
    using Action = void (*)(Viewer*);
    auto add = [&](GtkWidget* sub, const char* label, Action action) {
        GtkWidget* item = gtk_menu_item_new_with_mnemonic(label);
        g_object_set_data(G_OBJECT(item), "orvane-action", reinterpret_cast<gpointer>(action));
        g_signal_connect(item, "activate", G_CALLBACK(+[](GtkMenuItem* i, gpointer self) {
                             auto act = reinterpret_cast<Action>(
                                 g_object_get_data(G_OBJECT(i), "orvane-action"));
                             act(static_cast<Viewer*>(self));
                         }),
                         this);
        gtk_menu_shell_append(GTK_MENU_SHELL(sub), item);
        return item;
    };

    GtkWidget* file = menu("_File");
    add(file, "S_napshot…", [](Viewer* v) { v->snapshot(); });
    recordItem_ = add(file, "_Record…", [](Viewer* v) { v->toggleRecording(); });
    gtk_menu_shell_append(GTK_MENU_SHELL(file), gtk_separator_menu_item_new());
    add(file, "_Quit", [](Viewer* v) { v->quit(v->exitCode_); });

    GtkWidget* camera = menu("_Camera");
    previewItem_ = add(camera, "_Start preview", [](Viewer* v) { v->togglePreview(); });
    add(camera, "_Refresh camera list", [](Viewer* v) { v->refreshCameras(); });

    GtkWidget* settings = menu("_Settings");
    add(settings, "_Stream format…", [](Viewer* v) { v->openDialog(0); });
    add(settings, "_Image…", [](Viewer* v) { v->openDialog(1); });
    add(settings, "_Analog gain and exposure…", [](Viewer* v) { v->openDialog(2); });
    return bar;
}

bool Viewer::connectLibrary() {
    GdkWindow* top = gtk_widget_get_window(window_);
    GdkWindow* area = gtk_widget_get_window(area_);
    if (!GDK_IS_X11_WINDOW(top) || !GDK_IS_X11_WINDOW(area)) {
        std::fprintf(stderr, "orvane-viewer: needs an X11 display\n");
        return false;
    }
    appWindow_.reset(Orvane_CreateMessageWindow(gdk_x11_window_get_xid(top)));
    previewParent_.reset(Orvane_CreateMessageWindow(gdk_x11_window_get_xid(area)));
    if (!appWindow_ || !previewParent_) {
        std::fprintf(stderr, "orvane-viewer: cannot create message windows\n");
        return false;
    }
    appFdSource_.reset(
        g_unix_fd_add(Orvane_GetMessageFd(appWindow_.get()), G_IO_IN, &Viewer::onMessageFd, this));
    previewFdSource_.reset(g_unix_fd_add(Orvane_GetMessageFd(previewParent_.get()), G_IO_IN,
                                         &Viewer::onPreviewMessageFd, this));
    handle_ = Orvane_Initialize(appWindow_.get());
    if (handle_ == 0) {
        std::fprintf(stderr, "orvane-viewer: the library could not make a session\n");
        return false;
    }
    return true;
}

gboolean Viewer::onDraw(GtkWidget* widget, cairo_t* cr, gpointer self) {
    auto* v = static_cast<Viewer*>(self);
    GdkWindow* gw = gtk_widget_get_window(widget);
    if (v->picture_ && gw != nullptr) {
        cairo_surface_t* source =
            cairo_xlib_surface_create(GDK_WINDOW_XDISPLAY(gw), v->picture_.pixmap(),
                                      GDK_VISUAL_XVISUAL(gdk_window_get_visual(gw)),
                                      v->picture_.width(), v->picture_.height());
        cairo_set_source_surface(cr, source, 0, 0);
        cairo_paint(cr);
        cairo_surface_destroy(source);
        return FALSE;
    }
    cairo_set_source_rgb(cr, 0.12, 0.12, 0.12);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0.7, 0.7, 0.7);
    cairo_move_to(cr, 16, gtk_widget_get_allocated_height(widget) / 2.0);
    cairo_show_text(cr, "No preview: choose a camera and press Start.");
    return FALSE;
}

gboolean Viewer::onMessageFd(gint, GIOCondition, gpointer self) {
    auto* v = static_cast<Viewer*>(self);
    v->pumpMessages(v->appWindow_.get());
    return G_SOURCE_CONTINUE;
}

gboolean Viewer::onPreviewMessageFd(gint, GIOCondition, gpointer self) {
    auto* v = static_cast<Viewer*>(self);
    v->pumpMessages(v->previewParent_.get());
    return G_SOURCE_CONTINUE;
}

void Viewer::pumpMessages(OrvaneWindow* window) {
    // Bounded, so a library that posts faster than we read cannot starve the GUI.
    OrvaneMessage m;
    for (int i = 0; i < 256 && window != nullptr && Orvane_GetMessage(window, &m, 0) == 1; ++i)
        handleMessage(m);
}

void Viewer::handleMessage(const OrvaneMessage& m) {
    switch (m.message) {
        case ORVANE_WM_ERROR:
            lastError_ = static_cast<int>(m.lParam);
            break;
        case WM_DEVICECHANGE:
            if (m.wParam == DBT_DEVICEARRIVAL || m.wParam == DBT_DEVICEREMOVECOMPLETE) {
                if (dialogOpen_)
                    refreshPending_ = true;
                else
                    refreshCameras();
            }
            break;
        case ORVANE_WM_FRAME:
            if (m.lParam != 0) {
                lastError_ = static_cast<int>(m.lParam);
                // Failed delivery ends the library's acquisition thread: stop properly.
                if (m.lParam == ORVANE_ERR_DELIVERY) {
                    if (dialogOpen_)
                        stopPending_ = true;
                    else
                        stopPreview();
                }
            } else if (m.wParam != 0) {
                // The record stays valid while the message is handled.
                const auto* info = reinterpret_cast<const OrvaneFrameInfo*>(m.wParam);
                cameraRate_ = info->frameRate;
                frameWidth_ = info->width;
                frameHeight_ = info->height;
                frameBits_ = info->bitsPerPixel;
                ++framesReceived_;
                ++rateWindowFrames_;
            }
            break;
        default:
            break;
    }
}

void Viewer::refreshCameras(bool afterInitialize) {
    if (handle_ == 0) return;
    char names[10][256] = {};
    cameraCount_ = Orvane_EnumDevice(handle_, names);
    updatingCombo_ = true;
    gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(cameraCombo_));
    for (int i = 0; i < cameraCount_; ++i) {
        names[i][255] = '\0';
        const std::string label = std::to_string(i) + ": " + names[i];
        gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(cameraCombo_), label.c_str());
    }
    if (cameraCount_ == 0) currentCamera_ = -1;
    updatingCombo_ = false;

    if (currentCamera_ < 0 && cameraCount_ > 0) {
        // Making a session opens a single attached camera by itself; any other case needs
        // a choice, which is the asked-for camera or the first.
        const int wanted = opt_.device >= 0 ? opt_.device : 0;
        if (afterInitialize && cameraCount_ == 1 && wanted == 0) {
            currentCamera_ = 0;
        } else {
            if (wanted >= cameraCount_) {
                std::fprintf(stderr, "orvane-viewer: there is no camera %d; using camera 0\n",
                             wanted);
                exitCode_ = 1;
            }
            selectCamera(wanted < cameraCount_ ? wanted : 0);
            return;
        }
    }
    updatingCombo_ = true;
    gtk_combo_box_set_active(GTK_COMBO_BOX(cameraCombo_),
                             currentCamera_ < cameraCount_ ? currentCamera_ : -1);
    updatingCombo_ = false;
    updateButtons();
}

void Viewer::selectCamera(int index) {
    if (handle_ == 0 || index < 0) return;
    const bool wasPreviewing = previewing_;
    if (recording_) toggleRecording();
    if (previewing_) stopPreview();
    if (Orvane_SetDeviceNumber(handle_, index)) {
        currentCamera_ = index;
    } else {
        showError("opening the camera");
    }
    updatingCombo_ = true;
    gtk_combo_box_set_active(GTK_COMBO_BOX(cameraCombo_), currentCamera_);
    updatingCombo_ = false;
    if (wasPreviewing && currentCamera_ == index) startPreview();
    updateButtons();
}

void Viewer::placePreview() {
    if (handle_ == 0 || area_ == nullptr) return;
    const int w = gtk_widget_get_allocated_width(area_);
    const int h = gtk_widget_get_allocated_height(area_);
    // GTK allocates again whenever anything in the window changes size (the status text
    // does, several times a second); only a new size matters here.
    if (w == placedWidth_ && h == placedHeight_) return;
    placedWidth_ = w;
    placedHeight_ = h;
    // The rectangle is x, y, width and height of the library's child window; no parent
    // and an empty rectangle make the library preview without any window.
    if (opt_.drawInViewer)
        Orvane_SetPreviewWindow(handle_, nullptr, 0, 0, 0, 0);
    else
        Orvane_SetPreviewWindow(handle_, previewParent_.get(), 0, 0, w, h);
    libraryPreviewWindows(true);
    if (picture_) {
        // A picture of the old size would be stretched wrongly; the next tick redraws it.
        picture_.reset();
        fallbackDrawn_ = false;
    }
}

int Viewer::libraryPreviewWindows(bool resize) {
    GdkWindow* gw = area_ != nullptr ? gtk_widget_get_window(area_) : nullptr;
    if (gw == nullptr || !GDK_IS_X11_WINDOW(gw)) return 0;
    GdkDisplay* display = gdk_window_get_display(gw);
    Display* dpy = GDK_DISPLAY_XDISPLAY(display);
    const int w = gtk_widget_get_allocated_width(area_);
    const int h = gtk_widget_get_allocated_height(area_);
    // The children belong to the library's own connection and may vanish at any moment.
    gdk_x11_display_error_trap_push(display);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    int viewable = 0;
    if (XQueryTree(dpy, gdk_x11_window_get_xid(gw), &root, &parent, &children, &count) != 0) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(dpy, children[i], &attributes) == 0) continue;
            if (attributes.map_state != IsViewable) continue;
            ++viewable;
            if (resize && w > 0 && h > 0 && (attributes.width != w || attributes.height != h))
                XMoveResizeWindow(dpy, children[i], 0, 0, static_cast<unsigned>(w),
                                  static_cast<unsigned>(h));
        }
    }
    if (children != nullptr) XFree(children);
    gdk_x11_display_error_trap_pop_ignored(display);
    return viewable;
}

bool Viewer::startPreview() {
    if (handle_ == 0 || previewing_) return previewing_;
    if (currentCamera_ < 0) {
        std::fprintf(stderr, "orvane-viewer: no camera to preview\n");
        return false;
    }
    placedWidth_ = placedHeight_ = -1;
    placePreview();
    // A callback preview without a buffer: the library draws into its own window and
    // announces every frame to the application window, at no copying cost.
    if (!Orvane_CallBackPreview(handle_, appWindow_.get(), nullptr, 0, 1)) {
        showError("starting the preview");
        updateButtons();
        return false;
    }
    previewing_ = true;
    previewStartedUs_ = g_get_monotonic_time();
    framesReceived_ = 0;
    // The library's window appears now, sized when it was made; make sure it fills the area.
    libraryPreviewWindows(true);
    updateButtons();
    return true;
}

void Viewer::stopPreview() {
    if (handle_ == 0) return;
    // Close also destroys the library's preview window and finishes a recording.
    Orvane_Close(handle_);
    previewing_ = false;
    recording_ = false;
    cameraRate_ = 0;
    updateButtons();
}

void Viewer::togglePreview() {
    if (previewing_ || recording_)
        stopPreview();
    else
        startPreview();
}

bool Viewer::saveImage(const std::string& path, int format) {
    if (Orvane_SaveImage(handle_, path.c_str(), format)) return true;
    showError(("saving " + path).c_str());
    return false;
}

void Viewer::snapshot() {
    if (handle_ == 0) return;
    // While previewing the newest processed frame is saved; otherwise take one now.
    if (!previewing_ && !recording_ && !Orvane_SnapShot(handle_, nullptr, 0, 1)) {
        showError("taking a snapshot");
        return;
    }
    int format = ORVANE_FORMAT_PNG;
    const std::string path = chooseFile("Save image", "snapshot.png", true, &format);
    if (!path.empty()) saveImage(path, format);
}

void Viewer::toggleRecording() {
    if (handle_ == 0) return;
    if (recording_) {
        // Ending the acquisition is the way to end a recording: the file is completed.
        stopPreview();
        if (previewBeforeRecording_) startPreview();
        return;
    }
    const std::string path = chooseFile("Record video", "recording.avi", false, nullptr);
    if (!path.empty()) startRecording(path);
}

bool Viewer::startRecording(const std::string& path) {
    if (handle_ == 0 || recording_) return false;
    if (currentCamera_ < 0) {
        std::fprintf(stderr, "orvane-viewer: no camera to record from\n");
        return false;
    }
    previewBeforeRecording_ = previewing_;
    // The recording makes its own preview (and window), so a running one is ended first.
    if (previewing_) stopPreview();
    placedWidth_ = placedHeight_ = -1;
    placePreview();
    if (!Orvane_Record(handle_, path.c_str(), kMaxRecordMs, 1)) {
        showError("starting the recording");
        if (previewBeforeRecording_) startPreview();
        return false;
    }
    recording_ = true;
    recordPath_ = path;
    previewStartedUs_ = g_get_monotonic_time();
    libraryPreviewWindows(true);
    updateButtons();
    return true;
}

int Viewer::openDialog(int which) {
    if (handle_ == 0 || dialogOpen_) return 0;
    // The dialogs are modal: the library shows them on this thread, in a main loop of its
    // own, and returns when they close. Our timers and message watches still run meanwhile,
    // but must not call into the session that is busy with the dialog.
    dialogOpen_ = true;
    int ok = 0;
    switch (which) {
        case 0:
            ok = Orvane_SetCameraDlg(handle_, appWindow_.get());
            break;
        case 1:
            ok = Orvane_SetImageDlg(handle_, appWindow_.get());
            break;
        default:
            ok = Orvane_SetAnalogDlg(handle_, appWindow_.get());
            break;
    }
    dialogOpen_ = false;
    if (!ok) showError("opening the dialog");
    // What arrived while the dialog was open.
    if (refreshPending_) {
        refreshPending_ = false;
        refreshCameras();
    }
    if (stopPending_) {
        stopPending_ = false;
        stopPreview();
    }
    if (quitPending_) {
        quitPending_ = false;
        quit(exitCode_);
    }
    return ok;
}

std::string Viewer::chooseFile(const char* title, const char* defaultName, bool imageFormats,
                               int* format) {
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        title, GTK_WINDOW(window_), GTK_FILE_CHOOSER_ACTION_SAVE, "_Cancel", GTK_RESPONSE_CANCEL,
        "_Save", GTK_RESPONSE_ACCEPT, nullptr);
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_do_overwrite_confirmation(chooser, TRUE);
    gtk_file_chooser_set_current_name(chooser, defaultName);
    if (imageFormats) {
        for (const ImageFormat& f : kFormats) {
            GtkFileFilter* filter = gtk_file_filter_new();
            gtk_file_filter_set_name(filter, f.label);
            gtk_file_filter_add_pattern(filter, f.pattern);
            g_object_set_data(G_OBJECT(filter), "orvane-format", const_cast<ImageFormat*>(&f));
            gtk_file_chooser_add_filter(chooser, filter);
        }
        // Choosing another format changes the name's extension to match.
        g_signal_connect(
            chooser, "notify::filter", G_CALLBACK(+[](GtkFileChooser* c, GParamSpec*, gpointer) {
                GtkFileFilter* filter = gtk_file_chooser_get_filter(c);
                const auto* f = filter != nullptr
                                    ? static_cast<const ImageFormat*>(
                                          g_object_get_data(G_OBJECT(filter), "orvane-format"))
                                    : nullptr;
                gchar* current = gtk_file_chooser_get_current_name(c);
                if (f != nullptr && current != nullptr) {
                    std::string name = current;
                    name = name.substr(0, name.find_last_of('.')) + (f->pattern + 1);
                    gtk_file_chooser_set_current_name(c, name.c_str());
                }
                g_free(current);
            }),
            nullptr);
    } else {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, "AVI video");
        gtk_file_filter_add_pattern(filter, "*.avi");
        gtk_file_chooser_add_filter(chooser, filter);
    }
    std::string path;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* name = gtk_file_chooser_get_filename(chooser)) {
            path = name;
            g_free(name);
        }
        const ImageFormat* f = nullptr;
        if (GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser))
            f = static_cast<const ImageFormat*>(
                g_object_get_data(G_OBJECT(filter), "orvane-format"));
        if (format != nullptr && f != nullptr) *format = f->code;
        // The library writes the chosen format whatever the name says; give a bare name
        // the usual extension so other programs recognise the file.
        const std::string base = path.substr(path.find_last_of('/') + 1);
        if (!path.empty() && base.find('.') == std::string::npos)
            path += imageFormats ? std::string(f != nullptr ? f->pattern + 1 : ".png") : ".avi";
    }
    gtk_widget_destroy(dialog);
    return path;
}

void Viewer::showError(const char* what) {
    const int code = handle_ != 0 ? Orvane_GetLastError(handle_) : 0;
    if (code != 0) lastError_ = code;
    std::fprintf(stderr, "orvane-viewer: %s failed: error %d (%s)\n", what, code,
                 tools::errorText(code));
}

void Viewer::updateButtons() {
    const bool running = previewing_ || recording_;
    gtk_button_set_label(GTK_BUTTON(previewButton_), running ? "_Stop" : "_Start");
    gtk_menu_item_set_label(GTK_MENU_ITEM(previewItem_),
                            running ? "_Stop preview" : "_Start preview");
    gtk_button_set_label(GTK_BUTTON(recordButton_), recording_ ? "Stop _recording" : "_Record…");
    gtk_menu_item_set_label(GTK_MENU_ITEM(recordItem_),
                            recording_ ? "Stop _recording" : "_Record…");
    const bool camera = handle_ != 0 && currentCamera_ >= 0;
    gtk_widget_set_sensitive(previewButton_, camera);
    gtk_widget_set_sensitive(recordButton_, camera);
    gtk_widget_set_sensitive(snapshotButton_, camera);
}

void Viewer::updateStatus() {
    if (handle_ == 0 || dialogOpen_) return;
    // The newest recorded error, taken from the session's history.
    if (const int code = Orvane_GetLastError(handle_); code != 0) lastError_ = code;

    const gint64 now = g_get_monotonic_time();
    if (rateWindowStart_ == 0) rateWindowStart_ = now;
    if (now - rateWindowStart_ >= 1000000) {
        receivedRate_ = rateWindowFrames_ * 1e6 / static_cast<double>(now - rateWindowStart_);
        rateWindowFrames_ = 0;
        rateWindowStart_ = now;
    }

    std::string text;
    if (currentCamera_ < 0) {
        text = "no camera";
    } else if (recording_) {
        const long seconds = static_cast<long>((now - previewStartedUs_) / 1000000);
        char buf[64];
        std::snprintf(buf, sizeof buf, " (%ld:%02ld)", seconds / 60, seconds % 60);
        text = "recording " + recordPath_ + buf;
    } else if (previewing_) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "preview %dx%d, %d bits | %d.%d fps (camera), %.1f shown",
                      frameWidth_, frameHeight_, frameBits_, cameraRate_ / 10, cameraRate_ % 10,
                      receivedRate_);
        text = buf;
    } else {
        text = "idle";
    }
    char err[128];
    if (lastError_ != 0)
        std::snprintf(err, sizeof err, " | last error: %d (%s)", lastError_,
                      tools::errorText(lastError_));
    else
        std::snprintf(err, sizeof err, " | no errors");
    text += err;
    gtk_statusbar_remove_all(GTK_STATUSBAR(statusBar_), statusContext_);
    gtk_statusbar_push(GTK_STATUSBAR(statusBar_), statusContext_, text.c_str());
}

void Viewer::fallbackTick() {
    if (handle_ == 0 || dialogOpen_ || !(previewing_ || recording_)) return;
    if (libraryPreviewWindows(false) > 0) {
        // The library shows the frames; nothing of ours would be visible.
        picture_.reset();
        return;
    }
    const int width = Orvane_Width(handle_);
    const int height = Orvane_Height(handle_);
    const int bits = Orvane_GetColorMode(handle_);
    const size_t stride = frameStride(width, bits);
    const int aw = gtk_widget_get_allocated_width(area_);
    const int ah = gtk_widget_get_allocated_height(area_);
    if (stride == 0 || height <= 0 || aw <= 0 || ah <= 0) return;
    GdkWindow* gw = gtk_widget_get_window(area_);
    GdkVisual* visual = gdk_window_get_visual(gw);
    Visual* xvisual = GDK_VISUAL_XVISUAL(visual);
    // Our pixels are 0x00RRGGBB words: only the usual 24-bit true-colour visual takes them.
    if (gdk_visual_get_depth(visual) != 24 || xvisual->red_mask != 0xFF0000 ||
        xvisual->green_mask != 0x00FF00 || xvisual->blue_mask != 0x0000FF)
        return;
    frame_.resize(stride * static_cast<size_t>(height));
    // A copy of the newest processed frame, taken under the library's frame lock.
    if (!Orvane_GetImage(handle_, frame_.data(), static_cast<int>(frame_.size()), 1)) return;
    pixels_.resize(static_cast<size_t>(aw) * static_cast<size_t>(ah));
    const FrameView view{frame_.data(), width, height, bits, stride};
    if (!scaleToXrgb(view, pixels_.data(), aw, ah, static_cast<size_t>(aw))) return;
    GdkDisplay* display = gdk_window_get_display(gw);
    gdk_x11_display_error_trap_push(display);
    bool ok = true;
    if (!picture_ || picture_.width() != aw || picture_.height() != ah)
        ok = picture_.create(GDK_WINDOW_XDISPLAY(gw), GDK_WINDOW_XID(gw), aw, ah, 24);
    ok = ok && picture_.put(pixels_);
    if (gdk_x11_display_error_trap_pop(display) != 0 || !ok) {
        picture_.reset();
        return;
    }
    fallbackDrawn_ = framesReceived_ > 0 || recording_;
    gtk_widget_queue_draw(area_);
}

void Viewer::quit(int code) {
    exitCode_ = code;
    if (dialogOpen_) {
        // The session is inside the dialog export: end once it has returned.
        quitPending_ = true;
        return;
    }
    if (quitting_) return;
    quitting_ = true;
    // The library's preview window is a child of ours: it goes before our windows do.
    shutdownLibrary();
    gtk_main_quit();
}

void Viewer::shutdownLibrary() {
    statusSource_.reset();
    fallbackSource_.reset();
    startSource_.reset();
    screenshotSource_.reset();
    quitSource_.reset();
    dialogCloserSource_.reset();
    if (handle_ != 0) {
        Orvane_Close(handle_);
        Orvane_Release(handle_);
        handle_ = 0;
    }
    appFdSource_.reset();
    previewFdSource_.reset();
    appWindow_.reset();
    previewParent_.reset();
    picture_.reset();
}

}  // namespace orvane::viewer
