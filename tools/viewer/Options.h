// Command line of orvane-viewer.
#pragma once

#include <string>
#include <vector>

namespace orvane::viewer {

struct Options {
    bool useVirtual = false;
    std::string virtualCameras;  // ORVANE_VIRTUAL_CAMERAS value when useVirtual
    int device = -1;             // camera number to open; -1: the library's choice
    bool start = false;          // start the preview at launch
    std::string record;          // start recording this AVI file at launch
    std::string screenshot;      // PNG of the main window after `afterMs` of preview
    int afterMs = 1000;
    int quitAfterMs = -1;       // quit after this many milliseconds; -1: run until closed
    std::string saveAll;        // after the screenshot: save the current image in every format
    std::string dialogShots;    // after the screenshot: open, picture and cancel each dialog
    bool fallback = true;       // draw frames ourselves while the library shows no window
    bool drawInViewer = false;  // no library window at all: the viewer draws every frame
    int width = 800;            // requested size of the preview area
    int height = 560;
    int resizeWidth = 0;  // with --screenshot: resize the window to this first (0: no)
    int resizeHeight = 0;
};

// Parses the arguments after the program name (GTK's own options already removed).
// Returns false with a message in *error for a bad option; *help is set for --help.
bool parseOptions(const std::vector<std::string>& args, Options* options, bool* help,
                  std::string* error);

const char* usageText();

}  // namespace orvane::viewer
