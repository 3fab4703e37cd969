// orvanesrc: frames of the library's callback preview as a live GStreamer source.
//
// The library processes each frame on its own acquisition thread and announces it to a message
// window; the streaming thread waits on that window's descriptor, then copies the newest
// processed frame straight into a buffer of the negotiated pool (one copy, under the library's
// frame lock). Frames announced while the pipeline was busy with an earlier one are counted as
// dropped. The camera session lives from NULL->READY to READY->NULL; the camera streams only
// while the element is PLAYING.
#include "gstorvanesrc.h"

#include <gst/video/video.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ErrorText.h"
#include "OrvaneCamera.h"
#include "OrvaneCaps.h"
#include "OrvaneSettings.h"

GST_DEBUG_CATEGORY_STATIC(orvane_src_debug);
#define GST_CAT_DEFAULT orvane_src_debug

namespace {

using orvane::gst::FrameWait;
using orvane::gst::kSettings;
using orvane::gst::OrvaneCamera;
using orvane::gst::StreamFormat;

constexpr int kWaitStepMs = 1000;
constexpr gint64 kStallWarningUs = 5 * G_USEC_PER_SEC;
constexpr GstClockTime kShortestFrame = GST_SECOND / 50;  // the sensor's full-size rate
constexpr guint kLatencySlots = 4;  // frames the library can hold before the newest wins
constexpr guint64 kLatencyCheckEvery = 30;

enum Property : guint {
    kPropDevice = 1,
    kPropVirtual,
    kPropStats,
    kPropFirstSetting,
};

struct SrcState {
    // ---- Properties, guarded by `lock`.
    std::mutex lock;
    int device = 0;
    std::string virtualCameras;
    std::array<int, kSettings.size()> values{};
    std::array<bool, kSettings.size()> explicitlySet{};
    StreamFormat format;  // the negotiated format

    OrvaneCamera camera;
    std::atomic<bool> playing{false};   // PLAYING: the camera may stream
    std::atomic<bool> flushing{false};  // between unlock and unlock_stop
    std::mutex runLock;                 // with runChanged: fill waiting out a pause
    std::condition_variable runChanged;

    // ---- Statistics, read by the `stats` property from any thread.
    std::atomic<guint64> delivered{0};
    std::atomic<guint64> announced{0};
    std::atomic<GstClockTime> frameDuration{kShortestFrame};  // reported in the latency query

    // ---- Streaming thread only.
    GstClockTime lastArrival = GST_CLOCK_TIME_NONE;
    GstClockTime measuredInterval = GST_CLOCK_TIME_NONE;
    gint64 lastFrameUs = 0;
    gint64 lastDropLogUs = 0;
    guint64 droppedAtLastLog = 0;
    bool stallWarned = false;

    guint64 dropped() const {
        const guint64 a = announced.load(), d = delivered.load();
        return a > d ? a - d : 0;
    }
};

}  // namespace

struct _GstOrvaneSrc {
    GstPushSrc parent;
    SrcState state;  // constructed in init, destroyed in finalize
};

G_DEFINE_TYPE(GstOrvaneSrc, gst_orvane_src, GST_TYPE_PUSH_SRC)

namespace {

SrcState& stateOf(gpointer object) {
    return GST_ORVANE_SRC(object)->state;
}

int settingIndexOf(const char* name) {
    return orvane::gst::settingIndex(name);
}

// The gray mode the user chose on the element, or -1; caps follow it. `lock` held.
int explicitGrayMode(const SrcState& s) {
    const int i = settingIndexOf("gray-mode");
    return s.explicitlySet[static_cast<size_t>(i)] ? s.values[static_cast<size_t>(i)] : -1;
}

// Pushes one setting to an open session (`lock` held). A refusal is not fatal: its warning is
// added to `warnings`, to be posted once the lock is released (a bus handler may well ask
// for a property in return).
void pushSetting(SrcState& s, size_t index, int value, std::vector<std::string>* warnings) {
    const ORVANE_HANDLE h = s.camera.handle();
    if (h == 0) return;
    if (!orvane::gst::applySetting(h, kSettings[index], value))
        warnings->push_back(std::string("The camera refused ") + kSettings[index].property + " = " +
                            std::to_string(value) + ": " +
                            s.camera.lastError(kSettings[index].property));
}

void applyExplicitSettings(SrcState& s, std::vector<std::string>* warnings) {
    for (size_t i = 0; i < kSettings.size(); ++i)
        if (s.explicitlySet[i]) pushSetting(s, i, s.values[i], warnings);
}

void postWarnings(GstOrvaneSrc* self, const std::vector<std::string>& warnings) {
    for (const std::string& w : warnings)
        GST_ELEMENT_WARNING(self, LIBRARY, SETTINGS, ("%s", w.c_str()), (nullptr));
}

GstClockTime exposureDuration(const SrcState& s) {
    int ok = 0;
    const int count = Orvane_GetExposureTime(s.camera.handle(), &ok);
    if (ok != 1 || count <= 0) return kShortestFrame;
    return std::max<GstClockTime>(static_cast<GstClockTime>(count) * 100 * GST_USECOND,
                                  kShortestFrame);
}

// The camera setting behind property `id`; warns as GObject does for an unknown one.
bool settingOfProperty(GObject* object, guint id, GParamSpec* pspec, size_t* index) {
    if (id < kPropFirstSetting || id >= kPropFirstSetting + kSettings.size()) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return false;
    }
    *index = id - kPropFirstSetting;
    return true;
}

