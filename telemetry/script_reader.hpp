// Reading a telemetry script file back into points: the library summarises
// clips from the files it already wrote instead of scanning the movies again.
// The reader knows the lines that telemetry/script_text.cpp and
// telemetry/fix_text.cpp write; anything else on a line (a broken download, a
// hand edit, a foreign script) makes that line unreadable and it is skipped.
// Memory stays at the points plus one line, whatever the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace camvault {

// One record of a telemetry script, numbers as printed (no unit conversion).
struct TelemetryPoint {
    // The camera's clock read as UTC: milliseconds since 1970-01-01 00:00.
    // Cameras record local time without a zone, so this is "as recorded".
    int64_t time_ms = 0;
    double lat = 0;        // degrees, south negative; 0,0 until the receiver has a fix
    double lon = 0;        // degrees, west negative
    double speed_kmh = 0;  // km/h
    double heading = 0;    // degrees ("degrees" in the script)
    double gx = 0;         // g, lateral (positive to the right) where the axes are known
    double gy = 0;         // g, longitudinal (positive forward)
    double gz = 0;         // g, vertical (about +1 at rest)

    bool operator==(const TelemetryPoint&) const = default;
};

// What a whole script gave.
struct ScriptContents {
    std::vector<TelemetryPoint> points;  // in file order, as the page sees them
    // The clip name of the header, unescaped (empty without a header).
    std::string clip_name;
    // The script ends with "data_cut['<name>']=N;": the extraction stopped at N records.
    bool cut = false;
    // Lines that held something other than the known statements, or a record
    // that could not be read whole (a missing field, a number that is not
    // finite, a key that is no clock time). Blank lines are not counted.
    size_t skipped_lines = 0;
};

// Lines longer than this are no lines the writer makes (a record line is about
// 300 bytes plus twice the escaped clip name); they are skipped without being
// held, so a file without line feeds cannot make the reader grow.
inline constexpr size_t kMaxScriptLineLength = 64 * 1024;

// Reads a script in pieces of any size, in order: feed() each piece, then
// finish(). The points of every complete line are read as soon as its line
// feed arrives.
class ScriptReader {
  public:
    void feed(std::string_view chunk);
    // Reads the last line when the text does not end in a line feed (the
    // "data_cut" trailer never does). Nothing may be fed afterwards.
    void finish();

    const ScriptContents& contents() const { return contents_; }
    ScriptContents take() { return std::move(contents_); }

  private:
    void read_line(std::string_view line);

    ScriptContents contents_;
    std::string partial_;     // the line begun in an earlier piece
    bool overlong_ = false;   // the current line passed kMaxScriptLineLength
    std::string name_raw_;    // the clip name as escaped in the script
    bool have_name_ = false;  // name_raw_ came from a header or the first record
};

// The whole text at once.
ScriptContents read_telemetry_script(std::string_view text);

// Reads the script file at `path` in pieces of 64 KB; only regular files are
// opened. Errors read "cannot read <path>: <reason>".
Result<ScriptContents> read_telemetry_script_file(const std::string& path);

// The clock time of a record key such as "2017/05/21 13:05:56.5", in
// milliseconds since 1970 with the key read as UTC; nothing for text that is no
// key or no real clock time (month 13, 31 April, hour 24, second 61 or more).
// The fraction of the second is read in decimal digits, never through a
// binary double, so "13:05:56.3" is exactly ...56300.
std::optional<int64_t> parse_record_key(std::string_view key);

}  // namespace camvault
