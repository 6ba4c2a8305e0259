// The freeGPS layout registry: signatures and pure decoders (see the table in
// freegps_layouts.hpp). Every read is bounds-checked against the bytes handed
// over, since the boxes come from files anyone can write.
#include "telemetry/freegps_layouts.hpp"
#include "base/numbers.hpp"
#include "telemetry/civil_date.hpp"
#include "telemetry/gps_index.hpp"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camvault {

namespace {

constexpr double kKnotsToKmh = 1.852;
constexpr double kMpsToKmh = 3.6;

// Field reads that remember when one fell outside the bytes: a decoder then
// drops its fix rather than invent a value.
class Fields {
  public:
    explicit Fields(std::span<const uint8_t> bytes) : b_(bytes) {}

    bool ok() const { return ok_; }
    size_t size() const { return b_.size(); }

    uint8_t u8(size_t at) {
        if (!has(at, 1))
            return 0;
        return b_[at];
    }
    uint32_t u32(size_t at) {
        if (!has(at, 4))
            return 0;
        return uint32_t{b_[at]} | uint32_t{b_[at + 1]} << 8 | uint32_t{b_[at + 2]} << 16 |
               uint32_t{b_[at + 3]} << 24;
    }
    int32_t i32(size_t at) { return static_cast<int32_t>(u32(at)); }
    uint16_t u16(size_t at) {
        if (!has(at, 2))
            return 0;
        return static_cast<uint16_t>(b_[at] | b_[at + 1] << 8);
    }
    int16_t i16(size_t at) { return static_cast<int16_t>(u16(at)); }
    double f32(size_t at) {
        const uint32_t u = u32(at);
        float f;
        std::memcpy(&f, &u, sizeof f);
        return static_cast<double>(f);
    }
    double f64(size_t at) {
        if (!has(at, 8))
            return 0;
        uint64_t u = 0;
        for (int i = 7; i >= 0; --i)
            u = u << 8 | b_[at + static_cast<size_t>(i)];
        double d;
        std::memcpy(&d, &u, sizeof d);
        return d;
    }

