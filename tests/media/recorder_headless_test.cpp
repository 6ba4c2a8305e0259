// The recorder's answers where there is nothing to record: no X display,
// stop and toggle while idle.
#include <gtest/gtest.h>

#include <cstdlib>

#include "media/media_tools.hpp"
#include "media_test_support.hpp"

namespace camvault::media {
namespace {

using namespace testing;

TEST(RecorderWithoutDisplay, StartExplainsAndLeavesNoFile) {
    TempHome home;
    FakePage page;
    LogCapture log;
    unsetenv("DISPLAY");
    MediaTools tools(home.files_dir(), page.sink(), nullptr, nullptr, nullptr);
    EXPECT_FALSE(tools.start());
    ASSERT_EQ(page.calls().size(), 1u);
    EXPECT_EQ(page.calls()[0].rfind("notice('", 0), 0u) << page.calls()[0];
    EXPECT_TRUE(home.files().empty());
    // Nothing runs, so stopping and pausing change nothing and say nothing.
    EXPECT_TRUE(tools.stop());
    EXPECT_FALSE(tools.toggle());
    EXPECT_EQ(page.calls().size(), 1u);
}

}  // namespace
}  // namespace camvault::media
