// The viewer's main window and everything it does with the library.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <utility>
#include <vector>

#include "GuiResources.h"
#include "Options.h"
#include "OrvaneSdk.h"

namespace orvane::viewer {

class Viewer {
  public:
    explicit Viewer(Options options) : opt_(std::move(options)) {}
    ~Viewer() {
        shutdownLibrary();
        if (window_ != nullptr) gtk_widget_destroy(window_);
    }
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    // Builds the window, opens the library and schedules the scripted steps.
    bool run();
    int exitCode() const { return exitCode_; }

  private:
    void buildWindow();
    GtkWidget* buildMenuBar();
    bool connectLibrary();
    // afterInitialize: the first listing, when the library may have opened a camera itself.
    void refreshCameras(bool afterInitialize = false);
    void selectCamera(int index);
    bool startPreview();
    void stopPreview();
    void togglePreview();
    void snapshot();
    void toggleRecording();
    bool startRecording(const std::string& path);
    int openDialog(int which);
    // Scripted runs (ScriptedRun.cpp).
    void scheduleScriptedSteps();
    void dialogShots();
    bool grabToPng(GdkWindow* window, const std::string& path);
    static gboolean onDialogCloser(gpointer self);
    bool saveImage(const std::string& path, int format);
    void handleMessage(const OrvaneMessage& m);
    void pumpMessages(OrvaneWindow* window);
    void updateStatus();
    void updateButtons();
    void fallbackTick();
    void placePreview();
    int libraryPreviewWindows(bool resize);
    void screenshotCheck();
    bool writeScreenshot();
    void quit(int code);
    void shutdownLibrary();
    void showError(const char* what);
    std::string chooseFile(const char* title, const char* defaultName, bool imageFormats,
                           int* format);

    static gboolean onMessageFd(gint, GIOCondition, gpointer self);
    static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
    static gboolean onPreviewMessageFd(gint, GIOCondition, gpointer self);

    Options opt_;
    int exitCode_ = 0;
    bool quitting_ = false;

    // Widgets (owned by the toplevel window).
    GtkWidget* window_ = nullptr;
    GtkWidget* area_ = nullptr;
    GtkWidget* cameraCombo_ = nullptr;
    GtkWidget* previewButton_ = nullptr;
    GtkWidget* recordButton_ = nullptr;
    GtkWidget* snapshotButton_ = nullptr;
    GtkWidget* previewItem_ = nullptr;
    GtkWidget* recordItem_ = nullptr;
    GtkWidget* statusBar_ = nullptr;
    guint statusContext_ = 0;
    bool updatingCombo_ = false;

    // Library state. appWindow_ carries the toplevel (application window, callback window
    // and dialog parent); previewParent_ carries the drawing area the preview sits in.
    MessageWindow appWindow_;
    MessageWindow previewParent_;
    ORVANE_HANDLE handle_ = 0;
    int cameraCount_ = 0;
    int currentCamera_ = -1;
    bool previewing_ = false;
    bool recording_ = false;
    std::string recordPath_;
    bool previewBeforeRecording_ = false;
    int lastError_ = 0;
    long framesReceived_ = 0;
    int cameraRate_ = 0;  // tenths of a frame per second, from the frame record
    int frameWidth_ = 0, frameHeight_ = 0, frameBits_ = 0;
    gint64 rateWindowStart_ = 0;
    long rateWindowFrames_ = 0;
    double receivedRate_ = 0.0;

    // Frames the viewer draws itself while the library shows no window in the area.
    std::vector<uint8_t> frame_;
    std::vector<uint32_t> pixels_;
    ServerPicture picture_;
    bool fallbackDrawn_ = false;
    int placedWidth_ = -1, placedHeight_ = -1;  // preview area size last given to the library

    // A settings dialog is open (the library runs it inside our main loop); what has to
    // wait for it to close.
    bool dialogOpen_ = false;
    bool refreshPending_ = false;
    bool stopPending_ = false;
    bool quitPending_ = false;

    // Scripted runs.
    int dialogShot_ = 0;          // which dialog the closer is waiting for
    gint64 dialogSeenUs_ = 0;     // when its sheet was first seen mapped
    std::string dialogShotSize_;  // "WxH" of the sheet's picture, empty when none was taken
    gint64 previewStartedUs_ = 0;
    gint64 screenshotDueUs_ = 0;
    bool resized_ = false;

    Source statusSource_, fallbackSource_, appFdSource_, previewFdSource_, startSource_,
        screenshotSource_, quitSource_, dialogCloserSource_;
};

}  // namespace orvane::viewer