  private:
    bool has(size_t at, size_t n) {
        if (at > b_.size() || b_.size() - at < n) {
            ok_ = false;
            return false;
        }
        return true;
    }
    std::span<const uint8_t> b_;
    bool ok_ = true;
};

bool byte_is(std::span<const uint8_t> b, size_t at, char c) {
    return at < b.size() && b[at] == static_cast<uint8_t>(c);
}
bool byte_in(std::span<const uint8_t> b, size_t at, char c1, char c2) {
    return byte_is(b, at, c1) || byte_is(b, at, c2);
}
bool zeros(std::span<const uint8_t> b, size_t at, size_t n) {
    if (at > b.size() || b.size() - at < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (b[at + i] != 0)
            return false;
    return true;
}
bool is_digit(uint8_t c) {
    return c >= '0' && c <= '9';
}
bool digits(std::span<const uint8_t> b, size_t at, size_t n) {
    if (at > b.size() || b.size() - at < n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (!is_digit(b[at + i]))
            return false;
    return true;
}
bool text_at(std::span<const uint8_t> b, size_t at, std::string_view text) {
    return at <= b.size() && b.size() - at >= text.size() &&
           std::memcmp(b.data() + at, text.data(), text.size()) == 0;
}
uint32_t number(std::span<const uint8_t> b, size_t at, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i)
        v = std::min<uint64_t>(v * 10 + (b[at + i] - '0'), UINT32_MAX);
    return static_cast<uint32_t>(v);
}

// DDDMM.MMMM (degrees times 100 plus minutes) to degrees; the sign is kept.
double ddmm_to_degrees(double v) {
    const double degrees = std::trunc(v / 100);
    return degrees + (v - degrees * 100) / 60;
}

double signed_by(double magnitude, bool negative) {
    return negative ? -magnitude : magnitude;
}

// The date of the layouts that count years from 2000 (or may hold the full year).
uint32_t full_year(uint32_t year) {
    return year < 2000 ? year + 2000 : year;
}

// Hour, minute, second, year, month, day as six 32-bit words at `at`.
void time_words(Fields& f, size_t at, TelemetryFix& fix) {
    fix.hour = f.u32(at);
    fix.minute = f.u32(at + 4);
    fix.second = f.u32(at + 8);
    fix.year = f.u32(at + 12);
    fix.month = f.u32(at + 16);
    fix.day = f.u32(at + 20);
}

void accel_words(Fields& f, size_t at, double divisor, TelemetryFix& fix) {
    fix.has_accel = true;
    fix.x = f.i32(at) / divisor;
    fix.y = f.i32(at + 4) / divisor;
    fix.z = f.i32(at + 8) / divisor;
}

bool month_plausible(const TelemetryFix& fix) {
    return fix.month >= 1 && fix.month <= 12;
}

// ---- NMEA recommended-minimum sentences in text ----

// A cursor over text that follows the sentence's grammar field by field.
class Cursor {
  public:
    Cursor(std::span<const uint8_t> b, size_t at) : b_(b), at_(at) {}
    size_t at() const { return at_; }
    bool literal(char c) {
        if (at_ < b_.size() && b_[at_] == static_cast<uint8_t>(c)) {
            ++at_;
            return true;
        }
        return false;
    }
    bool one_of(char c1, char c2, char& got) {
        if (at_ < b_.size() && (b_[at_] == static_cast<uint8_t>(c1) || b_[at_] == c2)) {
            got = static_cast<char>(b_[at_++]);
            return true;
        }
        return false;
    }
    // Up to `max` digits (as many as there are); how many were taken.
    size_t digit_run(size_t max = SIZE_MAX) {
        size_t n = 0;
        while (n < max && at_ < b_.size() && is_digit(b_[at_])) {
            ++at_;
            ++n;
        }
        return n;
    }
    std::string text_from(size_t start) const {
        return std::string(reinterpret_cast<const char*>(b_.data() + start), at_ - start);
    }

  private:
    std::span<const uint8_t> b_;
    size_t at_;
};

// "digits.digits" (at least one digit each side), as text.
std::optional<std::string> decimal(Cursor& c) {
    const size_t start = c.at();
    if (c.digit_run() == 0 || !c.literal('.') || c.digit_run() == 0)
        return std::nullopt;
    return c.text_from(start);
}

// "digits, an optional point, digits" (possibly empty), as text.
std::string optional_number(Cursor& c) {
    const size_t start = c.at();
    c.digit_run();
    c.literal('.');
    c.digit_run();
    return c.text_from(start);
}

double to_double(const std::string& text) {
    return parse_decimal(text);
}

// Parses "XXRMC,hhmmss[.s],[A],lat,N,lon,E,knots,track,ddmmyy..." starting at
// the talker letters at `at`; the fields a fix needs, or nothing.
std::optional<TelemetryFix> rmc_at(std::span<const uint8_t> b, size_t at) {
    if (at + 6 > b.size())
        return std::nullopt;
    for (size_t i = 0; i < 2; ++i)
        if (b[at + i] < 'A' || b[at + i] > 'Z')
            return std::nullopt;
    if (!text_at(b, at + 2, "RMC,"))
        return std::nullopt;
    Cursor c(b, at + 6);
    TelemetryFix fix;
    const size_t t = c.at();
    if (c.digit_run(2) != 2 || c.digit_run(2) != 2)
        return std::nullopt;
    fix.hour = number(b, t, 2);
    fix.minute = number(b, t + 2, 2);
    const size_t s = c.at();
    if (c.digit_run() == 0)
        return std::nullopt;
    if (c.literal('.'))
        c.digit_run();
    fix.second = to_double(c.text_from(s));
    char ref = 0;
    if (!c.literal(','))
        return std::nullopt;
    c.literal('A');
    if (!c.literal(','))
        return std::nullopt;
    const auto lat = decimal(c);
    if (!lat || !c.literal(',') || !c.one_of('N', 'S', ref) || !c.literal(','))
        return std::nullopt;
    const bool south = ref == 'S';
    const auto lon = decimal(c);
    if (!lon || !c.literal(',') || !c.one_of('E', 'W', ref) || !c.literal(','))
        return std::nullopt;
    const bool west = ref == 'W';
    const std::string knots = optional_number(c);
    if (!c.literal(','))
        return std::nullopt;
    const std::string track = optional_number(c);
    if (!c.literal(','))
        return std::nullopt;
    const size_t d = c.at();
    if (c.digit_run() < 5)
        return std::nullopt;
    fix.day = number(b, d, 2);
    fix.month = number(b, d + 2, 2);
    const uint32_t yy = number(b, d + 4, c.at() - d - 4);
    fix.year = yy + (yy >= 70 ? 1900 : 2000);
    fix.latitude = signed_by(ddmm_to_degrees(to_double(*lat)), south);
    fix.longitude = signed_by(ddmm_to_degrees(to_double(*lon)), west);
    if (!knots.empty())
        fix.speed_kmh = to_double(knots) * kKnotsToKmh;
    if (!track.empty())
        fix.track = to_double(track);
    return fix;
}

// The first RMC sentence anywhere in `b`, with or without its '$'.
std::optional<TelemetryFix> first_rmc(std::span<const uint8_t> b, bool needs_dollar) {
    for (size_t i = 0; i + 6 <= b.size(); ++i) {
        if (b[i + 2] != 'R' || b[i + 3] != 'M' || b[i + 4] != 'C')
            continue;
        if (needs_dollar && (i == 0 || b[i - 1] != '$'))
            continue;
        if (auto fix = rmc_at(b, i))
            return fix;
    }
    return std::nullopt;
}

// ---- the layouts ----

std::optional<TelemetryFix> decode_novatek(std::span<const uint8_t> box, BoxWay way) {
    Fields f(box);
    TelemetryFix fix;
    time_words(f, 48, fix);
    const bool south = box[73] == 'S';
    const bool west = box[74] == 'W';
    double lat = f.f32(76);
    double lon = f.f32(80);
    fix.speed_kmh = f.f32(84) * kKnotsToKmh;
    fix.track = f.f32(88);
    if (!f.ok())
        return std::nullopt;
    if (way == BoxWay::indexed) {
        // Some cameras repeat the position as doubles further on; they are
        // taken when they agree with the floats.
        Fields more(box);
        const double lat2 = more.f64(0x70);
        const double lon2 = more.f64(0x80);
        if (more.ok() && std::fabs(lat2 - lat) < 0.001 && std::fabs(lon2 - lon) < 0.001) {
            lat = lat2;
            lon = lon2;
        }
    } else if (!month_plausible(fix)) {
        return std::nullopt;
    }
    fix.year = full_year(fix.year);
    fix.latitude = signed_by(ddmm_to_degrees(lat), south);
    fix.longitude = signed_by(ddmm_to_degrees(lon), west);
    return fix;
}

std::optional<TelemetryFix> decode_viofo_a119v3(std::span<const uint8_t> box) {
    Fields f(box);
    TelemetryFix fix;
    time_words(f, 16, fix);
    // ExifTool turns a full year with local time into UTC with the local time
    // zone of the machine it runs on; the value is kept as recorded here.
    fix.year = full_year(fix.year);
    const double lat = f.f32(0x2c);
    const double lon = f.f32(0x30);
    fix.speed_kmh = f.f32(0x34) * kKnotsToKmh;
    fix.track = f.f32(0x38);
    // Twelve zero bytes, or the words 1 to 6, mean no reading.
    static constexpr uint8_t kCounting[12] = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0};
    if (!zeros(box, 60, 12) && box.size() >= 72 && std::memcmp(box.data() + 60, kCounting, 12) != 0)
        accel_words(f, 60, 256.0, fix);
    if (!f.ok())
        return std::nullopt;
    fix.latitude = signed_by(ddmm_to_degrees(lat), box[41] == 'S');
    fix.longitude = signed_by(ddmm_to_degrees(lon), box[42] == 'W');
    return fix;
}

std::optional<TelemetryFix> decode_akaso(std::span<const uint8_t> box, bool type2e) {
    Fields f(box);
    TelemetryFix fix;
    fix.hour = f.u32(48);
    fix.minute = f.u32(52);
    fix.second = f.u32(56);
    fix.year = f.u32(88);
    fix.month = f.u32(92);
    fix.day = f.u32(96);
    const double lat = f.f32(0x40);
    const double lon = f.f32(0x48);
    fix.speed_kmh = f.f32(0x50);  // already km/h
    fix.track = f.f32(0x54);
    if (type2e) {
        accel_words(f, 100, 1000.0, fix);
    } else {
        // This camera's track reads half a turn off.
        fix.track += 180;
        if (fix.track >= 360)
            fix.track -= 360;
    }
    if (!f.ok())
        return std::nullopt;
    if (type2e) {
        if (!month_plausible(fix))
            return std::nullopt;
        fix.year = full_year(fix.year);
    }
    fix.latitude = signed_by(ddmm_to_degrees(lat), box[68] == 'S');
    fix.longitude = signed_by(ddmm_to_degrees(lon), box[76] == 'W');
    return fix;
}

std::optional<TelemetryFix> decode_vantrue_s1(std::span<const uint8_t> box) {
    Fields f(box);
    TelemetryFix fix;
    fix.year = f.u32(68);
    fix.month = f.u32(72);
    fix.day = f.u32(76);
    fix.hour = f.u32(80);
    fix.minute = f.u32(84);
    fix.second = f.u32(88);
    accel_words(f, 112, 1000.0, fix);
    const double lon = f.f32(0x5c);
    const double lat = f.f32(0x60);
    fix.speed_kmh = f.f32(0x64) * kKnotsToKmh;
    fix.track = f.f32(0x68);
    if (!f.ok() || !month_plausible(fix) || fix.day < 1 || fix.day > 31)
        return std::nullopt;
    fix.year = full_year(fix.year);
    fix.latitude = signed_by(ddmm_to_degrees(lat), box[65] == 'S');
    fix.longitude = signed_by(ddmm_to_degrees(lon), box[66] == 'W');
    return fix;
}

// Three signed three-digit hundredths ("+093-003-005") at `at`.
bool signed_triplet(std::span<const uint8_t> t, size_t at, TelemetryFix& fix) {
    double v[3];
    for (size_t i = 0; i < 3; ++i) {
        const size_t p = at + 4 * i;
        if (!byte_in(t, p, '+', '-') || !digits(t, p + 1, 3))
            return false;
        v[i] = (t[p] == '-' ? -1.0 : 1.0) * number(t, p + 1, 3) / 100.0;
    }
    fix.has_accel = true;
    fix.x = v[0];
    fix.y = v[1];
    fix.z = v[2];
    return true;
}

std::optional<TelemetryFix> decode_azdome_text(std::span<const uint8_t> box, uint64_t length) {
    if (length < 92 || box.size() < 18)
        return std::nullopt;
    const size_t n = static_cast<size_t>(
        std::min<uint64_t>({length - 18, 0x101, static_cast<uint64_t>(box.size() - 18)}));
    uint8_t plain[0x101];
    for (size_t i = 0; i < n; ++i)
        plain[i] = box[18 + i] ^ 0xaa;
    const std::span<const uint8_t> t(plain, n);
    if (!digits(t, 8, 14) || !byte_in(t, 38, 'N', 'S') || !digits(t, 39, 8) ||
        !byte_in(t, 47, 'E', 'W') || !digits(t, 48, 9))
        return std::nullopt;
    TelemetryFix fix;
    fix.year = number(t, 8, 4);
    fix.month = number(t, 12, 2);
    fix.day = number(t, 14, 2);
    fix.hour = number(t, 16, 2);
    fix.minute = number(t, 18, 2);
    fix.second = number(t, 20, 2);
    const double lat = number(t, 39, 8) / 1e4;
    const double lon = number(t, 48, 9) / 1e4;
    if (digits(t, 57, 8)) {
        fix.speed_kmh = number(t, 57, 8);
    } else if (byte_in(t, 57, '+', '-') && digits(t, 58, 4) && digits(t, 62, 3)) {
        fix.speed_kmh = number(t, 62, 3);
    }
    if (!signed_triplet(t, 65, fix))
        signed_triplet(t, 173, fix);
    fix.latitude = signed_by(ddmm_to_degrees(lat), t[38] == 'S');
    fix.longitude = signed_by(ddmm_to_degrees(lon), t[47] == 'W');
    return fix;
}

std::optional<TelemetryFix> decode_nextbase_nmea(std::span<const uint8_t> box) {
    auto fix = first_rmc(box, true);
    if (!fix)
        return std::nullopt;  // a GGA sentence alone has no date to key a record
    Fields f(box);
    accel_words(f, 68, 256.0, *fix);
    if (!f.ok())
        return std::nullopt;
    return fix;
}

std::optional<TelemetryFix> decode_rmc_shifted(std::span<const uint8_t> box, uint64_t length) {
    if (length < 140 || box.size() < 140)
        return std::nullopt;
    uint8_t text[80];
    for (size_t i = 0; i < 80; ++i)
        text[i] = box[60 + i] >= 16 ? static_cast<uint8_t>(box[60 + i] - 16) : 0;
    return first_rmc(std::span<const uint8_t>(text, 80), false);
}

std::optional<TelemetryFix> decode_doubles_type2(std::span<const uint8_t> box) {
    Fields f(box);
    TelemetryFix fix;
    fix.hour = f.u32(48);
    fix.minute = f.u32(52);
    fix.second = f.u32(56);
    fix.year = f.u32(112);
    fix.month = f.u32(116);
    fix.day = f.u32(120);
    accel_words(f, 124, 1000.0, fix);
    const double lat = f.f64(0x40);
    const double lon = f.f64(0x50);
    fix.speed_kmh = f.f64(0x60) * kKnotsToKmh;
    fix.track = f.f64(0x68);
    if (!f.ok() || !month_plausible(fix))
        return std::nullopt;
    fix.year = full_year(fix.year);
    fix.latitude = signed_by(ddmm_to_degrees(lat), box[72] == 'S');
    fix.longitude = signed_by(ddmm_to_degrees(lon), box[88] == 'W');
    return fix;
}

std::optional<TelemetryFix> decode_iqs_integer(std::span<const uint8_t> box) {
    Fields f(box);
    TelemetryFix fix;
    time_words(f, 48, fix);
    const double lat = std::fabs(f.i32(0x4c) / 1e7);
    const double lon = std::fabs(f.i32(0x50) / 1e7);
    fix.speed_kmh = f.i32(0x54) / 100.0 * kMpsToKmh;
    if (!f.ok() || !month_plausible(fix))
        return std::nullopt;
    fix.year = full_year(fix.year);
    fix.latitude = signed_by(lat, box[73] == 'S');
    fix.longitude = signed_by(lon, box[74] == 'W');
    return fix;
}

std::optional<TelemetryFix> decode_vantrue_n4(std::span<const uint8_t> box) {
    Fields f(box);
    TelemetryFix fix;
    fix.hour = f.u32(16);
    fix.minute = f.u32(20);
    fix.second = f.u32(24);
    fix.year = f.u32(80);
    fix.month = f.u32(84);
    fix.day = f.u32(88);
    accel_words(f, 92, 1000.0, fix);
    const double lat = std::fabs(f.f64(32));
    const double lon = std::fabs(f.f64(48));
    fix.speed_kmh = f.f64(64) * kKnotsToKmh;
    fix.track = f.f64(72);
    if (!f.ok() || !month_plausible(fix))
        return std::nullopt;
    fix.year = full_year(fix.year);
    fix.latitude = signed_by(ddmm_to_degrees(lat), box[40] == 'S');
    fix.longitude = signed_by(ddmm_to_degrees(lon), box[56] == 'W');
    return fix;
}

// The ring buffer of 52-byte records, each lightly encrypted with two key
// bytes of its own. Every box repeats the whole ring; only records newer than
// the newest one already taken are new, and the search resumes after the
// place where the last box's newest record lay.
bool decode_atc_ring(std::span<const uint8_t> box, uint64_t length, FreeGpsState& state,
                     const FixSink& sink) {
    constexpr size_t kRecord = 52;
    static constexpr unsigned kMax[6] = {24, 59, 59, 2200, 12, 31};  // H M S Y m d
    static constexpr size_t kOrder[6] = {3, 4, 5, 0, 1, 2};          // Y m d H M S
    const size_t end = static_cast<size_t>(std::min<uint64_t>(length, box.size()));
    size_t last_found = 0;
    bool found_new = false;
    for (size_t pos = 0x30; pos + kRecord < length; pos += kRecord) {
        if (pos + kRecord > end)
            break;  // the bytes handed over end here
        uint8_t r[kRecord];
        std::memcpy(r, box.data() + pos, kRecord);
        const uint8_t key1 = r[0x14];
        const uint8_t key2 = r[0x1c];
        for (size_t i = 0; i <= 0x14; ++i)
            r[i] ^= key1;
        for (size_t i = 0x18; i <= 0x1b; ++i)
            r[i] ^= key1;
        r[0x1c] ^= key2;
        for (size_t i = 0x20; i <= 0x32; ++i)
            r[i] ^= key2;
        const std::span<const uint8_t> rec(r, kRecord);
        Fields f(rec);
        const std::array<unsigned, 6> now = {static_cast<unsigned>((r[0x0d] + 1) & 0xff),
                                             r[0x0e],
                                             r[0x0f],
                                             f.u16(0x2c),
                                             r[0x2e],
                                             r[0x2f]};
        bool valid = true;
        for (size_t i = 0; i < 6; ++i)
            valid = valid && now[i] <= kMax[i];
        if (!valid)
            continue;
        bool stop_box = false;
        for (size_t i : kOrder) {
            if (now[i] < state.latest[i]) {
                stop_box = found_new;
                break;
            }
            if (now[i] == state.latest[i])
                continue;
            state.latest = now;
            TelemetryFix fix;
            fix.hour = now[0];
            fix.minute = now[1];
            fix.second = now[2];
            fix.year = now[3];
            fix.month = now[4];
            fix.day = now[5];
            fix.latitude = f.i32(0x10) / 1e7;
            fix.longitude = f.i32(0x18) / 1e7;
            fix.speed_kmh = f.i32(0x20) / 100.0 * kMpsToKmh;
            fix.track = f.i16(0x24) / 100.0;
            if (fix.track < 0)
                fix.track += 360;
            if (!sink(fix))
                return false;
            last_found = pos;
            found_new = true;
            state.recent_position = 0;
            break;
        }
        if (stop_box)
            break;
        if (state.recent_position != 0 && pos < state.recent_position)
            pos = state.recent_position;
    }
    state.recent_position = last_found;
    return true;
}

// The INNOVV records of one box, timed from the movie (see the table comment
// in freegps_layouts.hpp): nothing without the movie's creation time.
bool decode_innovv(std::span<const uint8_t> box, uint64_t length, FreeGpsState& state,
                   const FixSink& sink) {
    constexpr size_t kRecord = 32;
    constexpr int64_t kDay = 86400;
    const uint64_t place = state.innovv_boxes++;
    // Only the times a movie header can give (see read_movie_creation_time).
    if (!state.movie_created || *state.movie_created < -kQuickTimeEpochOffset ||
        *state.movie_created > kLatestMovieTime)
        return true;
    const size_t end = static_cast<size_t>(std::min<uint64_t>(length, box.size()));
    std::vector<size_t> starts;
    if (end < kRecord)
        return true;
    for (size_t at = 0; end - at >= kRecord;) {
        const void* a = std::memchr(box.data() + at, 'A', end - kRecord + 1 - at);
        if (a == nullptr)
            break;
        at = static_cast<size_t>(static_cast<const uint8_t*>(a) - box.data());
        if (byte_in(box, at + 1, 'N', 'S') && byte_in(box, at + 2, 'E', 'W') && box[at + 3] == 0) {
            starts.push_back(at);
            at += kRecord;
        } else {
            ++at;
        }
    }
    if (starts.empty())
        return true;
    // The box's second. No clip holds 2^40 boxes; the bound keeps the sum in range.
    const int64_t when =
        *state.movie_created + static_cast<int64_t>(std::min<uint64_t>(place, 1ULL << 40));
    const int64_t days = (when >= 0 ? when : when - (kDay - 1)) / kDay;
    const int64_t of_day = when - days * kDay;
    const CivilDate date = civil_from_days(days);
    uint8_t decimals = 1;
    for (size_t apart = 10; apart < starts.size() && decimals < 6; apart *= 10)
        ++decimals;
    for (size_t k = 0; k < starts.size(); ++k) {
        Fields f(box.subspan(starts[k], kRecord));
        TelemetryFix fix;
        fix.year = static_cast<uint32_t>(date.year);
        fix.month = date.month;
        fix.day = date.day;
        fix.hour = static_cast<uint32_t>(of_day / 3600);
        fix.minute = static_cast<uint32_t>(of_day / 60 % 60);
        fix.second = static_cast<double>(of_day % 60) +
                     static_cast<double>(k) / static_cast<double>(starts.size());
        fix.second_decimals = decimals;
        const double lat = std::fabs(f.f32(4));
        const double lon = std::fabs(f.f32(8));
        fix.speed_kmh = f.f32(12) * kKnotsToKmh;
        fix.track = f.f32(16);
        fix.latitude = signed_by(ddmm_to_degrees(lat), box[starts[k] + 1] == 'S');
        fix.longitude = signed_by(ddmm_to_degrees(lon), box[starts[k] + 2] == 'W');
        if (!sink(fix))
            return false;
    }
    return true;
}

bool emit(const std::optional<TelemetryFix>& fix, const FixSink& sink) {
    return !fix || sink(*fix);
}

}  // namespace

