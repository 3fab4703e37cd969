// The orvane GStreamer plugin: registers the orvanesrc element.
// GST_PLUGIN_DEFINE names the package through this macro (a config.h in autotools builds).
#define PACKAGE "orvane"
#include <gst/gst.h>

#include "gstorvanesrc.h"

static gboolean plugin_init(GstPlugin* plugin) {
    return gst_element_register(plugin, "orvanesrc", GST_RANK_NONE, GST_TYPE_ORVANE_SRC);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, orvane,
                  "Sources for cameras driven by the Orvane library", plugin_init,
                  ORVANE_GST_VERSION, "Proprietary", "OrvaneSdk", "Orvane SDK")
