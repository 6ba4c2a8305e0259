// The page's JSON of the library read back with a JSON parser: the fields the
// page relies on with their units, nulls where nothing is known, any path as
// plain ASCII, numbers rounded to what they mean.
#include "library/summary_json.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/library/drive_series.hpp"

namespace camvault {
namespace {

using nlohmann::json;
using testing::Drive;
using testing::kNine;
using testing::Reading;

TEST(SummaryJson, FieldsUnitsAndNulls) {
    Drive drive;
    drive.cruise(90, 72).run(2, [](double) { return Reading{72, 0, -0.7}; }).cruise(88, 36);
    std::vector<LibraryClip> clips(2);
    clips[0] = {"/card/A.MOV",
                "/data/A.data",
                "A.MOV~2",
                true,
                "nextbase-block",
                0,
                true,
                summarize(drive.points, EventThresholds{}, true)};
    clips[1].movie_path = "/card/B.MOV";
    clips[1].present = false;
    clips[1].mtime_ms = kNine + 5;  // the only date of a clip without GPS
    const ClipSummary& s = *clips[0].summary;
    const json doc = json::parse(library_summaries_json(clips, group_trips(clips)));

    const json& c = doc["clips"][0];
    const json expected =
        json::parse(R"({"movie":"/card/A.MOV","telemetry":"/data/A.data","key":"A.MOV~2",
        "present":true,"mtime_ms":null,"layout":"nextbase-block","cut":true,"has_telemetry":true,
        "end_ms":1780304579900,"duration_ms":179900,"records":1800,"max_speed_kmh":72.0,
        "axes_known":true,"has_gsensor":true,"gsensor_flat":false,"trip":0})");
    for (const auto& [key, value] : expected.items())
        EXPECT_EQ(c[key], value) << key;
    EXPECT_EQ(c["start_ms"], kNine);
    EXPECT_EQ(c["distance_m"], std::llround(s.distance_m));  // whole metres
    EXPECT_NEAR(c["distance_m"].get<double>(), 20 * 92 + 10 * 88, 5);
    EXPECT_NEAR(c["route"]["south"].get<double>(), s.bounds.min_lat, 0.5e-7);
    EXPECT_NEAR(c["route"]["end"][1].get<double>(), s.end_lon, 0.5e-7);
    ASSERT_EQ(c["events"].size(), 1u);
    const json& e = c["events"][0];
    EXPECT_EQ(e["kind"], "harsh_braking");
    EXPECT_EQ(e["basis"], "axes");
    EXPECT_EQ(e["start_ms"], kNine + 90000);
    EXPECT_EQ(e["end_ms"], kNine + 91900);
    EXPECT_EQ(e["peak_g"], -0.7);
    EXPECT_NEAR(e["at"][0].get<double>(), s.events[0].lat, 0.5e-7);

    EXPECT_EQ(doc["clips"][1], json::parse(R"({"movie":"/card/B.MOV","telemetry":null,"key":null,
        "present":false,"mtime_ms":1780304400005,"layout":null,"cut":false,"has_telemetry":null,"start_ms":null,
        "end_ms":null,"duration_ms":null,"records":null,"distance_m":null,"max_speed_kmh":null,
        "mean_speed_kmh":null,"route":null,"axes_known":null,"has_gsensor":null,
        "gsensor_flat":null,"events":[],"trip":1})"));
    EXPECT_EQ(doc["trips"][0]["distance_m"], c["distance_m"]);
    EXPECT_EQ(doc["trips"][0]["clips"], json::array({0}));
    EXPECT_EQ(doc["trips"][0]["events"], 1);
    EXPECT_EQ(doc["trips"][1], json::parse(R"({"timed":false,"start_ms":null,"end_ms":null,
        "duration_ms":null,"distance_m":null,"max_speed_kmh":null,"events":0,"clips":[1]})"));
    EXPECT_EQ(doc["version"], 1);
}

TEST(SummaryJson, AnyPathAsAscii) {
    std::vector<LibraryClip> clips(3);
    clips[0].movie_path = "/media/Gérard/\"q\"\\ \n \xE2\x80\xA8 </script> \xF0\x9F\x9A\x97.MOV";
    clips[1].movie_path = "/media/u/not utf-8 \xFF.MOV";
    const std::string text = library_summaries_json(clips, {});
    for (const char ch : text)
        ASSERT_TRUE(static_cast<unsigned char>(ch) < 0x80 && ch != '\n') << text;
    const json doc = json::parse(text);
    EXPECT_EQ(doc["clips"][0]["movie"], clips[0].movie_path);
    EXPECT_EQ(doc["clips"][1]["movie"], "/media/u/not utf-8 \xEF\xBF\xBD.MOV");
    EXPECT_TRUE(doc["clips"][0]["trip"].is_null());
}

TEST(SummaryJson, NumbersRoundedToWhatTheyMean) {
    LibraryClip clip;
    ClipSummary& s = clip.summary.emplace();
    s.records = 1;
    s.has_position = true;
    s.bounds = {51.50740050000001, -0.12779969999999999, 51.5, 0};
    s.max_speed_kmh = 80.04999999;
    s.distance_m = 1234.5;
    s.events = {ClipEvent{}};
    s.events[0].peak_g = -0.7512345;
    s.events[0].speed_change_kmh = -0.01;
    const std::string text = library_summaries_json({&clip, 1}, {});
    const auto number = [&](const std::string& key) {
        const size_t from = text.find("\"" + key + "\":") + key.size() + 3;
        return text.substr(from, text.find_first_of(",}]", from) - from);
    };
    EXPECT_EQ(number("south"), "51.5074005");
    EXPECT_EQ(number("west"), "-0.1277997");
    EXPECT_EQ(number("max_speed_kmh"), "80.0");
    EXPECT_EQ(number("distance_m"), "1235");
    EXPECT_EQ(number("peak_g"), "-0.75");
    EXPECT_EQ(number("speed_change_kmh"), "0.0");  // no "-0.0"
    EXPECT_EQ(number("at"), "null");
}

}  // namespace
}  // namespace camvault
