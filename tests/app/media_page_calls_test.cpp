// What the page hears of each media event.
#include "app/media_page_calls.hpp"

#include <gtest/gtest.h>

namespace camvault {
namespace {

using Calls = std::vector<std::string>;

TEST(MediaPageCalls, SnapshotsAnswerWithTheirResultThenGetAct) {
    EXPECT_EQ(page_calls_for(media::SnapshotFinished{std::string("/f/a.png")}),
              (Calls{"snapshot_result(true,'/f/a.png')", "get_act()"}));
    EXPECT_EQ(page_calls_for(media::SnapshotFinished{fail("disk's full")}),
              (Calls{"snapshot_result(false,'disk\\'s full')", "get_act()"}));
}

TEST(MediaPageCalls, ExportEndsWithFullProgressOrAFailureNotice) {
    EXPECT_EQ(page_calls_for(media::ExportProgress{0.5}), Calls{"export_progress(0.500)"});
    EXPECT_EQ(page_calls_for(media::ExportFinished{}),
              (Calls{"export_progress(1.000)", "exp('Export Success');"}));
    EXPECT_EQ(
        page_calls_for(
            media::ExportFinished{fail("export_failed", {{"error", "x"}}, "The export failed: x")}),
        (Calls{"exp('Export Failed');",
               "notice('The export failed: x','export_failed','{\\\"error\\\":\\\"x\\\"}')"}));
}

TEST(MediaPageCalls, RecorderStatesAndNotices) {
    using media::RecorderState;
    EXPECT_EQ(page_calls_for(media::RecordingStateChanged{RecorderState::Recording}),
              Calls{"recording_state('recording')"});
    EXPECT_EQ(page_calls_for(media::RecordingStateChanged{RecorderState::Paused}),
              Calls{"recording_state('paused')"});
    EXPECT_EQ(page_calls_for(media::RecordingStateChanged{RecorderState::Idle}),
              Calls{"recording_state('stopped')"});
    // The page hears "stopped" once the movie is complete, not while it is.
    EXPECT_EQ(page_calls_for(media::RecordingStateChanged{RecorderState::Finishing}), Calls{});
    EXPECT_EQ(page_calls_for(media::Notice{fail("no clicks")}), Calls{"notice('no clicks')"});
    EXPECT_EQ(page_calls_for(media::RecordingSaved{"/f/Recording-1.mov"}),
              Calls{"notice('The recording is saved as /f/Recording-1.mov.','recording_saved',"
                    "'{\\\"path\\\":\\\"/f/Recording-1.mov\\\"}')"});
}

}  // namespace
}  // namespace camvault
