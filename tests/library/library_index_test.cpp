// The library index: clips of the same name on two cards keep their own
// telemetry, a listed path is never listed twice, a known clip is not read
// again, earlier script files are adopted only by their own clip, and every
// change is all or nothing.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "base/fs/files.hpp"
#include "library/import_pass.hpp"
#include "library/index.hpp"
#include "library/listing.hpp"
#include "library/naming.hpp"
#include "library/settings.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault {
namespace {

using testing::read_text;
using testing::write_text;

// Writes a script whose text follows the clip's bytes, as a real extraction
// does, and counts the clips it read.
struct ContentExtractor {
    std::vector<std::string> read;
    ClipExtractor function() {
        return [this](const std::string& clip, const std::string& script, const std::string& key,
                      const ExtractProgress&) {
            read.push_back(clip);
            write_text(script, "data['" + key + "']=new Array();//" + read_text(clip));
            return ExtractResult{Extraction{}};
        };
    }
};

class LibraryIndexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        prepare_library(home_.path());
        auto opened = open_library_index(home_.path());
        ASSERT_TRUE(opened) << opened.error();
        index_ = std::move(*opened);
    }
    std::string clip(const std::string& card, const std::string& name, const std::string& bytes) {
        const std::string path = home_.path() + "/" + card + "/" + name;
        std::filesystem::create_directories(home_.path() + "/" + card);
        write_text(path, bytes);
        return path;
    }
    ImportPassResult import(const std::vector<std::string>& paths) {
        return run_import_pass(
            home_.path(), paths, {}, extractor_.function(),
            ImportLibrary{index_.get(), [](const IndexedClip& c, const Extraction*) {
                              return "{\"name\":\"" + c.name + "\"}";
                          }});
    }
    std::string data_dir() const { return library_data_dir(home_.path()); }

    testing::TempFolder home_;
    std::unique_ptr<LibraryIndex> index_;
    ContentExtractor extractor_;
};

TEST_F(LibraryIndexTest, SameNamesInOnePassGetTheirOwnFilesToo) {
    const auto a = clip("A", "FILE0001.MOV", "London");
    const auto b = clip("B", "FILE0001.MOV", "Munich");
    const auto result = import({a, b});
    ASSERT_EQ(result.accepted.size(), 2u);
    EXPECT_EQ(result.accepted[1].script_path, data_dir() + "/FILE0001~2.data");
    EXPECT_EQ(read_text(data_dir() + "/FILE0001.data"),
              "data['FILE0001.MOV']=new Array();//London");
}

TEST_F(LibraryIndexTest, SameNamesOnTwoCardsKeepTheirOwnTelemetry) {
    const auto a1 = clip("A", "FILE0001.MOV", "London, 14 May");
    const auto b1 = clip("B", "FILE0001.MOV", "Munich, 2 May");
    const auto b1_lower = clip("B", "FILE0001.mov", "Munich, lower case");
    ASSERT_EQ(import({a1}).accepted.size(), 1u);
    const auto second = import({b1, b1_lower});
    ASSERT_EQ(second.accepted.size(), 2u);
    EXPECT_EQ(second.accepted[0].script_path, data_dir() + "/FILE0001~2.data");
    EXPECT_EQ(second.accepted[1].script_path, data_dir() + "/FILE0001~3.data");
    EXPECT_EQ(read_text(data_dir() + "/FILE0001.data"),
              "data['FILE0001.MOV']=new Array();//London, 14 May");
    EXPECT_EQ(read_text(data_dir() + "/FILE0001~2.data"),
              "data['FILE0001.MOV~2']=new Array();//Munich, 2 May");
    const auto row = index_->by_path(b1_lower);
    ASSERT_TRUE(row && *row);
    EXPECT_EQ((*row)->script_key, "FILE0001.mov~3");
    EXPECT_EQ((*row)->summary_json, "{\"name\":\"FILE0001.mov\"}");
}

TEST_F(LibraryIndexTest, AListedPathIsRefusedAndAKnownClipIsNotReadAgain) {
    const auto a1 = clip("A", "FILE0001.MOV", "London");
    ASSERT_EQ(import({a1, a1}).refused.size(), 1u);  // twice in one pass
    const auto again = import({a1});
    ASSERT_EQ(again.refused.size(), 1u);
    EXPECT_EQ(again.refused[0].reason.key, "refused_already_listed");
    EXPECT_TRUE(again.accepted.empty());

    // The card copied to a folder: the same clip, recognised, not read.
    const auto copy = clip("Backup", "FILE0001.MOV", "London");
    extractor_.read.clear();
    const auto copied = import({copy});
    ASSERT_EQ(copied.accepted.size(), 1u);
    EXPECT_EQ(copied.accepted[0].script_path, data_dir() + "/FILE0001.data");
    EXPECT_TRUE(extractor_.read.empty());
    // A clip of another name is another clip, even with the same bytes.
    const auto renamed = clip("Backup", "TRIP.MOV", "London");
    EXPECT_EQ(import({renamed}).accepted[0].script_path, data_dir() + "/TRIP.data");
    EXPECT_EQ(extractor_.read, std::vector<std::string>{renamed});
}