std::string_view layout_name(TelemetryLayout layout) {
    switch (layout) {
        case TelemetryLayout::nextbase_block:
            return "nextbase-block";
        case TelemetryLayout::novatek:
            return "novatek";
        case TelemetryLayout::viofo_a119v3:
            return "viofo-a119v3";
        case TelemetryLayout::akaso:
            return "akaso";
        case TelemetryLayout::vantrue_s1:
            return "vantrue-s1";
        case TelemetryLayout::azdome_text:
            return "azdome-text";
        case TelemetryLayout::nextbase_nmea:
            return "nextbase-nmea";
        case TelemetryLayout::rmc_shifted:
            return "rmc-shifted";
        case TelemetryLayout::doubles_type2:
            return "doubles-type2";
        case TelemetryLayout::iqs_integer:
            return "iqs-integer";
        case TelemetryLayout::floats_type2e:
            return "floats-type2e";
        case TelemetryLayout::vantrue_n4:
            return "vantrue-n4";
        case TelemetryLayout::atc_ring:
            return "atc-ring";
        case TelemetryLayout::nmea_text_track:
            return "nmea-text-track";
        case TelemetryLayout::kingslim_d4:
            return "kingslim-d4";
        case TelemetryLayout::akaso_v1:
            return "akaso-v1";
        case TelemetryLayout::eachpai:
            return "eachpai";
        case TelemetryLayout::innovv:
            return "innovv";
        case TelemetryLayout::gopro_gpmf:
            return "gopro-gpmf";
        case TelemetryLayout::count:
            break;
    }
    return "unknown";
}

