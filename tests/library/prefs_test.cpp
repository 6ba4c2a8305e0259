// settings.json: what save_prefs accepts and writes, what load_prefs makes of
// any file, the thresholds the settings give, and the chooser's language.
#include "library/prefs.hpp"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "base/log.hpp"
#include "library/chooser_texts.hpp"
#include "library/naming.hpp"
#include "library/settings.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault {
namespace {

using testing::read_text;
using testing::write_text;

// The message of a refusal, or "" when the text was accepted.
std::string refusal(std::string_view json) {
    const auto parsed = parse_prefs(json);
    if (parsed)
        return "";
    EXPECT_EQ(parsed.failure().key, "prefs_invalid");
    EXPECT_EQ(parsed.failure().params.size(), 1u);
    EXPECT_EQ(parsed.failure().params[0].first, "error");
    return parsed.error();
}

class PrefsFiles : public ::testing::Test {
  protected:
    void SetUp() override { prepare_library(home_.path()); }
    std::string file() const { return prefs_file_path(home_.path()); }
    testing::TempFolder home_;
};

TEST(Prefs, EveryFieldIsOptionalAndMissingOnesTakeTheirDefaults) {
    const auto empty = parse_prefs("{}");
    ASSERT_TRUE(empty) << empty.error();
    EXPECT_EQ(*empty, Prefs{});
    EXPECT_EQ(empty->clock_correction_s, 0);
    EXPECT_EQ(empty->camera_utc_offset_min, 0);
    EXPECT_EQ(empty->braking_g, 0.40);
    EXPECT_EQ(empty->acceleration_g, 0.35);
    EXPECT_EQ(empty->cornering_g, 0.45);
    EXPECT_EQ(empty->impact_g, 2.5);
    EXPECT_TRUE(empty->reopen_library);
    EXPECT_FALSE(empty->stop_at_clip_end);
    EXPECT_FALSE(empty->snapshot_caption);

    const auto partial = parse_prefs(R"({"events":{"impact_g":4},"stop_at_clip_end":true})");
    ASSERT_TRUE(partial) << partial.error();
    Prefs expected;
    expected.impact_g = 4;
    expected.stop_at_clip_end = true;
    EXPECT_EQ(*partial, expected);
}

TEST(Prefs, ReadsEveryFieldAtItsLimits) {
    const auto low = parse_prefs(R"({"clock_correction_s":-31622400,"camera_utc_offset_min":-720,
        "events":{"braking_g":0.05,"acceleration_g":0.05,"cornering_g":0.05,"impact_g":0.5},
        "reopen_library":false,"stop_at_clip_end":true,"snapshot_caption":true})");
    ASSERT_TRUE(low) << low.error();
    EXPECT_EQ(low->clock_correction_s, -31622400);
    EXPECT_EQ(low->camera_utc_offset_min, -720);
    EXPECT_EQ(low->braking_g, 0.05);
    EXPECT_EQ(low->acceleration_g, 0.05);
    EXPECT_EQ(low->cornering_g, 0.05);
    EXPECT_EQ(low->impact_g, 0.5);
    EXPECT_FALSE(low->reopen_library);
    EXPECT_TRUE(low->stop_at_clip_end);
    EXPECT_TRUE(low->snapshot_caption);

    const auto high = parse_prefs(R"({"clock_correction_s":31622400,"camera_utc_offset_min":840,
        "events":{"braking_g":2,"acceleration_g":2.0,"cornering_g":2,"impact_g":16}})");
    ASSERT_TRUE(high) << high.error();
    EXPECT_EQ(high->clock_correction_s, 31622400);
    EXPECT_EQ(high->camera_utc_offset_min, 840);
    EXPECT_EQ(high->braking_g, 2);
    EXPECT_EQ(high->impact_g, 16);
}