TEST_F(LibraryIndexTest, AnEarlierScriptFileIsAdoptedOnlyByItsOwnClip) {
    // Written by an earlier CamVault, without an index row.
    write_text(data_dir() + "/FILE0001.data", "data['FILE0001.MOV']=new Array();//London");
    const auto own = clip("A", "FILE0001.MOV", "London");
    EXPECT_EQ(import({own}).accepted[0].script_path, data_dir() + "/FILE0001.data");
    write_text(data_dir() + "/FILE0002.data", "data['FILE0002.MOV']=new Array();//London");
    const auto other = clip("B", "FILE0002.MOV", "Munich");
    EXPECT_EQ(import({other}).accepted[0].script_path, data_dir() + "/FILE0002~2.data");
    EXPECT_EQ(read_text(data_dir() + "/FILE0002.data"),
              "data['FILE0002.MOV']=new Array();//London");
    // Nothing left behind by the comparison.
    for (const auto& name : testing::names_in(data_dir()))
        EXPECT_EQ(name.find(".part"), std::string::npos) << name;
}

TEST_F(LibraryIndexTest, TheListingIsRememberedInOrderAndRemovalForgets) {
    const auto a = clip("A", "FILE0001.MOV", "1"), b = clip("A", "FILE0002.MOV", "2"),
               c = clip("A", "FILE0003.MOV", "3");
    (void)import({b, a});
    (void)import({c});
    ASSERT_TRUE(index_->remove({a}));
    index_.reset();  // as at a restart
    auto reopened = open_library_index(home_.path());
    ASSERT_TRUE(reopened);
    const auto listed = (*reopened)->listed();
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->size(), 2u);
    EXPECT_EQ((*listed)[0].source_path, b);
    EXPECT_EQ((*listed)[1].source_path, c);
    EXPECT_EQ(*(*reopened)->integrity_check(), "ok");
    EXPECT_TRUE(path_exists(a));  // clips are never deleted
}

TEST_F(LibraryIndexTest, AChangeThatFailsHalfwayLeavesNothing) {
    IndexedClip first{"/c/A.MOV", "A.MOV", 1, 0, "1-a-a", "/d/A.data", "A.MOV", ""};
    IndexedClip dup = first;  // the same path twice: the second insert fails
    EXPECT_FALSE(index_->add({first, dup}));
    EXPECT_TRUE(index_->listed()->empty());
}

TEST_F(LibraryIndexTest, AnIndexFromANewerCamVaultIsNotTouched) {
    const std::string path = home_.path() + "/newer.sqlite3";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version=99", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const auto opened = LibraryIndex::open(path);
    ASSERT_FALSE(opened);
    EXPECT_NE(opened.error().find("newer CamVault"), std::string::npos);
}

TEST_F(LibraryIndexTest, ListingTellsThePageKeysPresenceAndSummaries) {
    const auto a = clip("A", "FILE0001.MOV", "1");
    const auto b = clip("B", "FILE0001.MOV", "2");
    const auto result = import({a, b});
    std::filesystem::remove(a);  // the card taken out
    const auto listed = listed_clips(
        index_.get(), {a, b}, {result.accepted[0].script_path, result.accepted[1].script_path}, {});
    EXPECT_FALSE(listed[0].present);
    EXPECT_TRUE(listed[1].present);
    const auto doc = nlohmann::json::parse(listing_json(listed));
    ASSERT_EQ(doc["clips"].size(), 2u);
    EXPECT_EQ(doc["clips"][0]["key"], "FILE0001.MOV");
    EXPECT_EQ(doc["clips"][0]["present"], false);
    EXPECT_EQ(doc["clips"][0]["telemetry"], data_dir() + "/FILE0001.data");
    EXPECT_EQ(doc["clips"][1]["key"], "FILE0001.MOV~2");
    EXPECT_EQ(doc["clips"][1]["telemetry"], data_dir() + "/FILE0001~2.data");
    EXPECT_EQ(doc["trips"].size(), 2u);
}

}  // namespace
}  // namespace camvault