GSensor layout_gsensor(TelemetryLayout layout) {
    switch (layout) {
        case TelemetryLayout::nextbase_block:
            return GSensor::camvault_axes;
        case TelemetryLayout::viofo_a119v3:
        case TelemetryLayout::vantrue_s1:
        case TelemetryLayout::azdome_text:
        case TelemetryLayout::nextbase_nmea:
        case TelemetryLayout::doubles_type2:
        case TelemetryLayout::floats_type2e:
        case TelemetryLayout::vantrue_n4:
        // ACCL in GoPro's own sensor order; ExifTool names no axes for it, so
        // its readings are kept as recorded (converted from m/s2 to g).
        case TelemetryLayout::gopro_gpmf:
            return GSensor::axes_unknown;
        default:
            return GSensor::none;
    }
}

TelemetryLayout identify_freegps(std::span<const uint8_t> b, BoxWay way, uint64_t length) {
    using L = TelemetryLayout;
    if (b.size() < kIdentifyBytes || !text_at(b, 4, "freeGPS "))
        return L::nextbase_block;
    if (way == BoxWay::indexed) {
        if (length < 92)
            return L::nextbase_block;
        static constexpr uint8_t kAzdome[8] = {0xaa, 0xaa, 0xf2, 0xe1, 0xf0, 0xee, 0x54, 0x54};
        if (std::memcmp(b.data() + 18, kAzdome, 8) == 0)
            return L::azdome_text;
        if (digits(b, 52, 14))
            return L::nextbase_nmea;
        if (zeros(b, 37, 3) && byte_is(b, 40, 'A') && byte_in(b, 41, 'N', 'S') &&
            byte_in(b, 42, 'E', 'W'))
            return L::viofo_a119v3;
        if (zeros(b, 21, 3) && byte_is(b, 24, 'A') && byte_in(b, 25, 'N', 'S') &&
            byte_in(b, 26, 'E', 'W'))
            return L::kingslim_d4;
        if (byte_is(b, 60, 'A') && zeros(b, 61, 3) && byte_in(b, 68, 'N', 'S') && zeros(b, 69, 3) &&
            byte_in(b, 76, 'E', 'W') && zeros(b, 77, 3))
            return L::akaso;
        if (text_at(b, 60, "4W`b]S<") && length >= 140)
            return L::rmc_shifted;
        if (b[64] >= 1 && b[64] <= 12 && zeros(b, 65, 3) && b[68] >= 1 && b[68] <= 0x1f &&
            zeros(b, 69, 3) && byte_is(b, 72, 'A') && byte_in(b, 73, 'N', 'S') &&
            byte_in(b, 74, 'E', 'W') && zeros(b, 75, 5))
            return L::akaso_v1;
        if (b[12] == 0xac && zeros(b, 13, 3) && length >= 132)
            return L::eachpai;
        if (byte_is(b, 64, 'A') && byte_in(b, 65, 'N', 'S') && byte_in(b, 66, 'E', 'W') &&
            zeros(b, 67, 1))
            return L::vantrue_s1;
        if (byte_is(b, 72, 'A') && byte_in(b, 73, 'N', 'S') && byte_in(b, 74, 'E', 'W'))
            return L::novatek;
        return L::nextbase_block;
    }
    // A scanned box is taken only with a 32-bit size whose first and last
    // bytes are zero, and at least one record's worth of bytes.
    if (b[0] != 0 || b[3] != 0 || length < 82)
        return L::nextbase_block;
    if (text_at(b, 0x45, "ATC"))
        return L::atc_ring;
    if (byte_is(b, 60, 'A') && zeros(b, 61, 1) && byte_in(b, 72, 'N', 'S') && zeros(b, 73, 1) &&
        byte_in(b, 88, 'E', 'W') && zeros(b, 89, 1))
        return L::doubles_type2;
    if (byte_is(b, 72, 'A') && byte_in(b, 73, 'N', 'S') && byte_in(b, 74, 'E', 'W'))
        return text_at(b, 16, "IQS") ? L::iqs_integer : L::novatek;
    if (byte_is(b, 60, 'A') && zeros(b, 61, 1) && byte_in(b, 68, 'N', 'S') && zeros(b, 69, 1) &&
        byte_in(b, 76, 'E', 'W') && zeros(b, 77, 1) && length >= 112)
        return L::floats_type2e;
    if (byte_is(b, 16, 'A') && byte_in(b, 17, 'N', 'S') && byte_in(b, 18, 'E', 'W') &&
        zeros(b, 19, 1))
        return L::innovv;
    if (byte_is(b, 28, 'A') && byte_in(b, 40, 'N', 'S') && byte_in(b, 56, 'E', 'W'))
        return L::vantrue_n4;
    return L::nextbase_block;
}