TEST(Prefs, RefusesValuesOutOfRange) {
    EXPECT_NE(refusal(R"({"clock_correction_s":31622401})"), "");
    EXPECT_NE(refusal(R"({"clock_correction_s":-31622401})"), "");
    EXPECT_NE(refusal(R"({"clock_correction_s":18446744073709551615})"), "");
    EXPECT_NE(refusal(R"({"clock_correction_s":-9223372036854775808})"), "");
    EXPECT_NE(refusal(R"({"clock_correction_s":1e300})"), "");
    EXPECT_NE(refusal(R"({"camera_utc_offset_min":-721})"), "");
    EXPECT_NE(refusal(R"({"camera_utc_offset_min":841})"), "");
    for (const char* name : {"braking_g", "acceleration_g", "cornering_g"}) {
        EXPECT_NE(refusal(std::string(R"({"events":{")") + name + R"(":0.049}})"), "") << name;
        EXPECT_NE(refusal(std::string(R"({"events":{")") + name + R"(":2.001}})"), "") << name;
        EXPECT_NE(refusal(std::string(R"({"events":{")") + name + R"(":-0.4}})"), "") << name;
    }
    EXPECT_NE(refusal(R"({"events":{"impact_g":0.49}})"), "");
    EXPECT_NE(refusal(R"({"events":{"impact_g":16.01}})"), "");
    // The message names the field and its range.
    EXPECT_NE(refusal(R"({"camera_utc_offset_min":900})").find("-720 to 840"), std::string::npos);
}

TEST(Prefs, RefusesValuesOfTheWrongType) {
    EXPECT_NE(refusal(R"({"clock_correction_s":"60"})"), "");
    EXPECT_NE(refusal(R"({"clock_correction_s":1.5})"), "");  // whole seconds only
    EXPECT_NE(refusal(R"({"clock_correction_s":null})"), "");
    EXPECT_NE(refusal(R"({"camera_utc_offset_min":true})"), "");
    EXPECT_NE(refusal(R"({"camera_utc_offset_min":[60]})"), "");
    EXPECT_NE(refusal(R"({"events":[0.4]})"), "");
    EXPECT_NE(refusal(R"({"events":{"braking_g":"0.4"}})"), "");
    EXPECT_NE(refusal(R"({"reopen_library":1})"), "");
    EXPECT_NE(refusal(R"({"snapshot_caption":"true"})"), "");
    EXPECT_NE(refusal(R"({"stop_at_clip_end":null})"), "");
    // JSON Schema's integers include numbers written with a zero fraction.
    const auto whole = parse_prefs(R"({"clock_correction_s":-60.0,"camera_utc_offset_min":120.0})");
    ASSERT_TRUE(whole) << whole.error();
    EXPECT_EQ(whole->clock_correction_s, -60);
    EXPECT_EQ(whole->camera_utc_offset_min, 120);
}

TEST(Prefs, RefusesTextThatIsNoJsonObject) {
    for (const char* text : {"", "{", "[]", "null", "42", "\"{}\"", "{\"a\":1,}", "{} {}",
                             "{'clock_correction_s':1}", "km,English"})
        EXPECT_NE(refusal(text), "") << text;
}

TEST(Prefs, UnicodeIsReadAsJsonReadsIt) {
    // An escaped key is the key it spells.
    const auto escaped = parse_prefs(R"({"\u0072eopen_library":false})");
    ASSERT_TRUE(escaped) << escaped.error();
    EXPECT_FALSE(escaped->reopen_library);
    // Unknown fields, whatever their characters, are left out.
    const auto foreign =
        parse_prefs("{\"\xC3\xBC\x62\x65r\":\"\xE2\x9C\x93\",\"\\ud83d\\ude97\":1}");
    ASSERT_TRUE(foreign) << foreign.error();
    EXPECT_EQ(*foreign, Prefs{});
    // Bytes that are no UTF-8 make no JSON text.
    EXPECT_NE(refusal("{\"x\":\"\xC3\x28\"}"), "");
    EXPECT_NE(refusal("{\"x\":\"\xFF\"}"), "");
    // A lone surrogate escape is no character either.
    EXPECT_NE(refusal(R"({"x":"\ud800"})"), "");
}

TEST(Prefs, EncodesEveryFieldAndReadsBackTheSame) {
    Prefs prefs;
    prefs.clock_correction_s = -3725;
    prefs.camera_utc_offset_min = 330;
    prefs.braking_g = 0.3;
    prefs.acceleration_g = 0.55;
    prefs.cornering_g = 0.6;
    prefs.impact_g = 3.25;
    prefs.reopen_library = false;
    prefs.snapshot_caption = true;
    const std::string text = encode_prefs(prefs);
    const auto doc = nlohmann::json::parse(text);
    EXPECT_EQ(doc.size(), 6u);
    EXPECT_EQ(doc["events"].size(), 4u);
    EXPECT_EQ(doc["events"]["braking_g"], 0.3);
    EXPECT_EQ(doc["camera_utc_offset_min"], 330);
    const auto back = parse_prefs(text);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(*back, prefs);
}

TEST(Prefs, ThresholdsFollowTheSettingsAndHarshFollowsCornering) {
    Prefs prefs;
    EXPECT_EQ(event_thresholds(prefs), EventThresholds{});
    prefs.braking_g = 0.3;
    prefs.acceleration_g = 0.25;
    prefs.cornering_g = 0.7;
    prefs.impact_g = 5;
    const EventThresholds t = event_thresholds(prefs);
    EXPECT_EQ(t.braking_g, 0.3);
    EXPECT_EQ(t.acceleration_g, 0.25);
    EXPECT_EQ(t.cornering_g, 0.7);
    EXPECT_EQ(t.harsh_g, 0.7);
    EXPECT_EQ(t.impact_g, 5);
    // What no setting names stays the code's own.
    EXPECT_EQ(t.min_duration_ms, EventThresholds{}.min_duration_ms);
    EXPECT_EQ(t.release_fraction, EventThresholds{}.release_fraction);
    EXPECT_EQ(t.speed_drop_kmh, EventThresholds{}.speed_drop_kmh);
}

TEST_F(PrefsFiles, SaveWritesTheNormalisedSettingsWholeAndLeavesIniAlone) {
    const std::string ini = read_text(settings_file_path(home_.path()));
    const auto saved = save_prefs(
        home_.path(), R"({ "camera_utc_offset_min" : 60, "later": {"x": 1}, "events": {} })");
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_EQ(saved->camera_utc_offset_min, 60);
    const std::string written = read_text(file());
    EXPECT_EQ(written, encode_prefs(*saved));
    EXPECT_EQ(written.find("later"), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(written)["events"]["impact_g"], 2.5);
    EXPECT_EQ(read_text(settings_file_path(home_.path())), ini);
    // No temporary file is left beside it.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(library_data_dir(home_.path())))
        files += entry.path().filename().string().starts_with("settings.json") ? 1 : 0;
    EXPECT_EQ(files, 1u);
}

TEST_F(PrefsFiles, MoreThanFourKilobytesIsRefusedAndTheFormerFileStays) {
    ASSERT_TRUE(save_prefs(home_.path(), R"({"clock_correction_s":7})"));
    const std::string before = read_text(file());
    // Exactly the limit is still taken: padding is JSON whitespace.
    std::string at_limit = R"({"clock_correction_s":8})";
    at_limit.insert(1, kMaxPrefsSize - at_limit.size(), ' ');
    ASSERT_EQ(at_limit.size(), 4096u);
    ASSERT_TRUE(save_prefs(home_.path(), at_limit));
    EXPECT_EQ(load_prefs(home_.path()).clock_correction_s, 8);

    const std::string after = read_text(file());
    std::string over = R"({"clock_correction_s":9})";
    over.insert(1, kMaxPrefsSize + 1 - over.size(), ' ');
    const auto refused = save_prefs(home_.path(), over);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().key, "prefs_too_large");
    EXPECT_EQ(refused.failure().params, (MessageParams{{"size", "4097"}, {"limit", "4096"}}));
    EXPECT_EQ(read_text(file()), after);
    EXPECT_NE(before, after);
}

TEST_F(PrefsFiles, InvalidSettingsAreRefusedAndTheFormerFileStays) {
    ASSERT_TRUE(save_prefs(home_.path(), R"({"reopen_library":false})"));
    const std::string before = read_text(file());
    const auto refused = save_prefs(home_.path(), R"({"reopen_library":"no"})");
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.failure().key, "prefs_invalid");
    EXPECT_EQ(read_text(file()), before);
}

TEST_F(PrefsFiles, AFailedWriteSaysWhyWithItsOwnKey) {
    std::filesystem::remove_all(library_data_dir(home_.path()));
    write_text(library_data_dir(home_.path()), "not a folder");
    const auto failed = save_prefs(home_.path(), "{}");
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.failure().key, "prefs_not_saved");
    ASSERT_EQ(failed.failure().params.size(), 1u);
    EXPECT_EQ(failed.failure().params[0].first, "error");
    EXPECT_NE(failed.failure().params[0].second.find("settings.json"), std::string::npos);
}

