// Command-line options and finding the page.
#include "app/launch.hpp"

#include <gtest/gtest.h>

namespace camvault {
namespace {

TEST(Launch, Arguments) {
    auto parsed = parse_arguments({"--automation", "--import", "/a b/A.MOV", "-x.MOV"});
    EXPECT_TRUE(parsed.error.empty());
    EXPECT_TRUE(parsed.options.automation);
    EXPECT_EQ(parsed.options.import_paths, (std::vector<std::string>{"/a b/A.MOV", "-x.MOV"}));
    EXPECT_FALSE(parse_arguments({"--bogus"}).error.empty());
    EXPECT_TRUE(parse_arguments({"--help"}).show_help);
}

TEST(Launch, HomeLosesTrailingSlashes) {
    EXPECT_EQ(home_without_trailing_slash("/home/u//"), "/home/u");
    EXPECT_EQ(home_without_trailing_slash("/"), "/");
}

TEST(Launch, PageIsFoundCanonicalOrNotAtAll) {
    EXPECT_EQ(find_page("/nonexistent/bin", "/nonexistent/src"), "");
    const std::string page = find_page("/nonexistent/bin", CAMVAULT_SOURCE_DIR);
    if (!page.empty()) {
        EXPECT_EQ(page.find(".."), std::string::npos);
    }
}

}  // namespace
}  // namespace camvault
