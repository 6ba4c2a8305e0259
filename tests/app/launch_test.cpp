// Command-line options and finding the page.
#include "app/launch.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_folder.hpp"

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

TEST(Launch, OnlyAPageFolderWithItsLibrariesIsTaken) {
    testing::TempFolder root;
    const std::string www = root / "build/www";
    std::filesystem::create_directories(www);
    std::filesystem::create_directories(root / "build/app");
    testing::write_text(www + "/index.html", "<html>");
    // The source folder has the page but not the libraries the build bundles.
    EXPECT_EQ(find_page_in(www), "");
    EXPECT_EQ(find_page(root / "build/app", root / "nowhere"), "");
    for (const char* library : kPageLibraries) {
        std::filesystem::create_directories(
            std::filesystem::path(www + "/" + library).parent_path());
        testing::write_text(www + "/" + library, "//");
    }
    // Found from the binary's folder, canonical (WebKit reports it without "..").
    EXPECT_EQ(find_page(root / "build/app", root / "nowhere"),
              std::filesystem::canonical(www + "/index.html").string());
    EXPECT_EQ(find_page("/nonexistent/bin", "/nonexistent/src"), "");
}

}  // namespace
}  // namespace camvault
