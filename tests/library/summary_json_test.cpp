// The page's JSON of the library: read back with a JSON parser, every field
// the page relies on is there with its unit; a clip without telemetry has
// nulls instead of invented numbers; paths of any characters survive, the text
// is plain ASCII; the text does not grow with a clip's record count.
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

LibraryClip braking_clip(double minutes) {
    Drive drive;
    drive.cruise(minutes * 60 / 2, 72).run(2, [](double) { return Reading{72, 0, -0.7, 1}; });
    drive.cruise(minutes * 60 / 2 - 2, 36);
    LibraryClip clip;
    clip.movie_path = "/media/u/CARD/DCIM/FILE0001.MOV";
    clip.telemetry_path = "/home/u/CAMVAULT/data/FILE0001.data";
    clip.layout = "nextbase-block";
    clip.mtime_ms = drive.now_ms();
    clip.summary = summarize(drive.points(), EventThresholds{}, true);
    return clip;
}

TEST(SummaryJson, FieldsAndUnits) {
    std::vector<LibraryClip> clips = {braking_clip(3), LibraryClip{}};
    clips[1].movie_path = "/media/u/CARD/DCIM/FILE0002.MOV";
    clips[1].present = false;
    clips[1].mtime_ms = clips[0].mtime_ms + 1;
    clips[0].telemetry_cut = true;
    const std::vector<Trip> trips = group_trips(clips);
    ASSERT_EQ(trips.size(), 2u);

    const json doc = json::parse(library_summaries_json(clips, trips));
    EXPECT_EQ(doc["version"], 1);
    ASSERT_EQ(doc["clips"].size(), 2u);
    const json& c = doc["clips"][0];
    const ClipSummary& s = *clips[0].summary;
    EXPECT_EQ(c["movie"], clips[0].movie_path);
    EXPECT_EQ(c["telemetry"], clips[0].telemetry_path);
    EXPECT_EQ(c["present"], true);
    EXPECT_EQ(c["layout"], "nextbase-block");
    EXPECT_EQ(c["cut"], true);
    EXPECT_EQ(c["has_telemetry"], true);
    EXPECT_EQ(c["start_ms"], kNine);
    EXPECT_EQ(c["end_ms"], kNine + 179900);
    EXPECT_EQ(c["duration_ms"], 179900);
    EXPECT_EQ(c["records"], 1800);
    ASSERT_TRUE(c["distance_m"].is_number_integer());
    // Metres: 92 s at 20 m/s, 88 s at 10 m/s.
    EXPECT_NEAR(c["distance_m"].get<double>(), 20 * 92 + 10 * 88, 5);
    EXPECT_EQ(c["max_speed_kmh"], 72.0);
    EXPECT_NEAR(c["mean_speed_kmh"].get<double>(), (920 * 72 + 880 * 36) / 1800.0, 0.05);
    EXPECT_EQ(c["axes_known"], true);
    EXPECT_EQ(c["has_gsensor"], true);
    EXPECT_EQ(c["gsensor_flat"], false);
    EXPECT_EQ(c["trip"], 0);
    const json& route = c["route"];
    EXPECT_NEAR(route["south"].get<double>(), s.bounds.min_lat, 0.5e-7);
    EXPECT_NEAR(route["west"].get<double>(), s.bounds.min_lon, 0.5e-7);
    EXPECT_NEAR(route["north"].get<double>(), s.bounds.max_lat, 0.5e-7);
    EXPECT_NEAR(route["east"].get<double>(), s.bounds.max_lon, 0.5e-7);
    EXPECT_NEAR(route["start"][0].get<double>(), s.start_lat, 0.5e-7);
    EXPECT_NEAR(route["end"][1].get<double>(), s.end_lon, 0.5e-7);

    ASSERT_EQ(c["events"].size(), 1u);
    const json& e = c["events"][0];
    EXPECT_EQ(e["kind"], "harsh_braking");
    EXPECT_EQ(e["basis"], "axes");
    EXPECT_EQ(e["start_ms"], kNine + 90000);
    EXPECT_EQ(e["peak_ms"], s.events[0].peak_ms);
    EXPECT_EQ(e["end_ms"], kNine + 91900);
    EXPECT_EQ(e["peak_g"], -0.7);
    EXPECT_EQ(e["speed_change_kmh"], 0.0);
    EXPECT_NEAR(e["at"][0].get<double>(), s.events[0].lat, 0.5e-7);

    const json& none = doc["clips"][1];
    EXPECT_EQ(none["present"], false);
    EXPECT_EQ(none["has_telemetry"], false);
    EXPECT_TRUE(none["telemetry"].is_null());
    EXPECT_TRUE(none["layout"].is_null());
    for (const char* key :
         {"start_ms", "end_ms", "duration_ms", "records", "distance_m", "max_speed_kmh",
          "mean_speed_kmh", "route", "axes_known", "has_gsensor", "gsensor_flat"})
        EXPECT_TRUE(none[key].is_null()) << key;
    EXPECT_EQ(none["events"], json::array());
    EXPECT_EQ(none["trip"], 1);

    const json& t = doc["trips"];
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0]["timed"], true);
    EXPECT_EQ(t[0]["start_ms"], kNine);
    EXPECT_EQ(t[0]["end_ms"], kNine + 179900);
    EXPECT_EQ(t[0]["duration_ms"], 179900);
    EXPECT_EQ(t[0]["distance_m"], c["distance_m"]);
    EXPECT_EQ(t[0]["max_speed_kmh"], 72.0);
    EXPECT_EQ(t[0]["events"], 1);
    EXPECT_EQ(t[0]["clips"], json::array({0}));
    EXPECT_EQ(t[1]["timed"], false);
    EXPECT_TRUE(t[1]["start_ms"].is_null());
    EXPECT_EQ(t[1]["clips"], json::array({1}));
}

