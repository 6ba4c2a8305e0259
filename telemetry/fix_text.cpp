// The record line of a decoded fix.
#include "telemetry/fix_text.hpp"

#include <charconv>

#include "telemetry/script_text.hpp"

namespace camvault {

namespace {

void append_int(std::string& out, unsigned long long value, bool two_digits = false) {
    if (two_digits && value < 10)
        out += '0';
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    out.append(buf, end);
}

void append_fixed(std::string& out, double value, int decimals) {
    char buf[352];  // enough for any double in fixed notation
    const auto end =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals).ptr;
    out.append(buf, end);
}

}  // namespace

std::string fix_key(const TelemetryFix& fix) {
    // "%d/%02d/%02d %02d:%02d:%.1f", as the original block's keys.
    std::string key;
    append_int(key, fix.year);
    key += '/';
    append_int(key, fix.month, true);
    key += '/';
    append_int(key, fix.day, true);
    key += ' ';
    append_int(key, fix.hour, true);
    key += ':';
    append_int(key, fix.minute, true);
    key += ':';
    append_fixed(key, fix.second, fix.second_decimals);
    return key;
}

void append_fix_line(std::string& out, std::string_view escaped_clip_name,
                     const TelemetryFix& fix) {
    LineValues values;
    values.speed_kmh = fix.speed_kmh;
    values.degrees = fix.track;
    values.lat = values.label_lat = fix.latitude;
    values.lon = values.label_lon = fix.longitude;
    if (fix.has_accel) {
        values.x = fix.x;
        values.y = fix.y;
        values.z = fix.z;
    }
    append_line(out, escaped_clip_name, fix_key(fix), values);
}

}  // namespace camvault
