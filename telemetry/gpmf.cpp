// GoPro GPMF samples into fixes.
#include "telemetry/gpmf.hpp"

#include <cmath>
#include <cstring>
#include <numbers>
#include <string_view>
#include <vector>

#include "telemetry/civil_date.hpp"

namespace camvault {

namespace {

constexpr double kStandardGravity = 9.80665;  // ACCL is in m/s2, fixes in g
// A sample lasting longer than a day is a damaged time table: its entries
// are then all given the sample's GPSU time.
constexpr double kMaxSampleSeconds = 86400;

uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
uint64_t be64(const uint8_t* p) {
    return uint64_t{be32(p)} << 32 | be32(p + 4);
}

// Bytes of one value of a numeric type letter; 0 for the others (text,
// FourCC, structures), which hold nothing to scale.
size_t number_size(uint8_t type) {
    switch (type) {
        case 'b':
        case 'B':
            return 1;
        case 's':
        case 'S':
            return 2;
        case 'l':
        case 'L':
        case 'f':
        case 'q':
            return 4;
        case 'd':
        case 'j':
        case 'J':
        case 'Q':
            return 8;
        default:
            return 0;
    }
}

double read_number(uint8_t type, const uint8_t* p) {
    switch (type) {
        case 'b':
            return static_cast<int8_t>(p[0]);
        case 'B':
            return p[0];
        case 's':
            return static_cast<int16_t>(be16(p));
        case 'S':
            return be16(p);
        case 'l':
            return static_cast<int32_t>(be32(p));
        case 'L':
            return be32(p);
        case 'f': {
            const uint32_t bits = be32(p);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            return f;
        }
        case 'd': {
            const uint64_t bits = be64(p);
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
        case 'j':
            return static_cast<double>(static_cast<int64_t>(be64(p)));
        case 'J':
            return static_cast<double>(be64(p));
        case 'q':  // signed 16.16 fixed point
            return static_cast<int32_t>(be32(p)) / 65536.0;
        case 'Q':  // signed 32.32 fixed point
            return static_cast<double>(static_cast<int64_t>(be64(p))) / 4294967296.0;
        default:
            return 0;
    }
}

struct Entry {
    std::string_view key;
    uint8_t type = 0;
    uint8_t size = 0;  // bytes of one structure
    uint16_t count = 0;
    std::span<const uint8_t> payload;  // size * count bytes, without the padding
};

// The entries of one container, stopping where one would run past its end
// or at a key of four zero bytes, which ends the data early.
std::vector<Entry> entries_of(std::span<const uint8_t> body) {
    std::vector<Entry> out;
    size_t at = 0;
    while (body.size() - at >= 8) {
        const uint8_t* h = &body[at];
        if (be32(h) == 0)
            break;
        Entry e;
        e.key = std::string_view(reinterpret_cast<const char*>(h), 4);
        e.type = h[4];
        e.size = h[5];
        e.count = be16(h + 6);
        const size_t length = size_t{e.size} * e.count;
        if (length > body.size() - at - 8)
            break;
        e.payload = body.subspan(at + 8, length);
        out.push_back(e);
        const size_t padded = (length + 3) & ~size_t{3};
        if (padded >= body.size() - at - 8)
            break;
        at += 8 + padded;
    }
    return out;
}

// Every structure of an entry as numbers, the first `want` values of each;
// empty when the type is not numeric or a structure holds fewer values.
std::vector<double> structures(const Entry& e, size_t want) {
    std::vector<double> out;
    const size_t n = number_size(e.type);
    if (n == 0 || e.size < want * n)
        return out;
    out.reserve(want * e.count);
    for (size_t i = 0; i < e.count; ++i)
        for (size_t v = 0; v < want; ++v)
            out.push_back(read_number(e.type, &e.payload[i * e.size + v * n]));
    return out;
}

// Divides the v-th value of each structure by the v-th scale, the scales
// repeating when there are fewer than values, as ExifTool applies SCAL (it
// scales only the last entry of a container, where GoPro writes the data).
// False when a scale is zero: the values then mean nothing.
bool apply_scale(std::vector<double>& values, size_t per_structure,
                 const std::vector<double>& scale) {
    if (scale.empty())
        return true;
    for (size_t i = 0; i < values.size(); ++i) {
        const double s = scale[(i % per_structure) % scale.size()];
        if (s == 0)
            return false;
        values[i] /= s;
    }
    return true;
}

struct UtcTime {
    uint32_t year, month, day, hour, minute;
    double second;
};

// "yymmddhhmmss.sss": the first twelve must be digits; the fraction may be
// missing. The century is 2000, as ExifTool reads it.
std::optional<UtcTime> parse_gpsu(std::span<const uint8_t> text) {
    if (text.size() < 12)
        return std::nullopt;
    for (size_t i = 0; i < 12; ++i)
        if (text[i] < '0' || text[i] > '9')
            return std::nullopt;
    const auto two = [&](size_t at) {
        return uint32_t(text[at] - '0') * 10 + (text[at + 1] - '0');
    };
    UtcTime t{2000 + two(0), two(2), two(4), two(6), two(8), static_cast<double>(two(10))};
    if (text.size() > 13 && text[12] == '.') {
        double scale = 0.1;
        for (size_t i = 13; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            t.second += (text[i] - '0') * scale;
            scale /= 10;
        }
    }
    return t;
}

// A month as recorded, unchecked: one out of 1..12 has no length to go by and
// is carried as 31 days.
uint32_t recorded_month_length(uint32_t year, uint32_t month) {
    if (month < 1 || month > 12)
        return 31;
    return days_in_month(year, month);
}

// The time `offset` seconds (0 up to a day) after `t`, carried into the
// minute, hour, day, month and year as a clock does.
UtcTime later(UtcTime t, double offset) {
    const double total = t.second + offset;
    if (total < 60) {
        t.second = total;
        return t;
    }
    const auto minutes = static_cast<uint32_t>(std::floor(total / 60));
    t.second = total - 60.0 * minutes;
    t.minute += minutes;
    t.hour += t.minute / 60;
    t.minute %= 60;
    uint32_t days = t.hour / 24;
    t.hour %= 24;
    for (; days > 0; --days) {
        if (++t.day > recorded_month_length(t.year, t.month)) {
            t.day = 1;
            if (++t.month > 12) {
                t.month = 1;
                ++t.year;
            }
        }
    }
    return t;
}

// Initial great-circle bearing from a to b, degrees clockwise from north.
double course(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kRad = std::numbers::pi / 180;
    const double p1 = lat1 * kRad, p2 = lat2 * kRad, dl = (lon2 - lon1) * kRad;
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    const double deg = std::atan2(y, x) / kRad;
    return deg < 0 ? deg + 360 : deg;
}

// One GPS5 entry's positions with the GPSU time of its stream.
struct GpsRun {
    std::optional<UtcTime> time;
    std::vector<double> values;  // five a position, scaled
};

struct SampleContents {
    std::vector<GpsRun> gps;
    std::vector<double> accel;  // three a reading, m/s2
};

// Reads one container. SCAL and GPSU hold for the container they stand in,
// as a stream's settings hold for its data. GPSF (fix kind) and GPSP
// (precision) are read past: ExifTool reports every GPS5 position whatever
// they say, and so does CamVault, so that both give the same positions.
void walk(std::span<const uint8_t> body, int depth, SampleContents& out) {
    std::vector<double> scale;
    std::optional<UtcTime> gpsu;
    const size_t first_run = out.gps.size();
    for (const Entry& e : entries_of(body)) {
        if (e.type == 0) {
            if (depth + 1 < kMaxGpmfDepth)
                walk(e.payload, depth + 1, out);
        } else if (e.key == "SCAL") {
            const size_t n = number_size(e.type);
            scale.clear();
            if (n != 0)
                for (size_t at = 0; at + n <= e.payload.size(); at += n)
                    scale.push_back(read_number(e.type, &e.payload[at]));
        } else if (e.key == "GPSU") {
            gpsu = parse_gpsu(e.payload);
        } else if (e.key == "GPS5") {
            GpsRun run;
            run.values = structures(e, 5);
            if (!run.values.empty() && apply_scale(run.values, 5, scale))
                out.gps.push_back(std::move(run));
        } else if (e.key == "ACCL") {
            std::vector<double> readings = structures(e, 3);
            if (!readings.empty() && apply_scale(readings, 3, scale))
                out.accel.insert(out.accel.end(), readings.begin(), readings.end());
        }
    }
    // GoPro writes GPSU before GPS5, but the time is the stream's wherever it
    // stands in it.
    for (size_t i = first_run; i < out.gps.size(); ++i)
        if (!out.gps[i].time)
            out.gps[i].time = gpsu;
}

}  // namespace

bool GpmfDecoder::sample(std::span<const uint8_t> bytes, double duration_seconds) {
    SampleContents contents;
    walk(bytes, 0, contents);
    if (!(duration_seconds >= 0 && duration_seconds <= kMaxSampleSeconds))
        duration_seconds = 0;
    const size_t readings = contents.accel.size() / 3;
    for (const GpsRun& run : contents.gps) {
        if (!run.time)
            continue;  // no time, so no record key
        const size_t n = run.values.size() / 5;
        for (size_t k = 0; k < n; ++k) {
            const double* v = &run.values[5 * k];
            const UtcTime t = later(*run.time, duration_seconds * static_cast<double>(k) / n);
            TelemetryFix fix;
            fix.year = t.year;
            fix.month = t.month;
            fix.day = t.day;
            fix.hour = t.hour;
            fix.minute = t.minute;
            fix.second = t.second;
            fix.latitude = v[0];
            fix.longitude = v[1];
            fix.speed_kmh = v[3] * 3.6;  // the 2D speed, m/s
            // GPS5 holds no heading: the course is that from the previous
            // position to this one; standing still keeps the last course, and
            // before the first move it cannot be known and is 0.
            if (last_position_ && (last_position_->first != v[0] || last_position_->second != v[1]))
                last_course_ = course(last_position_->first, last_position_->second, v[0], v[1]);
            last_position_ = {v[0], v[1]};
            fix.track = last_course_;
            if (readings > 0) {
                // The reading taken at the same moment: both streams are
                // spread evenly over the sample.
                const size_t r = k * readings / n;
                fix.has_accel = true;
                fix.x = contents.accel[3 * r] / kStandardGravity;
                fix.y = contents.accel[3 * r + 1] / kStandardGravity;
                fix.z = contents.accel[3 * r + 2] / kStandardGravity;
            }
            if (!sink_(fix))
                return false;
        }
    }
    return true;
}

}  // namespace camvault
