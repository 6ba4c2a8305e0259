// The text of a telemetry script file: the header, one record line per record,
// the record key and the position label. The page runs the file as script, so
// every value that could hold quotes is escaped as string content.
#pragma once

#include <string>
#include <string_view>

#include "telemetry/scanner.hpp"

namespace camvault {

// "data['<clip name>']=new Array();" with the name escaped.
std::string script_header(std::string_view clip_name);

// "2017/05/21 13:05:56.5": the block's date to the minute and the record's own
// second. A record whose second wrapped inside its block is given the next
// minute, carried into hour, day, month and year when the date is a real one.
std::string record_key(const TelemetryRecord& record);

// The values of one record line, as they are printed.
struct LineValues {
    double speed_kmh = 0;
    double degrees = 0;
    double lat = 0;
    double lon = 0;
    double x = 0, y = 0, z = 0;
    double label_lat = 0;  // what the position label shows
    double label_lon = 0;
};

// Appends one record line (ending in a line feed) of `key` for a clip whose
// name is already escaped with js_escape: every layout's records look alike.
void append_line(std::string& out, std::string_view escaped_clip_name, std::string_view key,
                 const LineValues& values);

// Appends the record's line (ending in a line feed) for a clip whose name is
// already escaped with js_escape.
void append_record_line(std::string& out, std::string_view escaped_clip_name,
                        const TelemetryRecord& record);

// The position label, e.g. "51[ 30' 26.64:,-3[ 10' 44.76:": degrees, minutes,
// seconds and hundredths of each coordinate, rounded half away from zero to the
// hundredth of an arc-second. A coordinate between -1 and 0 shows its degrees
// as "-0" so that its sign is not lost.
std::string nicePosition(double lat, double lon);

}  // namespace camvault
