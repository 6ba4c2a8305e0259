// The text of a telemetry script file.
#include "telemetry/script_text.hpp"

#include <charconv>
#include <cmath>

#include "base/js_escape.hpp"
#include "telemetry/civil_date.hpp"

namespace camvault {

namespace {

// Number formatting through std::to_chars: the same digits as printf's "%d"
// and "%.Nf" (fixed notation, correctly rounded from the exact binary value,
// a minus sign on every negative value), several times faster, which matters
// with thousands of lines per clip.
void append_int(std::string& out, long long value) {
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, value).ptr;
    out.append(buf, end);
}

// "%02d" for the values a key holds (0 to 65,536).
void append_two_digits(std::string& out, unsigned value) {
    if (value < 10)
        out += '0';
    append_int(out, value);
}

void append_fixed(std::string& out, double value, int decimals) {
    char buf[352];  // enough for any double in fixed notation
    const auto end =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals).ptr;
    out.append(buf, end);
}

struct KeyTime {
    unsigned year, month, day, hour, minute;
};

bool is_real_date(const KeyTime& t) {
    return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= days_in_month(t.year, t.month) &&
           t.hour <= 23 && t.minute <= 59;
}

// One minute later. A date that is no real date cannot be carried by the
// calendar; its minute alone moves on, which still keeps the key apart from
// those of the block's own minute.
KeyTime next_minute(KeyTime t) {
    if (!is_real_date(t)) {
        ++t.minute;
        return t;
    }
    if (++t.minute < 60)
        return t;
    t.minute = 0;
    if (++t.hour < 24)
        return t;
    t.hour = 0;
    if (++t.day <= days_in_month(t.year, t.month))
        return t;
    t.day = 1;
    if (++t.month <= 12)
        return t;
    t.month = 1;
    ++t.year;
    return t;
}

// Single precision on purpose: the page has always shown these values as the
// camera's readers computed them, in float, widened for printing.
double scaled_float(int32_t value, float divisor) {
    return static_cast<double>(static_cast<float>(value) / divisor);
}

// One coordinate's half of the label.
void append_position_half(std::string& out, double v) {
    constexpr double kLimit = 9.0e18;  // keeps the hundredths count inside 64 bits
    double hundredths = v * 3600.0 * 100.0;
    if (!std::isfinite(hundredths)) {
        hundredths = std::isnan(hundredths) ? 0.0 : std::copysign(kLimit, hundredths);
    }
    const long long count = std::llround(std::fmax(-kLimit, std::fmin(kLimit, hundredths)));
    const long long degrees = count / 360000;
    const long long rest = std::llabs(count - degrees * 360000);
    const long long minutes = rest / 6000;
    const long long seconds = rest / 100 % 60;
    const long long cents = rest % 100;
    char buf[96];
    if (degrees == 0 && v < 0) {
        std::snprintf(buf, sizeof buf, "-0[ %lld' %lld.%.2lld:", minutes, seconds, cents);
    } else {
        std::snprintf(buf, sizeof buf, "%lld[ %lld' %lld.%.2lld:", degrees, minutes, seconds,
                      cents);
    }
    out += buf;
}

void append_position_label(std::string& out, double lat, double lon) {
    append_position_half(out, lat);
    out += ',';
    append_position_half(out, lon);
}

}  // namespace

std::string script_header(std::string_view clip_name) {
    return "data['" + js_escape(clip_name) + "']=new Array();";
}

std::string record_key(const TelemetryRecord& record) {
    KeyTime t{record.year, record.month, record.day, record.hour, record.minute};
    if (record.next_minute) {
        t = next_minute(t);
    }
    const double second = static_cast<double>(static_cast<float>(record.tenths_of_second) / 10.0f);
    // "%d/%02d/%02d %02d:" then "%02d:%.1f"
    std::string key;
    append_int(key, t.year);
    key += '/';
    append_two_digits(key, t.month);
    key += '/';
    append_two_digits(key, t.day);
    key += ' ';
    append_two_digits(key, t.hour);
    key += ':';
    append_two_digits(key, t.minute);
    key += ':';
    append_fixed(key, second, 1);
    return key;
}

std::string nicePosition(double lat, double lon) {
    std::string label;
    append_position_label(label, lat, lon);
    return label;
}

void append_line(std::string& out, std::string_view escaped_clip_name, std::string_view key,
                 const LineValues& v) {
    // The key holds only digits, '/', ' ', ':' and '.', and the label only
    // digits, '-', '[', ' ', '\'', '.', ':' and ','; the label's apostrophe
    // stands inside double quotes. Neither needs escaping.
    const auto append_entry = [&] {
        out += "data[\"";
        out += escaped_clip_name;
        out += "\"][\"";
        out += key;
        out += "\"]";
    };
    append_entry();
    out += "=new Array();";
    append_entry();
    const struct {
        const char* name;
        double value;
        int decimals;
    } fields[] = {
        {"speed", v.speed_kmh, 6},
        {"degrees", v.degrees, 2},
        {"lat", v.lat, 7},
        {"lon", v.lon, 7},
        {"x", v.x, 2},
        {"y", v.y, 2},
        {"z", v.z, 2},
    };
    out += "={";
    for (const auto& field : fields) {
        out += '\'';
        out += field.name;
        out += "':\"";
        append_fixed(out, field.value, field.decimals);
        out += "\",";
    }
    out += "'lbs':\"";
    append_position_label(out, v.label_lat, v.label_lon);
    out += "\"};\n";
}

void append_record_line(std::string& out, std::string_view escaped_clip_name,
                        const TelemetryRecord& record) {
    LineValues values;
    values.speed_kmh = static_cast<double>(record.speed) * 0.036;
    values.degrees = scaled_float(record.degrees, 1e7f);
    values.lat = scaled_float(record.latitude, 1e7f);
    values.lon = scaled_float(record.longitude, 1e7f);
    values.x = scaled_float(record.x, 1e9f);
    values.y = scaled_float(record.y, 1e9f);
    values.z = scaled_float(record.z, 1e9f);
    // The label is worked out from the exact value, not the single-precision one.
    values.label_lat = record.latitude / 10000000.0;
    values.label_lon = record.longitude / 10000000.0;
    append_line(out, escaped_clip_name, record_key(record), values);
}

}  // namespace camvault
