// Library folders, the default settings file and save_set.
#include "library/settings.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "library/naming.hpp"
#include "tests/library/test_home.hpp"

namespace camvault {
namespace {

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Settings, FirstListingCreatesFoldersAndDefaultSettings) {
    TemporaryHome home;
    EXPECT_TRUE(prepare_library(home.path()).empty());
    EXPECT_TRUE(path_exists(library_data_dir(home.path())));
    EXPECT_TRUE(path_exists(library_files_dir(home.path())));
    EXPECT_EQ(read_all(settings_file_path(home.path())), "km,English");
}

TEST(Settings, ExistingSettingsAreNeverOverwrittenEvenWhenEmpty) {
    TemporaryHome home;
    prepare_library(home.path());
    ASSERT_TRUE(save_settings(home.path(), "http://save_set/").ok);
    prepare_library(home.path());
    EXPECT_EQ(read_all(settings_file_path(home.path())), "");
}

TEST(Settings, SaveSetWritesTheTextAsSent) {
    TemporaryHome home;
    prepare_library(home.path());
    ASSERT_TRUE(save_settings(home.path(), "http://save_set/mi,Fran%C3%A7ais").ok);
    EXPECT_EQ(read_all(settings_file_path(home.path())), "mi,Fran%C3%A7ais");
    ASSERT_TRUE(save_settings(home.path(), "http://save_set/km,English").ok);
    EXPECT_EQ(read_all(settings_file_path(home.path())), "km,English");
}

TEST(Settings, UnwritableHomeIsReportedNotFatal) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes through permissions";
    }
    TemporaryHome home;
    ASSERT_EQ(chmod(home.path().c_str(), 0500), 0);
    const auto problems = prepare_library(home.path());
    ASSERT_FALSE(problems.empty());
    EXPECT_NE(problems.front().find("cannot create folder"), std::string::npos);
    EXPECT_FALSE(save_settings(home.path(), "http://save_set/km,English").ok);
}

TEST(Settings, FileInTheWayOfTheLibraryIsReported) {
    TemporaryHome home;
    ASSERT_TRUE(write_file_atomically(home.path() + "/CAMVAULT", "not a folder").ok);
    const auto problems = prepare_library(home.path());
    EXPECT_EQ(problems.size(), 3u);  // both folders and the settings file
}

TEST(Settings, TemporaryFilesOfEndedProcessesAreSweptOthersKept) {
    TemporaryHome home;
    prepare_library(home.path());
    const std::string data = library_data_dir(home.path());
    const std::string abandoned = data + "/.A.data.tmp-4194303-0";  // no such process
    const std::string in_use = data + "/.B.data.tmp-" + std::to_string(getpid()) + "-0";
    const std::string clip_script = data + "/.hidden.data";
    for (const auto& path : {abandoned, in_use, clip_script}) {
        ASSERT_TRUE(write_file_atomically(path, "x").ok);
    }
    prepare_library(home.path());
    EXPECT_FALSE(path_exists(abandoned));
    EXPECT_TRUE(path_exists(in_use));
    EXPECT_TRUE(path_exists(clip_script));
}

TEST(AtomicWrite, ReplacesWholeAndLeavesNoTemporaryFiles) {
    TemporaryHome home;
    const std::string path = home.path() + "/f.txt";
    ASSERT_TRUE(write_file_atomically(path, "first version, longer").ok);
    ASSERT_TRUE(write_file_atomically(path, "second").ok);
    EXPECT_EQ(read_all(path), "second");
    int entries = 0;
    for (auto& entry : std::filesystem::directory_iterator(home.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
    EXPECT_FALSE(write_file_atomically(home.path() + "/missing/f.txt", "x").ok);
}

}  // namespace
}  // namespace camvault
