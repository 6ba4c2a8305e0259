// Events follow the thresholds set now: a summary made with others is made
// again from the clip's script file, kept in the index, and never shown stale.
#include <gtest/gtest.h>

#include <filesystem>

#include "drive_series.hpp"
#include "library/import_pass.hpp"
#include "library/index.hpp"
#include "library/listing.hpp"
#include "library/naming.hpp"
#include "library/settings.hpp"
#include "library/summary_store.hpp"
#include "telemetry/civil_date.hpp"
#include "telemetry/script_text.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault {
namespace {

using testing::Drive;
using testing::Reading;
using testing::write_text;

// "2026/06/01 09:00:00.1": the record key of a time as recorded.
std::string key_of(int64_t ms) {
    const CivilDate date = civil_from_days(ms / 86'400'000);
    const int64_t rest = ms % 86'400'000;
    char key[32];
    std::snprintf(
        key, sizeof key, "%04lld/%02u/%02u %02lld:%02lld:%02lld.%lld",
        static_cast<long long>(date.year), date.month, date.day,
        static_cast<long long>(rest / 3'600'000), static_cast<long long>(rest / 60'000 % 60),
        static_cast<long long>(rest / 1000 % 60), static_cast<long long>(rest % 1000 / 100));
    return key;
}

std::string script_of(const std::string& name, const std::vector<TelemetryPoint>& points) {
    std::string text = script_header(name);
    for (const auto& p : points) {
        LineValues values;
        values.speed_kmh = p.speed_kmh;
        values.degrees = p.heading;
        values.lat = values.label_lat = p.lat;
        values.lon = values.label_lon = p.lon;
        values.x = p.gx;
        values.y = p.gy;
        values.z = p.gz;
        append_line(text, name, key_of(p.time_ms), values);
    }
    return text;
}

// Brakes at -0.45 g for two seconds: harsh with the default 0.40 g, not with 0.5 g.
std::vector<TelemetryPoint> braking_drive() {
    Drive drive;
    drive.cruise(30, 72).run(2, [](double) { return Reading{60, 0, -0.45}; }).cruise(30, 50);
    return drive.points;
}

class SummaryRefresh : public ::testing::Test {
  protected:
    void SetUp() override {
        prepare_library(home_.path());
        auto opened = open_library_index(home_.path());
        ASSERT_TRUE(opened) << opened.error();
        index_ = std::move(*opened);
        movie_ = home_.path() + "/FILE0001.MOV";
        write_text(movie_, "movie");
        const auto text = script_of("FILE0001.MOV", braking_drive());
        const auto result = run_import_pass(
            home_.path(), {movie_}, {},
            [text](const std::string&, const std::string& script, const std::string&,
                   const ExtractProgress&) {
                write_text(script, text);
                return ExtractResult{Extraction{}};
            },
            ImportLibrary{index_.get(), [](const IndexedClip& clip, const Extraction*) {
                              return encode_facts(
                                  summarize_script(clip.script_path, 0, false, EventThresholds{}));
                          }});
        ASSERT_EQ(result.accepted.size(), 1u);
        script_ = result.accepted[0].script_path;
    }
    LibraryClip listed(const EventThresholds& thresholds) {
        auto clips = listed_clips(index_.get(), {movie_}, {script_}, thresholds);
        EXPECT_EQ(clips.size(), 1u);
        return clips.front();
    }
    StoredFacts stored() { return decode_facts((*index_->by_path(movie_))->summary_json); }

    testing::TempFolder home_;
    std::unique_ptr<LibraryIndex> index_;
    std::string movie_;
    std::string script_;
};

EventThresholds firmer_braking() {
    EventThresholds t;
    t.braking_g = 0.5;
    return t;
}

TEST_F(SummaryRefresh, TheImportKeepsTheThresholdsItsEventsWereFoundWith) {
    const StoredFacts facts = stored();
    ASSERT_TRUE(facts.summary);
    EXPECT_EQ(facts.thresholds, EventThresholds{});
    ASSERT_EQ(facts.summary->events.size(), 1u);
    EXPECT_EQ(facts.summary->events[0].kind, EventKind::harsh_braking);
}

TEST_F(SummaryRefresh, OtherThresholdsMakeTheEventsAgainAndTheIndexKeepsThem) {
    const LibraryClip firmer = listed(firmer_braking());
    ASSERT_TRUE(firmer.summary);
    EXPECT_TRUE(firmer.summary->events.empty());
    EXPECT_EQ(firmer.summary->records, braking_drive().size());
    EXPECT_EQ(stored().thresholds, firmer_braking());
    EXPECT_EQ(stored().summary, firmer.summary);

    // Back to the defaults: the braking is an event again.
    const LibraryClip back = listed(EventThresholds{});
    ASSERT_TRUE(back.summary);
    ASSERT_EQ(back.summary->events.size(), 1u);
    EXPECT_EQ(stored().thresholds, EventThresholds{});
}

TEST_F(SummaryRefresh, TheSameThresholdsReadNoScriptAgain) {
    // Without its script a current summary is still listed as stored.
    std::filesystem::remove(script_);
    const LibraryClip same = listed(EventThresholds{});
    ASSERT_TRUE(same.summary);
    EXPECT_EQ(same.summary->events.size(), 1u);
}

TEST_F(SummaryRefresh, StaleEventsAreNeverShownWhenTheScriptIsGone) {
    const std::string row = (*index_->by_path(movie_))->summary_json;
    std::filesystem::remove(script_);
    EXPECT_FALSE(listed(firmer_braking()).summary);
    // The index keeps what it had, to be made again once the script is back.
    EXPECT_EQ((*index_->by_path(movie_))->summary_json, row);
}

TEST(SummaryStoreThresholds, RowsWithoutThresholdsWereMadeWithTheDefaults) {
    Drive drive;
    drive.cruise(10, 50);
    StoredFacts facts;
    facts.summary = summarize(drive.points, EventThresholds{}, true);
    std::string text = encode_facts(facts);
    const auto at = text.find(",\"thresholds\"");
    ASSERT_NE(at, std::string::npos);
    text.erase(at, text.find('}', at) + 1 - at);  // as an earlier CamVault wrote it
    EXPECT_EQ(text.find("thresholds"), std::string::npos);
    const StoredFacts old = decode_facts(text);
    ASSERT_TRUE(old.summary);
    EXPECT_EQ(old.thresholds, EventThresholds{});

    facts.thresholds = firmer_braking();
    EXPECT_EQ(decode_facts(encode_facts(facts)), facts);
}

TEST(SummaryStoreThresholds, ResummarizeKeepsLayoutCutAndAxes) {
    testing::TempFolder folder;
    const std::string script = folder / "A.data";
    write_text(script, script_of("A.MOV", braking_drive()));
    StoredFacts facts = summarize_script(script, 0, true, EventThresholds{});
    facts.layout = "novatek";
    facts.summary->axes_known = false;
    const StoredFacts fresh = resummarize(facts, script, firmer_braking());
    EXPECT_EQ(fresh.layout, "novatek");
    EXPECT_TRUE(fresh.cut);
    EXPECT_EQ(fresh.thresholds, firmer_braking());
    ASSERT_TRUE(fresh.summary);
    EXPECT_FALSE(fresh.summary->axes_known);
    EXPECT_FALSE(resummarize(facts, folder / "missing.data", firmer_braking()).summary);
}

}  // namespace
}  // namespace camvault
