// orvanesrc state changes: repeated start and stop without leaking sessions, descriptors or
// memory (the AddressSanitizer build runs this too), and pause and resume of a live stream.
#include <gtest/gtest.h>

#include "GstTestSupport.h"

namespace orvane::test {
namespace {

TEST(OrvaneSrcLifecycle, FiftyStateChangeCyclesLeaveNothingBehind) {
    TestPipeline p("virtual=30f0:pace=fast:scene=ramp", "video/x-bayer");
    // The first cycle loads what stays loaded (plugins, the library's worker pools).
    ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    ASSERT_TRUE(p.pull());
    ASSERT_EQ(p.setState(GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
    const int descriptors = openDescriptorCount();

    for (int cycle = 0; cycle < 50; ++cycle) {
        ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE) << "cycle " << cycle;
        ASSERT_TRUE(p.pull()) << "cycle " << cycle;
        ASSERT_NE(p.setState(GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE) << "cycle " << cycle;
        ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE) << "cycle " << cycle;
        // Every few cycles the resumed stream delivers again (every cycle would double the
        // run time; the pause test below looks at resuming closely).
        if (cycle % 10 == 0) {
            ASSERT_TRUE(p.pull()) << "cycle " << cycle << " after resuming";
        }
        if (cycle % 2 == 0) {
            ASSERT_EQ(p.setState(GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
        }
        ASSERT_EQ(p.setState(GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS) << "cycle " << cycle;
    }
    // READY -> NULL released the session: its message window, shared memory and device
    // handles are gone.
    EXPECT_EQ(openDescriptorCount(), descriptors);
}

TEST(OrvaneSrcLifecycle, PausedLiveSourceStopsAndResumesDelivering) {
    TestPipeline p("virtual=30f0:pace=fast", "video/x-raw,format=GRAY16_LE",
                   "max-buffers=1 drop=true");
    ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    SamplePtr first = p.pull();
    ASSERT_TRUE(first);
    ASSERT_NE(p.setState(GST_STATE_PAUSED), GST_STATE_CHANGE_FAILURE);
    g_usleep(100 * 1000);  // a frame being copied while we paused is still counted
    GstStructure* stats = nullptr;
    g_object_get(p.source(), "stats", &stats, nullptr);
    guint64 pausedAt = 0;
    gst_structure_get_uint64(stats, "delivered", &pausedAt);
    gst_structure_free(stats);
    // A live source produces nothing while paused.
    g_usleep(300 * 1000);
    g_object_get(p.source(), "stats", &stats, nullptr);
    guint64 stillPaused = 0;
    gst_structure_get_uint64(stats, "delivered", &stillPaused);
    gst_structure_free(stats);
    EXPECT_EQ(stillPaused, pausedAt);

    ASSERT_NE(p.setState(GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    SamplePtr later;
    for (int i = 0; i < 3; ++i) later = p.pull();
    ASSERT_TRUE(later);
    EXPECT_GT(GST_BUFFER_PTS(gst_sample_get_buffer(later.get())),
              GST_BUFFER_PTS(gst_sample_get_buffer(first.get())));
}

}  // namespace
}  // namespace orvane::test
