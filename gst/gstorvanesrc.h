// orvanesrc: a live GStreamer source for cameras driven by the Orvane library.
#pragma once

#include <gst/base/gstpushsrc.h>

G_BEGIN_DECLS

#define GST_TYPE_ORVANE_SRC (gst_orvane_src_get_type())
G_DECLARE_FINAL_TYPE(GstOrvaneSrc, gst_orvane_src, GST, ORVANE_SRC, GstPushSrc)

G_END_DECLS
