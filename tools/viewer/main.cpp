// orvane-viewer: entry point. Options that matter before GTK starts are read first.
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Options.h"
#include "Viewer.h"

int main(int argc, char** argv) {
    // Options that matter before GTK or the library start anything.
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(orvane::viewer::usageText(), stdout);
            return 0;
        }
        if (a == "--virtual" || a.rfind("--virtual=", 0) == 0) {
            std::string error;
            bool help = false;
            orvane::viewer::Options o;
            if (orvane::viewer::parseOptions({a}, &o, &help, &error))
                setenv("ORVANE_VIRTUAL_CAMERAS", o.virtualCameras.c_str(), 1);
        }
    }
    // The library's preview and dialogs are X11 windows: under Wayland, use XWayland.
    gdk_set_allowed_backends("x11");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "orvane-viewer: cannot open the display\n");
        return 1;
    }
    orvane::viewer::Options options;
    bool help = false;
    std::string error;
    if (!orvane::viewer::parseOptions(std::vector<std::string>(argv + 1, argv + argc), &options,
                                      &help, &error)) {
        std::fprintf(stderr, "orvane-viewer: %s\n\n%s", error.c_str(), orvane::viewer::usageText());
        return 2;
    }
    orvane::viewer::Viewer viewer(options);
    if (!viewer.run()) return 1;
    gtk_main();
    return viewer.exitCode();
}
