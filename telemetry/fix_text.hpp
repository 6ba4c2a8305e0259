// The record line of a decoded fix, in the same format as the lines of the
// original block's records: key, speed in km/h, heading, latitude and
// longitude, G-sensor x, y and z, and the position label.
#pragma once

#include <string>
#include <string_view>

#include "telemetry/fix.hpp"

namespace camvault {

// "2026/06/01 09:00:5.0": the fix's date and time, the second to a tenth, or
// to the fix's second_decimals when a layout needs finer keys to keep its
// fixes apart (a key written twice is one record on the page).
std::string fix_key(const TelemetryFix& fix);

// Appends the fix's line (ending in a line feed) for a clip whose name is
// already escaped with js_escape. Latitude and longitude are printed from the
// double the decoder computed; a fix without G-sensor writes 0.00 for x, y, z.
void append_fix_line(std::string& out, std::string_view escaped_clip_name, const TelemetryFix& fix);

}  // namespace camvault