void gst_orvane_src_set_property(GObject* object, guint id, const GValue* value,
                                 GParamSpec* pspec) {
    GstOrvaneSrc* self = GST_ORVANE_SRC(object);
    SrcState& s = self->state;
    switch (id) {
        case kPropDevice: {
            std::lock_guard lock(s.lock);
            s.device = g_value_get_int(value);
            return;
        }
        case kPropVirtual: {
            std::lock_guard lock(s.lock);
            const char* text = g_value_get_string(value);
            s.virtualCameras = text != nullptr ? text : "";
            return;
        }
        default:
            break;
    }
    size_t index = 0;
    if (!settingOfProperty(object, id, pspec, &index)) return;
    std::vector<std::string> warnings;
    bool renegotiate = false, latencyChanged = false;
    {
        std::lock_guard lock(s.lock);
        s.values[index] = g_value_get_int(value);
        s.explicitlySet[index] = true;
        pushSetting(s, index, s.values[index], &warnings);
        const std::string name = kSettings[index].property;
        // The Bayer phase and the gray mode decide which caps the camera offers.
        renegotiate = s.camera.isOpen() && (name == "bayer-mode" || name == "gray-mode");
        // A longer exposure lengthens the frame at once; the measurement follows later.
        if (s.camera.isOpen() && name == "exposure") {
            const GstClockTime frame = exposureDuration(s);
            latencyChanged = frame > s.frameDuration.load();
            if (latencyChanged) s.frameDuration.store(frame);
        }
    }
    postWarnings(self, warnings);
    if (renegotiate) gst_pad_mark_reconfigure(GST_BASE_SRC_PAD(self));
    if (latencyChanged)
        gst_element_post_message(GST_ELEMENT(self), gst_message_new_latency(GST_OBJECT(self)));
}

void gst_orvane_src_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    SrcState& s = stateOf(object);
    switch (id) {
        case kPropDevice: {
            std::lock_guard lock(s.lock);
            g_value_set_int(value, s.device);
            return;
        }
        case kPropVirtual: {
            std::lock_guard lock(s.lock);
            g_value_set_string(value,
                               s.virtualCameras.empty() ? nullptr : s.virtualCameras.c_str());
            return;
        }
        case kPropStats:
            g_value_take_boxed(
                value, gst_structure_new("stats", "delivered", G_TYPE_UINT64, s.delivered.load(),
                                         "dropped", G_TYPE_UINT64, s.dropped(), nullptr));
            return;
        default:
            break;
    }
    size_t index = 0;
    if (!settingOfProperty(object, id, pspec, &index)) return;
    std::lock_guard lock(s.lock);
    int v = s.explicitlySet[index] ? s.values[index] : kSettings[index].fallback;
    // An open camera answers with what it really uses (auto iris may have moved it).
    if (const ORVANE_HANDLE h = s.camera.handle(); h != 0) {
        int live = 0;
        if (orvane::gst::readSetting(h, kSettings[index], &live)) v = live;
    }
    g_value_set_int(value, v);
}

bool openCamera(GstOrvaneSrc* self) {
    SrcState& s = self->state;
    std::string error, where;
    std::vector<std::string> warnings;
    bool opened = false;
    {
        std::lock_guard lock(s.lock);
        opened = s.camera.open(s.device, s.virtualCameras, &error);
        where = "device=" + std::to_string(s.device) + " virtual=" + s.virtualCameras;
        if (opened) {
            applyExplicitSettings(s, &warnings);
            s.frameDuration.store(exposureDuration(s));
            s.delivered.store(0);
            s.announced.store(0);
            GST_INFO_OBJECT(self, "camera %d open, %dx%d", s.device,
                            Orvane_Width(s.camera.handle()), Orvane_Height(s.camera.handle()));
        }
    }
    if (!opened) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("%s", error.c_str()), ("%s", where.c_str()));
        return false;
    }
    postWarnings(self, warnings);
    return true;
}

