// Import lists, the import pass and the removal of clips from the lists.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <condition_variable>
#include <fstream>
#include <mutex>

#include "base/fs/atomic_file.hpp"
#include "base/fs/files.hpp"
#include "library/import_lists.hpp"
#include "library/import_pass.hpp"
#include "library/naming.hpp"
#include "library/settings.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault {
namespace {

void touch(const std::string& path, std::string_view content = "no telemetry here") {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

// Counts extractions and writes a recognisable script instead of reading the clip.
struct FakeExtractor {
    std::vector<std::string> clips;
    ClipExtractor function() {
        return [this](const std::string& clip, const std::string& script, const std::string& name,
                      const ExtractProgress& progress) {
            clips.push_back(clip);
            if (progress)
                progress(1, 2);
            std::ofstream(script) << "data['" << name << "']=new Array();";
            return ExtractResult{Extraction{}};
        };
    }
};

TEST(ImportPass, TwoClipsFromACardGiveBothListsInOrder) {
    testing::TempFolder home;
    prepare_library(home.path());
    const std::string card = home.path() + "/Volumes/CARD/DCIM/";
    touch(card + "FILE0001.MOV");
    touch(card + "FILE0002.MOV");
    FakeExtractor extractor;
    const auto result = run_import_pass(home.path(), {card + "FILE0001.MOV", card + "FILE0002.MOV"},
                                        {}, extractor.function());
    std::string data, movies;
    const auto last = apply_import(data, movies, result);
    const std::string d = home.path() + "/CAMVAULT/data/";
    EXPECT_EQ(data, d + "FILE0001.data," + d + "FILE0002.data,");
    EXPECT_EQ(movies, card + "FILE0001.MOV," + card + "FILE0002.MOV,");
    EXPECT_EQ(last, card + "FILE0002.MOV");
    EXPECT_EQ(extractor.clips.size(), 2u);
}

TEST(ImportPass, SkipsMissingPathsAndOtherExtensionsWithoutTrace) {
    testing::TempFolder home;
    prepare_library(home.path());
    touch(home.path() + "/a.Mov");
    touch(home.path() + "/b.mp4");
    touch(home.path() + "/noext");
    FakeExtractor extractor;
    const auto result = run_import_pass(home.path(),
                                        {home.path() + "/missing.MOV", home.path() + "/a.Mov",
                                         home.path() + "/b.mp4", home.path() + "/noext"},
                                        {}, extractor.function());
    EXPECT_TRUE(result.accepted.empty());
    EXPECT_TRUE(result.refused.empty());
    std::string data, movies;
    EXPECT_FALSE(apply_import(data, movies, result).has_value());
    EXPECT_TRUE(extractor.clips.empty());
}

TEST(ImportPass, ExistingScriptFileSparesTheReadingAndDuplicatesAreListedTwice) {
    testing::TempFolder home;
    prepare_library(home.path());
    touch(home.path() + "/card1/FILE0001.MOV");
    touch(home.path() + "/card2/FILE0001.MOV");
    FakeExtractor extractor;
    const auto result =
        run_import_pass(home.path(),
                        {home.path() + "/card1/FILE0001.MOV", home.path() + "/card2/FILE0001.MOV",
                         home.path() + "/card1/FILE0001.MOV"},
                        {}, extractor.function());
    EXPECT_EQ(result.accepted.size(), 3u);
    EXPECT_EQ(extractor.clips, std::vector<std::string>{home.path() + "/card1/FILE0001.MOV"});
}

TEST(ImportPass, OnlyRegularFilesAreTakenAndNothingElseIsOpened) {
    testing::TempFolder home;
    prepare_library(home.path());
    const std::string dir = home.path();
    std::filesystem::create_directories(dir + "/trip.MOV");
    ASSERT_EQ(::mkfifo((dir + "/pipe.MOV").c_str(), 0600), 0);  // opening it would block
    std::filesystem::create_symlink(dir + "/nowhere.MOV", dir + "/dangling.MOV");
    std::filesystem::create_symlink(dir + "/loop.MOV", dir + "/loop.MOV");
    touch(dir + "/real.MOV");
    std::filesystem::create_symlink(dir + "/real.MOV", dir + "/link.MOV");
    FakeExtractor extractor;
    const std::vector<std::string> odd = {dir + "/trip.MOV", dir + "/pipe.MOV",
                                          dir + "/dangling.MOV", dir + "/loop.MOV"};
    auto paths = odd;
    paths.push_back(dir + "/link.MOV");
    const auto result = run_import_pass(dir, paths, {}, extractor.function());
    ASSERT_EQ(result.refused.size(), odd.size());
    for (size_t i = 0; i < odd.size(); ++i) {
        EXPECT_EQ(result.refused[i].path, odd[i]);
        EXPECT_EQ(result.refused[i].reason.key, "refused_not_regular");
    }
    ASSERT_EQ(result.accepted.size(), 1u);
    EXPECT_EQ(result.accepted[0].source_path, dir + "/link.MOV");
    EXPECT_EQ(extractor.clips, std::vector<std::string>{dir + "/link.MOV"});
}

TEST(ImportPass, TheLongestClipNamesGetTheirTelemetry) {
    testing::TempFolder home;
    prepare_library(home.path());
    // 254 bytes: its script file name, x...x.data, has the 255 bytes a name may have.
    const std::string name = std::string(250, 'x') + ".MOV";
    touch(home.path() + "/" + name);
    const auto result = run_import_pass(
        home.path(), {home.path() + "/" + name}, {},
        [](const std::string& clip, const std::string& script, const std::string& clip_name,
           const ExtractProgress&) { return extract_clip_file(clip, script, clip_name); });
    ASSERT_EQ(result.accepted.size(), 1u);
    EXPECT_TRUE(result.problems.empty()) << result.problems[0].text;
    EXPECT_TRUE(path_exists(result.accepted[0].script_path));
}

TEST(ImportPass, PathsThatCannotLiveInTheListsAreRefusedWithAReason) {
    testing::TempFolder home;
    prepare_library(home.path());
    touch(home.path() + "/a,b.MOV");
    touch(home.path() + "/line\nbreak.MOV");
    touch(home.path() + "/Mai\xe4.MOV");
    touch(home.path() + "/fine.MOV");
    FakeExtractor extractor;
    const auto result = run_import_pass(home.path(),
                                        {home.path() + "/a,b.MOV", home.path() + "/line\nbreak.MOV",
                                         home.path() + "/Mai\xe4.MOV", home.path() + "/fine.MOV"},
                                        {}, extractor.function());
    ASSERT_EQ(result.refused.size(), 3u);
    EXPECT_NE(result.refused[0].reason.text.find("comma"), std::string::npos);
    EXPECT_NE(result.refused[1].reason.text.find("line break"), std::string::npos);
    EXPECT_NE(result.refused[2].reason.text.find("UTF-8"), std::string::npos);
    ASSERT_EQ(result.accepted.size(), 1u);
    EXPECT_EQ(result.accepted[0].source_path, home.path() + "/fine.MOV");
}

TEST(ImportPass, AHomeWithACommaRefusesRatherThanSplittingTheTelemetryList) {
    testing::TempFolder base;
    const std::string home = base.path() + "/a,b";
    prepare_library(home);
    touch(base.path() + "/A.MOV");
    FakeExtractor extractor;
    const auto result = run_import_pass(home, {base.path() + "/A.MOV"}, {}, extractor.function());
    EXPECT_TRUE(result.accepted.empty());
    EXPECT_EQ(result.refused.size(), 1u);
}

TEST(ImportQueue, RunsPassesInOrderAndHandsResultsOver) {
    testing::TempFolder home;
    prepare_library(home.path());
    touch(home.path() + "/A.MOV");
    touch(home.path() + "/B.MOV");
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::string> finished;
    FakeExtractor extractor;
    {
        // Runs handed-over work at once on the worker: enough to see the order.
        ImportQueue queue(
            home.path(), [](std::function<void()> work) { work(); }, extractor.function());
        for (const char* name : {"/A.MOV", "/B.MOV"}) {
            queue.enqueue({home.path() + name},
                          {{}, [&](ImportPassResult result) {
                               std::lock_guard lock(mutex);
                               finished.push_back(result.accepted.at(0).source_path);
                               done.notify_all();
                           }});
        }
        std::unique_lock lock(mutex);
        ASSERT_TRUE(
            done.wait_for(lock, std::chrono::seconds(10), [&] { return finished.size() == 2; }));
    }
    EXPECT_EQ(finished, (std::vector<std::string>{home.path() + "/A.MOV", home.path() + "/B.MOV"}));
}

TEST(Removal, RemovesWholeEntriesOnlyAndKeepsTheListsPaired) {
    std::string data = "/h/CAMVAULT/data/A.data,/h/CAMVAULT/data/A.data,";
    std::string movies = "/y/x/A.MOV,/x/A.MOV,";
    EXPECT_EQ(remove_clip(data, movies, "/x/A.MOV"), 1u);
    EXPECT_EQ(movies, "/y/x/A.MOV,");
    EXPECT_EQ(data, "/h/CAMVAULT/data/A.data,");
}

TEST(Removal, ClipsSharingANameKeepTheirOwnTelemetryEntry) {
    std::string data = "/h/d/FILE0001.data,/h/d/FILE0002.data,/h/d/FILE0001.data,";
    std::string movies = "/card1/FILE0001.MOV,/card1/FILE0002.MOV,/card2/FILE0001.MOV,";
    remove_clip(data, movies, "/card1/FILE0001.MOV");
    EXPECT_EQ(movies, "/card1/FILE0002.MOV,/card2/FILE0001.MOV,");
    EXPECT_EQ(data, "/h/d/FILE0002.data,/h/d/FILE0001.data,");
}

}  // namespace
}  // namespace camvault
