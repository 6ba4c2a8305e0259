// The page's settings beyond ini.txt, in data/settings.json: the clock
// correction, the camera's time zone, the event thresholds and three switches
// of the page. The page writes them through save_prefs; the native side reads
// them wherever a setting decides what it does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/result.hpp"
#include "library/clip_summary.hpp"

namespace camvault {

struct Prefs {
    // Added to every telemetry time shown, named or exported, in seconds.
    int64_t clock_correction_s = 0;
    // The camera clock's offset from UTC; only exports use it, to write UTC.
    int camera_utc_offset_min = 0;
    double braking_g = 0.40;
    double acceleration_g = 0.35;
    double cornering_g = 0.45;
    double impact_g = 2.5;
    bool reopen_library = true;
    bool stop_at_clip_end = false;
    bool snapshot_caption = false;

    bool operator==(const Prefs&) const = default;
};

// A year and a day: more than any camera clock left unset for a season is off.
inline constexpr int64_t kMaxClockCorrectionS = 31'622'400;
inline constexpr int kMinUtcOffsetMin = -720;
inline constexpr int kMaxUtcOffsetMin = 840;
// The most save_prefs stores: every field written out takes about 300 bytes.
inline constexpr size_t kMaxPrefsSize = 4096;

// Reads settings.json's text: a JSON object whose known fields must have
// their type and range (www/README.md, "The save_prefs command"); a missing
// field keeps its default, an unknown one is left out.
Result<Prefs> parse_prefs(std::string_view json_text);

// Every field, the defaults included, as one line of JSON.
std::string encode_prefs(const Prefs& prefs);

// The settings in `path`: the defaults when there is no file, and when it
// cannot be read or is not valid (then with a line in the log). Never fails.
Prefs load_prefs_file(const std::string& path);
// load_prefs_file of home/CAMVAULT/data/settings.json.
Prefs load_prefs(std::string_view home);

// The save_prefs command: `json_text` (the decoded argument) replaces
// settings.json as encode_prefs writes it, whole or not at all. Refused when
// longer than kMaxPrefsSize or not valid; the former file then stays.
Result<Prefs> save_prefs(std::string_view home, std::string_view json_text);

// The event thresholds the settings ask for; a push of unknown direction is
// harsh from the same force as a sharp corner.
EventThresholds event_thresholds(const Prefs& prefs);

}  // namespace camvault
