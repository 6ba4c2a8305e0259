// Clip names, extensions and the telemetry naming rule.
#include "library/naming.hpp"

#include <gtest/gtest.h>

namespace camvault {
namespace {

TEST(Naming, ClipNameAndExtension) {
    EXPECT_EQ(clip_name("/Volumes/CARD/DCIM/FILE0001.MOV"), "FILE0001.MOV");
    EXPECT_EQ(clip_name("FILE0001.MOV"), "FILE0001.MOV");
    EXPECT_EQ(clip_name("/a/dir/"), "");
    EXPECT_EQ(clip_extension("FILE0001.MOV"), "MOV");
    EXPECT_EQ(clip_extension("trip.movie.mov"), "mov");
    EXPECT_EQ(clip_extension("README"), "README");
    EXPECT_EQ(clip_extension("name."), "");
    EXPECT_TRUE(is_clip_extension("MOV"));
    EXPECT_TRUE(is_clip_extension("mov"));
    EXPECT_FALSE(is_clip_extension("Mov"));
    EXPECT_FALSE(is_clip_extension("MP4"));
}

TEST(Naming, TelemetryRuleReplacesEveryMovInTheName) {
    EXPECT_EQ(telemetry_relative_path("FILE0001.MOV"), "/CAMVAULT/data/FILE0001.data");
    EXPECT_EQ(telemetry_relative_path("clip.mov"), "/CAMVAULT/data/clip.data");
    EXPECT_EQ(telemetry_relative_path("trip.movie.MOV"), "/CAMVAULT/data/trip.dataie.data");
    EXPECT_EQ(telemetry_relative_path("a.MOV.mov"), "/CAMVAULT/data/a.data.data");
    EXPECT_EQ(telemetry_script_path("/Users/u", "/Volumes/CARD/DCIM/FILE0002.MOV"),
              "/Users/u/CAMVAULT/data/FILE0002.data");
}

TEST(Naming, LibraryFolders) {
    EXPECT_EQ(library_data_dir("/Users/u"), "/Users/u/CAMVAULT/data");
    EXPECT_EQ(library_files_dir("/Users/u"), "/Users/u/CAMVAULT/files");
    EXPECT_EQ(settings_file_path("/Users/u"), "/Users/u/CAMVAULT/data/ini.txt");
}

}  // namespace
}  // namespace camvault