// Flags the streaming thread waits on; each change wakes it.
void setPlaying(SrcState& s, bool playing) {
    {
        std::lock_guard lock(s.runLock);
        s.playing.store(playing);
    }
    s.runChanged.notify_all();
    s.camera.wake();
}

void setFlushing(SrcState& s, bool flushing) {
    {
        std::lock_guard lock(s.runLock);
        s.flushing.store(flushing);
    }
    s.runChanged.notify_all();
    if (flushing) s.camera.wake();
}

GstStateChangeReturn gst_orvane_src_change_state(GstElement* element, GstStateChange transition) {
    GstOrvaneSrc* self = GST_ORVANE_SRC(element);
    SrcState& s = self->state;
    switch (transition) {
        case GST_STATE_CHANGE_NULL_TO_READY:
            if (!openCamera(self)) return GST_STATE_CHANGE_FAILURE;
            break;
        case GST_STATE_CHANGE_PAUSED_TO_PLAYING:
            setPlaying(s, true);
            break;
        case GST_STATE_CHANGE_PLAYING_TO_PAUSED:
            setPlaying(s, false);
            break;
        default:
            break;
    }
    const GstStateChangeReturn ret =
        GST_ELEMENT_CLASS(gst_orvane_src_parent_class)->change_state(element, transition);
    switch (transition) {
        case GST_STATE_CHANGE_PLAYING_TO_PAUSED: {
            // fill() waits for PLAYING again and restarts the stream then.
            std::lock_guard lock(s.lock);
            s.camera.stopStream();
            break;
        }
        case GST_STATE_CHANGE_READY_TO_NULL: {
            std::lock_guard lock(s.lock);
            s.camera.close();
            break;
        }
        default:
            break;
    }
    return ret;
}

GstCaps* gst_orvane_src_get_caps(GstBaseSrc* base, GstCaps* filter) {
    SrcState& s = stateOf(base);
    GstCaps* caps = nullptr;
    {
        std::lock_guard lock(s.lock);
        if (const ORVANE_HANDLE h = s.camera.handle(); h != 0) {
            int ok = 0;
            const int bayer = Orvane_GetBayerMode(h, &ok);
            caps = orvane::gst::cameraCaps(Orvane_Width(h), Orvane_Height(h), ok == 1 ? bayer : 2,
                                           explicitGrayMode(s));
        }
    }
    if (caps == nullptr) caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(base));
    if (filter != nullptr) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

gboolean gst_orvane_src_set_caps(GstBaseSrc* base, GstCaps* caps) {
    GstOrvaneSrc* self = GST_ORVANE_SRC(base);
    SrcState& s = self->state;
    StreamFormat f;
    if (!orvane::gst::parseFormat(caps, &f)) {
        GST_ERROR_OBJECT(self, "caps not supported: %" GST_PTR_FORMAT, caps);
        return FALSE;
    }
    std::lock_guard lock(s.lock);
    const ORVANE_HANDLE h = s.camera.handle();
    if (h == 0) return FALSE;
    if (f.width != Orvane_Width(h) || f.height != Orvane_Height(h)) {
        GST_ERROR_OBJECT(self, "caps %dx%d differ from the capture window %dx%d", f.width, f.height,
                         Orvane_Width(h), Orvane_Height(h));
        return FALSE;
    }
    // A new colour mode needs a new preparation of the camera.
    s.camera.stopStream();
    if (!Orvane_SetColorMode(h, f.colourMode)) {
        // Unusual enough to be left to the log: negotiation fails with not-negotiated.
        GST_ERROR_OBJECT(self, "%s", s.camera.lastError("colour mode").c_str());
        return FALSE;
    }
    // GRAY8 needs the gray computed from colour; the mosaic needs it off unless the user asked
    // for the site gains of gray mode 1.
    int ok = 0;
    const int gray = Orvane_GetGrayMode(h, &ok);
    if (f.grayMode == 2 && gray != 2) Orvane_SetGrayMode(h, 2);
    if (f.bayer && gray == 2) Orvane_SetGrayMode(h, 0);
    s.format = f;
    GST_INFO_OBJECT(self, "colour mode %d, %d bytes a frame: %" GST_PTR_FORMAT, f.colourMode,
                    static_cast<int>(f.frameBytes), caps);
    return TRUE;
}

