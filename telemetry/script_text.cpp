// The text of a telemetry script file.
#include "telemetry/script_text.hpp"

#include <cmath>
#include <cstdio>

#include "bridge/js_string.hpp"

namespace camvault {

namespace {

bool is_leap_year(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned days_in_month(unsigned year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
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
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u/%02u/%02u %02u:%02u:%.1f", t.year, t.month, t.day, t.hour,
                  t.minute, second);
    return buf;
}

std::string nicePosition(double lat, double lon) {
    std::string label;
    append_position_half(label, lat);
    label += ',';
    append_position_half(label, lon);
    return label;
}

void append_record_line(std::string& out, std::string_view escaped_clip_name,
                        const TelemetryRecord& record) {
    // The key holds only digits, '/', ' ', ':' and '.', and the label only
    // digits, '-', '[', ' ', '\'', '.', ':' and ','; the label's apostrophe
    // stands inside double quotes. Neither needs escaping.
    const std::string key = record_key(record);
    const std::string label =
        nicePosition(record.latitude / 10000000.0, record.longitude / 10000000.0);
    char values[320];
    std::snprintf(values, sizeof values,
                  "={'speed':\"%f\",'degrees':\"%.2f\",'lat':\"%.7f\",'lon':\"%.7f\","
                  "'x':\"%.2f\",'y':\"%.2f\",'z':\"%.2f\",'lbs':\"",
                  static_cast<double>(record.speed) * 0.036, scaled_float(record.degrees, 1e7f),
                  scaled_float(record.latitude, 1e7f), scaled_float(record.longitude, 1e7f),
                  scaled_float(record.x, 1e9f), scaled_float(record.y, 1e9f),
                  scaled_float(record.z, 1e9f));
    for (int i = 0; i < 2; ++i) {
        out += "data[\"";
        out += escaped_clip_name;
        out += "\"][\"";
        out += key;
        out += "\"]";
        out += i == 0 ? "=new Array();" : values;
    }
    out += label;
    out += "\"};\n";
}

}  // namespace camvault