TEST(SummaryJson, AnyPathSurvivesAsAscii) {
    std::vector<LibraryClip> clips(4);
    clips[0].movie_path = "/media/Gérard/\"quoted\"\\ and\nline \xE2\x80\xA8 </script>.MOV";
    clips[1].movie_path = "/media/u/not utf-8 \xFF\xFE.MOV";
    clips[2].movie_path = "/media/u/\xF0\x9F\x9A\x97.MOV";  // a car, beyond the BMP
    clips[3].movie_path = "/media/u/A.MOV";
    clips[3].layout = "innovv";
    const std::string text = library_summaries_json(clips, {});
    for (const char ch : text)
        ASSERT_TRUE(static_cast<unsigned char>(ch) < 0x80 && ch != '\n') << text;
    const json doc = json::parse(text);
    EXPECT_EQ(doc["clips"][0]["movie"], clips[0].movie_path);
    EXPECT_EQ(doc["clips"][1]["movie"], "/media/u/not utf-8 \xEF\xBF\xBD\xEF\xBF\xBD.MOV");
    EXPECT_EQ(doc["clips"][2]["movie"], clips[2].movie_path);
    EXPECT_TRUE(doc["clips"][0]["trip"].is_null());  // no trips given
    EXPECT_EQ(doc["trips"], json::array());
}

TEST(SummaryJson, SmallWhateverTheRecordCount) {
    const std::vector<LibraryClip> short_clip = {braking_clip(1)};
    const std::vector<LibraryClip> long_clip = {braking_clip(30)};
    const std::string a = library_summaries_json(short_clip, group_trips(short_clip));
    const std::string b = library_summaries_json(long_clip, group_trips(long_clip));
    EXPECT_LT(a.size(), 1200u) << a;
    EXPECT_LT(b.size() > a.size() ? b.size() - a.size() : a.size() - b.size(), 20u) << a << b;
}

// The text of the number after "key": in `text`.
std::string number_text(const std::string& text, const std::string& key) {
    const size_t at = text.find("\"" + key + "\":");
    if (at == std::string::npos)
        return "(no " + key + ")";
    const size_t from = at + key.size() + 3;
    return text.substr(from, text.find_first_of(",}]", from) - from);
}

TEST(SummaryJson, NumbersRoundedToWhatTheyMean) {
    LibraryClip clip;
    clip.movie_path = "/a.MOV";
    ClipSummary s;
    s.records = 1;
    s.has_position = true;
    s.bounds = {51.50740050000001, -0.12779969999999999, 51.50740050000001, -0.1277997};
    s.start_lat = s.end_lat = 51.50740050000001;
    s.max_speed_kmh = 80.04999999;
    s.distance_m = 1234.5;
    ClipEvent e;
    e.peak_g = -0.7512345;
    e.speed_change_kmh = -0.01;  // rounds to nothing, and no "-0.0"
    s.events = {e};
    clip.summary = s;
    const std::string text = library_summaries_json({&clip, 1}, {});
    EXPECT_EQ(number_text(text, "south"), "51.5074005");
    EXPECT_EQ(number_text(text, "west"), "-0.1277997");
    EXPECT_EQ(number_text(text, "max_speed_kmh"), "80.0");
    EXPECT_EQ(number_text(text, "distance_m"), "1235");
    EXPECT_EQ(number_text(text, "peak_g"), "-0.75");
    EXPECT_EQ(number_text(text, "at"), "null");
    EXPECT_EQ(number_text(text, "speed_change_kmh"), "0.0");
}

}  // namespace
}  // namespace camvault