size_t freegps_bytes_needed(TelemetryLayout layout, uint64_t length) {
    switch (layout) {
        case TelemetryLayout::nextbase_nmea:
        case TelemetryLayout::atc_ring:
        case TelemetryLayout::innovv:
            return static_cast<size_t>(length);
        default:
            return 0x101 + 18;  // the furthest any fixed layout reads
    }
}

bool decode_freegps(TelemetryLayout layout, std::span<const uint8_t> box, uint64_t length,
                    FreeGpsState& state, const FixSink& sink, BoxWay way) {
    if (box.size() < kIdentifyBytes)
        return true;
    switch (layout) {
        case TelemetryLayout::novatek:
            return emit(decode_novatek(box, way), sink);
        case TelemetryLayout::viofo_a119v3:
            return emit(decode_viofo_a119v3(box), sink);
        case TelemetryLayout::akaso:
            return emit(decode_akaso(box, false), sink);
        case TelemetryLayout::floats_type2e:
            return emit(decode_akaso(box, true), sink);
        case TelemetryLayout::vantrue_s1:
            return emit(decode_vantrue_s1(box), sink);
        case TelemetryLayout::azdome_text:
            return emit(decode_azdome_text(box, length), sink);
        case TelemetryLayout::nextbase_nmea:
            return emit(decode_nextbase_nmea(box), sink);
        case TelemetryLayout::rmc_shifted:
            return emit(decode_rmc_shifted(box, length), sink);
        case TelemetryLayout::doubles_type2:
            return emit(decode_doubles_type2(box), sink);
        case TelemetryLayout::iqs_integer:
            return emit(decode_iqs_integer(box), sink);
        case TelemetryLayout::vantrue_n4:
            return emit(decode_vantrue_n4(box), sink);
        case TelemetryLayout::atc_ring:
            return decode_atc_ring(box, length, state, sink);
        case TelemetryLayout::innovv:
            return decode_innovv(box, length, state, sink);
        default:
            return true;  // recognised only, or the original block (decoded elsewhere)
    }
}

}  // namespace camvault