gboolean gst_orvane_src_decide_allocation(GstBaseSrc* base, GstQuery* query) {
    SrcState& s = stateOf(base);
    GstCaps* caps = nullptr;
    gst_query_parse_allocation(query, &caps, nullptr);
    size_t frameBytes = 0;
    bool bayer = false;
    {
        std::lock_guard lock(s.lock);
        frameBytes = s.format.frameBytes;
        bayer = s.format.bayer;
    }
    if (caps == nullptr || frameBytes == 0) return FALSE;

    // Always a pool of our own: the library writes rows with its own stride (padded to 4
    // bytes), which a downstream pool's buffers need not have. Downstream's counts are kept.
    guint size = 0, minimum = 0, maximum = 0;
    const bool proposed = gst_query_get_n_allocation_pools(query) > 0;
    if (proposed) {
        GstBufferPool* theirs = nullptr;
        gst_query_parse_nth_allocation_pool(query, 0, &theirs, &size, &minimum, &maximum);
        if (theirs != nullptr) gst_object_unref(theirs);
    }
    GstBufferPool* pool = bayer ? gst_buffer_pool_new() : gst_video_buffer_pool_new();
    size = static_cast<guint>(frameBytes);
    minimum = std::max<guint>(minimum, 2);
    if (maximum != 0) maximum = std::max(maximum, minimum);

    GstStructure* config = gst_buffer_pool_get_config(pool);
    gst_buffer_pool_config_set_params(config, caps, size, minimum, maximum);
    if (!gst_buffer_pool_set_config(pool, config)) {
        GST_ERROR_OBJECT(base, "buffer pool refused %u-byte buffers", size);
        gst_object_unref(pool);
        return FALSE;
    }
    if (proposed)
        gst_query_set_nth_allocation_pool(query, 0, pool, size, minimum, maximum);
    else
        gst_query_add_allocation_pool(query, pool, size, minimum, maximum);
    gst_object_unref(pool);
    return TRUE;
}

// Running time of "now" on the pipeline clock, or NONE without a clock.
GstClockTime arrivalTime(GstElement* element) {
    GstClock* clock = gst_element_get_clock(element);
    if (clock == nullptr) return GST_CLOCK_TIME_NONE;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(element);
    return now >= base ? now - base : 0;
}

// Keeps the reported latency near the measured frame interval, and tells the pipeline when
// it moved (exposure changes the frame time).
void updateTiming(GstOrvaneSrc* self, GstClockTime arrival, guint64 frames) {
    SrcState& s = self->state;
    if (GST_CLOCK_TIME_IS_VALID(arrival) && GST_CLOCK_TIME_IS_VALID(s.lastArrival) &&
        arrival > s.lastArrival && frames > 0) {
        const GstClockTime interval = (arrival - s.lastArrival) / frames;
        s.measuredInterval = GST_CLOCK_TIME_IS_VALID(s.measuredInterval)
                                 ? (s.measuredInterval * 7 + interval) / 8
                                 : interval;
    }
    s.lastArrival = arrival;
    if (s.delivered.load() % kLatencyCheckEvery != 0 ||
        !GST_CLOCK_TIME_IS_VALID(s.measuredInterval))
        return;
    const GstClockTime reported = s.frameDuration.load();
    const GstClockTime measured = s.measuredInterval;
    if (measured * 4 > reported * 5 || measured * 5 < reported * 4) {
        s.frameDuration.store(measured);
        GST_INFO_OBJECT(self, "frame interval now %" GST_TIME_FORMAT, GST_TIME_ARGS(measured));
        gst_element_post_message(GST_ELEMENT(self), gst_message_new_latency(GST_OBJECT(self)));
    }
}

void logDrops(GstOrvaneSrc* self) {
    SrcState& s = self->state;
    const guint64 dropped = s.dropped();
    const gint64 now = g_get_monotonic_time();
    if (dropped == s.droppedAtLastLog || now - s.lastDropLogUs < G_USEC_PER_SEC) return;
    GST_WARNING_OBJECT(self,
                       "downstream too slow: %" G_GUINT64_FORMAT
                       " frames dropped (%" G_GUINT64_FORMAT " delivered)",
                       dropped, s.delivered.load());
    s.droppedAtLastLog = dropped;
    s.lastDropLogUs = now;
}

