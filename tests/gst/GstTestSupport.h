// Helpers for the orvanesrc tests: GStreamer set-up once per process, pipelines ending in an
// appsink, bus errors, and reference frames taken through the library's C interface.
#pragma once

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace orvane::test {

struct SampleUnref {
    void operator()(GstSample* s) const { gst_sample_unref(s); }
};
using SamplePtr = std::unique_ptr<GstSample, SampleUnref>;

// A parsed pipeline "orvanesrc name=src PROPS ! CAPS ! appsink name=sink", set to NULL and
// released on destruction.
class TestPipeline {
  public:
    TestPipeline(const std::string& sourceProperties, const std::string& caps,
                 const std::string& sinkProperties = "max-buffers=2 drop=false");
    ~TestPipeline();
    TestPipeline(const TestPipeline&) = delete;
    TestPipeline& operator=(const TestPipeline&) = delete;

    GstElement* pipeline() const { return pipeline_; }
    GstElement* source() const { return source_; }
    GstAppSink* sink() const { return GST_APP_SINK(sink_); }

    // Sets the state and waits for it (up to 30 s); the result of the change.
    GstStateChangeReturn setState(GstState state);
    // The next sample, or null after timeoutSeconds (or at the end of the stream).
    SamplePtr pull(double timeoutSeconds = 30.0);
    // Text of the first error message on the bus within timeoutSeconds; empty when none.
    std::string waitError(double timeoutSeconds);

  private:
    GstElement* pipeline_ = nullptr;
    GstElement* source_ = nullptr;
    GstElement* sink_ = nullptr;
};

// Bytes of a sample's buffer.
std::vector<uint8_t> sampleBytes(GstSample* sample);
// Format name ("BGR", "bggr", ...) of a sample's caps.
std::string sampleFormat(GstSample* sample);
std::pair<int, int> sampleSize(GstSample* sample);

// One frame from Orvane_SnapShot on camera 0 of `cameras`, with the colour mode, the filter
// values (identifier, value) applied in order, top row first. Empty when the library fails.
std::vector<uint8_t> referenceSnapshot(const std::string& cameras, int colourMode,
                                       const std::vector<std::pair<int, int>>& filters);

// Open file descriptors of this process.
int openDescriptorCount();

}  // namespace orvane::test
