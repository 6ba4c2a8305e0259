// Library folders, the default settings file and save_set.
#include "library/settings.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "base/fs/atomic_file.hpp"
#include "base/fs/files.hpp"
#include "library/naming.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault {
namespace {

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Settings, FirstListingCreatesFoldersAndDefaultSettings) {
    testing::TempFolder home;
    EXPECT_TRUE(prepare_library(home.path()).empty());
    EXPECT_TRUE(path_exists(library_data_dir(home.path())));
    EXPECT_TRUE(path_exists(library_files_dir(home.path())));
    EXPECT_EQ(read_all(settings_file_path(home.path())), "km,English");
}

TEST(Settings, ExistingSettingsAreNeverOverwrittenEvenWhenEmpty) {
    testing::TempFolder home;
    prepare_library(home.path());
    ASSERT_TRUE(save_settings(home.path(), ""));
    prepare_library(home.path());
    EXPECT_EQ(read_all(settings_file_path(home.path())), "");
}

TEST(Settings, SaveSetWritesTheTextAsSent) {
    testing::TempFolder home;
    prepare_library(home.path());
    ASSERT_TRUE(save_settings(home.path(), "mi,Fran%C3%A7ais"));
    EXPECT_EQ(read_all(settings_file_path(home.path())), "mi,Fran%C3%A7ais");
    ASSERT_TRUE(save_settings(home.path(), "km,English"));
    EXPECT_EQ(read_all(settings_file_path(home.path())), "km,English");
}

TEST(Settings, MoreThanAKilobyteIsRefusedAndTheFormerSettingsStay) {
    testing::TempFolder home;
    prepare_library(home.path());
    ASSERT_TRUE(save_settings(home.path(), "mi,Deutsch"));
    EXPECT_TRUE(save_settings(home.path(), std::string(1024, 'x')));
    ASSERT_TRUE(save_settings(home.path(), "mi,Deutsch"));
    const auto refused = save_settings(home.path(), std::string(3 << 20, 'x'));
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.failure().key, "settings_too_large");
    EXPECT_EQ(refused.error(),
              "Settings not saved: 3145728 bytes is more than the 1024 bytes allowed.");
    EXPECT_EQ(read_all(settings_file_path(home.path())), "mi,Deutsch");
}

TEST(Settings, FileInTheWayOfTheLibraryIsReported) {
    testing::TempFolder home;
    ASSERT_TRUE(write_file_atomically(home.path() + "/CAMVAULT", "not a folder"));
    const auto problems = prepare_library(home.path());
    EXPECT_EQ(problems.size(), 3u);  // both folders and the settings file
}

TEST(Settings, BothLibraryFoldersAreSweptOfAbandonedTemporaries) {
    testing::TempFolder home;
    prepare_library(home.path());
    const std::string abandoned_script =
        library_data_dir(home.path()) + "/.camvault-4194303-0.part";  // no such process
    const std::string abandoned_export =
        library_files_dir(home.path()) + "/.camvault-4194303-1.part";
    const std::string in_use =
        library_files_dir(home.path()) + "/.camvault-" + std::to_string(getpid()) + "-0.part";
    for (const auto& path : {abandoned_script, abandoned_export, in_use})
        testing::write_text(path, "x");
    prepare_library(home.path());
    EXPECT_FALSE(path_exists(abandoned_script));
    EXPECT_FALSE(path_exists(abandoned_export));
    EXPECT_TRUE(path_exists(in_use));
}

}  // namespace
}  // namespace camvault

namespace camvault {
namespace {

TEST(SettingsUnit, MilesOnlyWhenTheFirstFieldSaysSo) {
    EXPECT_TRUE(settings_in_miles("miles,English"));
    EXPECT_TRUE(settings_in_miles("mi"));
    EXPECT_FALSE(settings_in_miles("km,German"));
    EXPECT_FALSE(settings_in_miles(""));
    EXPECT_FALSE(settings_in_miles("English,miles"));
}

}  // namespace
}  // namespace camvault