GstFlowReturn streamFailed(GstOrvaneSrc* self, const std::string& what, const std::string& detail) {
    GST_ELEMENT_ERROR(self, RESOURCE, READ, ("%s", what.c_str()), ("%s", detail.c_str()));
    return GST_FLOW_ERROR;
}

// Starts the camera stream when it is not running (after negotiation or a pause).
bool ensureStreaming(GstOrvaneSrc* self, size_t* frameBytes, std::string* error) {
    SrcState& s = self->state;
    std::lock_guard lock(s.lock);
    *frameBytes = s.format.frameBytes;
    // Checked under the lock that pausing stops the stream with: a pause that came after the
    // caller looked at the flag is not undone here.
    if (s.camera.streaming() || !s.playing.load()) return true;
    if (!s.camera.startStream(error)) return false;
    s.lastFrameUs = g_get_monotonic_time();
    s.lastArrival = GST_CLOCK_TIME_NONE;
    return true;
}

// Waits until a processed frame is announced while PLAYING. A pause is waited out here, not
// answered with FLUSHING: a live source that returns FLUSHING without a flush stops its task
// for good. Returns OK with frames > 0, FLUSHING on unlock, ERROR with the error posted.
GstFlowReturn waitForFrame(GstOrvaneSrc* self, size_t* frameBytes, guint64* frames) {
    SrcState& s = self->state;
    for (;;) {
        // Clear before looking at the flags: a wake that comes later stays pending for the
        // wait below, one that came earlier is seen in the flags.
        s.camera.clearWake();
        if (s.flushing.load()) return GST_FLOW_FLUSHING;
        if (!s.playing.load()) {
            std::unique_lock lock(s.runLock);
            s.runChanged.wait(lock, [&] { return s.playing.load() || s.flushing.load(); });
            continue;
        }
        std::string error;
        if (!ensureStreaming(self, frameBytes, &error))
            return streamFailed(self, "Cannot start the camera stream", error);
        const FrameWait w = s.camera.waitFrame(kWaitStepMs, frames);
        if (w == FrameWait::Frame) return GST_FLOW_OK;
        if (w == FrameWait::Failed) {
            const int code = s.camera.failureCode();
            return streamFailed(self,
                                std::string("Camera stream failed: error ") + std::to_string(code) +
                                    ", " + orvane::tools::errorText(code),
                                s.camera.removalSeen() ? "a camera was unplugged"
                                                       : "the camera stopped delivering frames");
        }
        if (w == FrameWait::TimedOut && !s.stallWarned &&
            g_get_monotonic_time() - s.lastFrameUs > kStallWarningUs) {
            s.stallWarned = true;
            GST_ELEMENT_WARNING(self, RESOURCE, READ, ("No frame from the camera for 5 s"),
                                ("the library keeps waiting for the camera"));
        }
    }
}

GstFlowReturn gst_orvane_src_fill(GstPushSrc* push, GstBuffer* buffer) {
    GstOrvaneSrc* self = GST_ORVANE_SRC(push);
    SrcState& s = self->state;
    size_t frameBytes = 0;
    guint64 frames = 0;
    guint64 late = 0;
    GstClockTime arrival = GST_CLOCK_TIME_NONE;
    for (;;) {
        const GstFlowReturn ret = waitForFrame(self, &frameBytes, &frames);
        if (ret != GST_FLOW_OK) return ret;
        if (frameBytes == 0 || gst_buffer_get_size(buffer) < frameBytes)
            return streamFailed(self, "Buffer smaller than a frame",
                                "negotiation gave no frame size");
        arrival = arrivalTime(GST_ELEMENT(self));
        s.lastFrameUs = g_get_monotonic_time();
        s.stallWarned = false;

        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE))
            return streamFailed(self, "Cannot map the output buffer", "gst_buffer_map failed");
        std::string error;
        const bool copied = s.camera.copyFrame(map.data, frameBytes, &late, &error);
        gst_buffer_unmap(buffer, &map);
        if (copied) break;
        // Paused (or renegotiated) between the announcement and the copy: wait again.
        if (!s.camera.streaming()) continue;
        return streamFailed(self, "Cannot copy the frame", error);
    }
    gst_buffer_set_size(buffer, frameBytes);

    s.announced.fetch_add(frames + late);
    const guint64 index = s.delivered.fetch_add(1);
    updateTiming(self, arrival, frames + late);
    logDrops(self);

    GST_BUFFER_OFFSET(buffer) = index;
    GST_BUFFER_OFFSET_END(buffer) = index + 1;
    // With do-timestamp the base class stamps the buffer when it leaves the element.
    if (!gst_base_src_get_do_timestamp(GST_BASE_SRC(self))) {
        GST_BUFFER_PTS(buffer) = arrival;
        GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
    }
    GST_BUFFER_DURATION(buffer) = s.frameDuration.load();
    return GST_FLOW_OK;
}