TEST_F(PrefsFiles, LoadGivesTheDefaultsForAMissingFileQuietly) {
    std::vector<std::string> lines;
    const auto previous = set_log_sink([&](std::string_view line) { lines.emplace_back(line); });
    EXPECT_EQ(load_prefs(home_.path()), Prefs{});
    set_log_sink(previous);
    EXPECT_TRUE(lines.empty());
}

TEST_F(PrefsFiles, LoadGivesTheDefaultsForABadFileAndSaysSo) {
    std::vector<std::string> lines;
    const auto previous = set_log_sink([&](std::string_view line) { lines.emplace_back(line); });
    for (const std::string& text :
         {std::string("{\"clock_correction_s\":"), std::string("[]"),
          std::string(R"({"events":{"braking_g":9}})"), std::string("\xFF\xFE{}"),
          "{" + std::string(kMaxPrefsSize, ' ') + "}"}) {
        write_text(file(), text);
        EXPECT_EQ(load_prefs(home_.path()), Prefs{}) << text;
    }
    // A folder in its place.
    std::filesystem::remove(file());
    std::filesystem::create_directory(file());
    EXPECT_EQ(load_prefs(home_.path()), Prefs{});
    set_log_sink(previous);
    ASSERT_EQ(lines.size(), 6u);
    for (const auto& line : lines)
        EXPECT_NE(line.find("settings.json"), std::string::npos) << line;
}

