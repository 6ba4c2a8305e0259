// Command-line options and finding the page.
#include "app/launch.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
    EXPECT_TRUE(parse_arguments({"--version"}).show_version);

    // The desktop entry's %F: paths before any --import are opened paths.
    parsed = parse_arguments({"/c/A.MOV", "/c/DCIM", "--import", "/d/B.MOV"});
    EXPECT_TRUE(parsed.error.empty());
    EXPECT_EQ(parsed.options.open_paths, (std::vector<std::string>{"/c/A.MOV", "/c/DCIM"}));
    EXPECT_EQ(parsed.options.import_paths, std::vector<std::string>{"/d/B.MOV"});
}

TEST(Launch, OnlyPlainRunsShareOneInstance) {
    LaunchOptions options;
    EXPECT_TRUE(single_instance(options, nullptr));
    EXPECT_TRUE(single_instance(options, "0"));
    EXPECT_FALSE(single_instance(options, "1"));
    options.automation = true;
    EXPECT_FALSE(single_instance(options, nullptr));
}

TEST(Launch, PageIsCompositedOnlyWithARenderNodeUnlessToldOtherwise) {
    testing::TempFolder dri;
    EXPECT_FALSE(draw_page_with_gpu(nullptr, dri.path() + "/missing"));
    EXPECT_FALSE(draw_page_with_gpu(nullptr, dri.path()));
    // A card node alone (a display without a render device) draws nothing on a GPU.
    std::ofstream(dri.path() + "/card0");
    EXPECT_FALSE(draw_page_with_gpu(nullptr, dri.path()));
    std::ofstream(dri.path() + "/renderD128");
    EXPECT_TRUE(draw_page_with_gpu(nullptr, dri.path()));
    EXPECT_TRUE(draw_page_with_gpu("", dri.path()));
    EXPECT_TRUE(draw_page_with_gpu("yes", dri.path()));
    EXPECT_FALSE(draw_page_with_gpu("0", dri.path()));
    EXPECT_TRUE(draw_page_with_gpu("1", dri.path() + "/missing"));
}

TEST(Launch, OpenedFoldersBecomeTheClipsDirectlyInsideThem) {
    testing::TempFolder card;
    namespace fs = std::filesystem;
    fs::create_directories(card / "DCIM/nested");
    for (const char* name :
         {"DCIM/B.MOV", "DCIM/a.mov", "DCIM/c.Mov", "DCIM/notes.txt", "DCIM/nested/D.MOV", "E.MOV"})
        testing::write_text(card / name, "x");
    fs::create_directory(card / "DCIM/F.MOV");  // a folder named like a clip is no clip

    const auto paths =
        expand_opened_paths({card / "E.MOV", card / "DCIM/", card / "missing.MOV", card / "DCIM"});
    EXPECT_EQ(paths, (std::vector<std::string>{card / "E.MOV", card / "DCIM/B.MOV",
                                               card / "DCIM/a.mov", card / "missing.MOV",
                                               card / "DCIM/B.MOV", card / "DCIM/a.mov"}));
}

TEST(Launch, HomeLosesTrailingSlashes) {
    EXPECT_EQ(home_without_trailing_slash("/home/u//"), "/home/u");
    EXPECT_EQ(home_without_trailing_slash("/"), "/");
}

// The libraries the page loads, as the build copies them beside it.
void with_libraries(const std::string& www) {
    for (const char* library : kPageLibraries) {
        std::filesystem::create_directories(
            std::filesystem::path(www + "/" + library).parent_path());
        testing::write_text(www + "/" + library, "//");
    }
}

TEST(Launch, PageIsFoundBesideTheBinaryOfAnyPrefixOnly) {
    testing::TempFolder root;
    namespace fs = std::filesystem;
    fs::create_directories(root / "opt/cv/bin");
    EXPECT_EQ(find_page(root / "opt/cv/bin"), "");

    // Installed: <prefix>/share/camvault/www, canonical (WebKit reports no "..").
    fs::create_directories(root / "opt/cv/share/camvault/www");
    testing::write_text(root / "opt/cv/share/camvault/www/index.html", "<html>");
    // A page folder without the libraries the build bundles (a source tree) is none.
    EXPECT_EQ(find_page(root / "opt/cv/bin"), "");
    with_libraries(root / "opt/cv/share/camvault/www");
    const std::string canonical = fs::canonical(root.path()).string();
    EXPECT_EQ(find_page(root / "opt/cv/bin"), canonical + "/opt/cv/share/camvault/www/index.html");

    // The build tree: <build>/www beside <build>/app.
    fs::create_directories(root / "build/app");
    fs::create_directories(root / "build/www");
    testing::write_text(root / "build/www/index.html", "<html>");
    with_libraries(root / "build/www");
    EXPECT_EQ(find_page(root / "build/app"), canonical + "/build/www/index.html");
}

}  // namespace
}  // namespace camvault