gboolean gst_orvane_src_unlock(GstBaseSrc* base) {
    setFlushing(stateOf(base), true);
    return TRUE;
}

gboolean gst_orvane_src_unlock_stop(GstBaseSrc* base) {
    setFlushing(stateOf(base), false);
    return TRUE;
}

gboolean gst_orvane_src_stop(GstBaseSrc* base) {
    stateOf(base).camera.stopStream();
    return TRUE;
}

gboolean gst_orvane_src_query(GstBaseSrc* base, GstQuery* query) {
    SrcState& s = stateOf(base);
    if (GST_QUERY_TYPE(query) == GST_QUERY_LATENCY && s.camera.isOpen()) {
        // A frame is ours one frame time after its exposure began; the library keeps at most
        // a few frames before it drops the oldest.
        const GstClockTime frame = s.frameDuration.load();
        gst_query_set_latency(query, TRUE, frame, frame * kLatencySlots);
        GST_DEBUG_OBJECT(base, "latency %" GST_TIME_FORMAT, GST_TIME_ARGS(frame));
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(gst_orvane_src_parent_class)->query(base, query);
}

void gst_orvane_src_finalize(GObject* object) {
    GstOrvaneSrc* self = GST_ORVANE_SRC(object);
    self->state.camera.close();
    std::destroy_at(&self->state);
    G_OBJECT_CLASS(gst_orvane_src_parent_class)->finalize(object);
}

}  // namespace

static void gst_orvane_src_init(GstOrvaneSrc* self) {
    std::construct_at(&self->state);
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
}

static void gst_orvane_src_class_init(GstOrvaneSrcClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
    GstPushSrcClass* push = GST_PUSH_SRC_CLASS(klass);
    GST_DEBUG_CATEGORY_INIT(orvane_src_debug, "orvanesrc", 0, "Orvane camera source");

    object->set_property = gst_orvane_src_set_property;
    object->get_property = gst_orvane_src_get_property;
    object->finalize = gst_orvane_src_finalize;

    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    const auto liveFlags = static_cast<GParamFlags>(flags | GST_PARAM_MUTABLE_PLAYING);
    g_object_class_install_property(
        object, kPropDevice,
        g_param_spec_int("device", "Device", "Camera number (applies when the element opens it)", 0,
                         31, 0, flags));
    g_object_class_install_property(
        object, kPropVirtual,
        g_param_spec_string("virtual", "Virtual cameras",
                            "Use virtual cameras instead of USB devices: a list as in "
                            "ORVANE_VIRTUAL_CAMERAS, e.g. \"30f0:pace=fast:scene=ramp\"",
                            nullptr, flags));
    g_object_class_install_property(
        object, kPropStats,
        g_param_spec_boxed("stats", "Statistics",
                           "Frames delivered and frames dropped because downstream was too slow",
                           GST_TYPE_STRUCTURE,
                           static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    for (size_t i = 0; i < kSettings.size(); ++i) {
        const orvane::gst::SettingEntry& setting = kSettings[i];
        g_object_class_install_property(
            object, static_cast<guint>(kPropFirstSetting + i),
            g_param_spec_int(setting.property, setting.property, setting.blurb, setting.minimum,
                             setting.maximum, setting.fallback, liveFlags));
    }

    GstCaps* caps = orvane::gst::templateCaps();
    gst_element_class_add_pad_template(
        element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
    gst_element_class_set_static_metadata(
        element, "Orvane camera source", "Source/Video/Hardware",
        "Live frames of an Orvane USB3 camera (or the virtual camera), processed by the library",
        "Orvane SDK developers");

    element->change_state = gst_orvane_src_change_state;
    base->get_caps = gst_orvane_src_get_caps;
    base->set_caps = gst_orvane_src_set_caps;
    base->decide_allocation = gst_orvane_src_decide_allocation;
    base->unlock = gst_orvane_src_unlock;
    base->unlock_stop = gst_orvane_src_unlock_stop;
    base->stop = gst_orvane_src_stop;
    base->query = gst_orvane_src_query;
    push->fill = gst_orvane_src_fill;
}