TEST_F(PrefsFiles, LoadTakesAPartialFileWithDefaultsForTheRest) {
    write_text(file(), R"({"clock_correction_s":-90,"events":{"cornering_g":0.6}})");
    Prefs expected;
    expected.clock_correction_s = -90;
    expected.cornering_g = 0.6;
    EXPECT_EQ(load_prefs(home_.path()), expected);
    EXPECT_EQ(load_prefs_file(file()), expected);
}

TEST(ChooserLanguage, TheLanguageIsReadAsThePageReadsIt) {
    EXPECT_EQ(settings_language("km,English"), "English");
    EXPECT_EQ(settings_language("mi,German"), "German");
    EXPECT_EQ(settings_language("km, french "), "French");
    EXPECT_EQ(settings_language("km,Espa%C3%B1ol"), "Spanish");
    EXPECT_EQ(settings_language("km,Fran\xC3\xA7"
                                "ais"),
              "French");
    EXPECT_EQ(settings_language("km,de"), "German");
    EXPECT_EQ(settings_language("\xEF\xBB\xBFkm,es"), "Spanish");
    EXPECT_EQ(settings_language("km,Klingon"), "English");
    EXPECT_EQ(settings_language("km"), "English");
    EXPECT_EQ(settings_language(""), "English");
}

TEST_F(PrefsFiles, TheChooserLanguageComesFromIniTxt) {
    EXPECT_EQ(read_settings_language(home_.path()), "English");
    ASSERT_TRUE(save_settings(home_.path(), "mi,French"));
    EXPECT_EQ(read_settings_language(home_.path()), "French");
    std::filesystem::remove(settings_file_path(home_.path()));
    EXPECT_EQ(read_settings_language(home_.path()), "English");
}

TEST(ChooserLanguage, TitleAndButtonsInEachLanguage) {
    const std::vector<std::array<std::string, 4>> expected = {
        {"English", "Import clips", "_Cancel", "_Import"},
        {"German", "Clips importieren", "_Abbrechen", "_Importieren"},
        {"French", "Importer des clips", "_Annuler", "_Importer"},
        {"Spanish", "Importar clips", "_Cancelar", "_Importar"},
    };
    for (const auto& [language, title, cancel, accept] : expected) {
        const auto texts = clip_chooser_texts(language);
        EXPECT_EQ(texts.title, title) << language;
        EXPECT_EQ(texts.cancel, cancel) << language;
        EXPECT_EQ(texts.accept, accept) << language;
    }
    EXPECT_EQ(clip_chooser_texts("Klingon").title, "Import clips");
    // Every filter keeps the extension it shows.
    for (const char* language : {"English", "German", "French", "Spanish"})
        EXPECT_NE(clip_chooser_texts(language).filter.find("(.MOV)"), std::string::npos);
}

}  // namespace
}  // namespace camvault
