#include "GstTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "OrvaneSdk.h"

namespace orvane::test {
namespace {

// GStreamer is started once for the process and shut down after the last test, so that
// leak checkers see GStreamer's own allocations released.
class GstEnvironment : public testing::Environment {
  public:
    void SetUp() override { gst_init(nullptr, nullptr); }
    void TearDown() override { gst_deinit(); }
};
[[maybe_unused]] testing::Environment* const g_gstEnvironment =
    testing::AddGlobalTestEnvironment(new GstEnvironment);  // gtest owns it

}  // namespace

TestPipeline::TestPipeline(const std::string& sourceProperties, const std::string& caps,
                           const std::string& sinkProperties) {
    const std::string description = "orvanesrc name=src " + sourceProperties + " ! " + caps +
                                    " ! appsink name=sink sync=false " + sinkProperties;
    GError* error = nullptr;
    pipeline_ = gst_parse_launch(description.c_str(), &error);
    if (error != nullptr) {
        ADD_FAILURE() << "cannot parse " << description << ": " << error->message;
        g_error_free(error);
    }
    if (pipeline_ == nullptr) return;
    source_ = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
    sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
}

TestPipeline::~TestPipeline() {
    if (pipeline_ == nullptr) return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    if (source_ != nullptr) gst_object_unref(source_);
    if (sink_ != nullptr) gst_object_unref(sink_);
    gst_object_unref(pipeline_);
}

GstStateChangeReturn TestPipeline::setState(GstState state) {
    GstStateChangeReturn r = gst_element_set_state(pipeline_, state);
    if (r == GST_STATE_CHANGE_ASYNC)
        r = gst_element_get_state(pipeline_, nullptr, nullptr, 30 * GST_SECOND);
    return r;
}

SamplePtr TestPipeline::pull(double timeoutSeconds) {
    return SamplePtr(gst_app_sink_try_pull_sample(
        sink(), static_cast<GstClockTime>(timeoutSeconds * static_cast<double>(GST_SECOND))));
}

std::string TestPipeline::waitError(double timeoutSeconds) {
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* m = gst_bus_timed_pop_filtered(
        bus, static_cast<GstClockTime>(timeoutSeconds * static_cast<double>(GST_SECOND)),
        GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (m == nullptr) return {};
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(m, &error, &debug);
    std::string text = error != nullptr ? error->message : "";
    if (debug != nullptr) text += std::string(" | ") + debug;
    if (error != nullptr) g_error_free(error);
    g_free(debug);
    gst_message_unref(m);
    return text;
}

std::vector<uint8_t> sampleBytes(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstMapInfo map;
    if (buffer == nullptr || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return {};
    std::vector<uint8_t> bytes(map.data, map.data + map.size);
    gst_buffer_unmap(buffer, &map);
    return bytes;
}

std::string sampleFormat(GstSample* sample) {
    const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
    const char* f = gst_structure_get_string(s, "format");
    return f != nullptr ? f : "";
}

std::pair<int, int> sampleSize(GstSample* sample) {
    const GstStructure* s = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
    int w = 0, h = 0;
    gst_structure_get_int(s, "width", &w);
    gst_structure_get_int(s, "height", &h);
    return {w, h};
}

std::vector<uint8_t> referenceSnapshot(const std::string& cameras, int colourMode,
                                       const std::vector<std::pair<int, int>>& filters) {
    setenv("ORVANE_VIRTUAL_CAMERAS", cameras.c_str(), 1);
    const ORVANE_HANDLE h = Orvane_Initialize(nullptr);
    unsetenv("ORVANE_VIRTUAL_CAMERAS");
    std::vector<uint8_t> frame;
    if (h == 0) return frame;
    if (Orvane_SetDeviceNumber(h, 0) && Orvane_SetColorMode(h, colourMode)) {
        bool ok = true;
        for (const auto& [id, value] : filters) ok = ok && Orvane_SetFilterValue(h, id, value);
        const size_t stride =
            (static_cast<size_t>(Orvane_Width(h)) * static_cast<size_t>(colourMode / 8) + 3) &
            ~size_t{3};
        frame.resize(stride * static_cast<size_t>(Orvane_Height(h)));
        if (!ok || !Orvane_SnapShot(h, frame.data(), static_cast<int>(frame.size()), 1))
            frame.clear();
    }
    Orvane_Release(h);
    return frame;
}

int openDescriptorCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

}  // namespace orvane::test
