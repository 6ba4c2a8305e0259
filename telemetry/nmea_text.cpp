// NMEA sentences in timed-text samples.
#include "telemetry/nmea_text.hpp"
#include "base/numbers.hpp"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

namespace camvault {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_word(char c) {
    return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// A cursor over one sentence's fields, following its grammar.
class Text {
  public:
    explicit Text(std::string_view s) : s_(s) {}
    size_t at() const { return at_; }
    std::string_view from(size_t start) const { return s_.substr(start, at_ - start); }
    bool lit(char c) {
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool one_of(std::string_view set, char& got) {
        if (at_ < s_.size() && set.find(s_[at_]) != std::string_view::npos) {
            got = s_[at_++];
            return true;
        }
        return false;
    }
    size_t digits(size_t max = SIZE_MAX) {
        size_t n = 0;
        while (n < max && at_ < s_.size() && is_digit(s_[at_])) {
            ++at_;
            ++n;
        }
        return n;
    }
    // digits, an optional point, digits: possibly nothing at all
    void loose_number() {
        digits();
        lit('.');
        digits();
    }

  private:
    std::string_view s_;
    size_t at_ = 0;
};

double number(std::string_view text) {
    return parse_decimal(text);
}

// "ddmm.mmmm" as degrees: the two digits before the point and what follows
// are minutes, the digits before them degrees.
std::optional<double> angle(Text& t) {
    const size_t start = t.at();
    const size_t whole = t.digits();
    if (whole == 0 || !t.lit('.') || t.digits() == 0)
        return std::nullopt;
    const std::string_view all = t.from(start);
    const size_t degree_digits = whole >= 2 ? whole - 2 : 0;
    const double degrees = degree_digits ? number(all.substr(0, degree_digits)) : 0.0;
    return degrees + number(all.substr(degree_digits)) / 60;
}

struct Sentence {
    std::string time;  // "hh:mm:ss.sss", which ties the sentences of one fix
    TelemetryFix fix;
    bool has_date = false;
};

// ",hhmmss.s" (the point required when `point` is set); fills the time fields.
bool time_field(Text& t, bool point, Sentence& s) {
    const size_t start = t.at();
    if (!t.lit(',') || t.digits(2) != 2 || t.digits(2) != 2)
        return false;
    const size_t sec = t.at();
    if (t.digits() == 0)
        return false;
    if (t.lit('.'))
        t.digits();
    else if (point)
        return false;
    const std::string_view all = t.from(start + 1);
    s.fix.hour = static_cast<uint32_t>(number(all.substr(0, 2)));
    s.fix.minute = static_cast<uint32_t>(number(all.substr(2, 2)));
    s.fix.second = number(t.from(sec));
    s.time = std::string(all.substr(0, 2)) + ":" + std::string(all.substr(2, 2)) + ":" +
             std::string(t.from(sec));
    return true;
}

// "lat,N,lon,E" after a comma; fills the position.
bool position(Text& t, Sentence& s) {
    char ns = 0, ew = 0;
    const auto lat = angle(t);
    if (!lat || !t.lit(',') || !t.one_of("NS", ns) || !t.lit(','))
        return false;
    const auto lon = angle(t);
    if (!lon || !t.lit(',') || !t.one_of("EW", ew))
        return false;
    s.fix.latitude = ns == 'N' ? *lat : -*lat;
    s.fix.longitude = ew == 'E' ? *lon : -*lon;
    return true;
}

std::optional<Sentence> rmc(std::string_view data) {
    Text t(data);
    Sentence s;
    if (!time_field(t, true, s) || !t.lit(','))
        return std::nullopt;
    t.lit('A');
    if (!t.lit(',') || !position(t, s) || !t.lit(','))
        return std::nullopt;
    const size_t knots = t.at();
    t.loose_number();
    const std::string_view speed = t.from(knots);
    if (!t.lit(','))
        return std::nullopt;
    const size_t track_at = t.at();
    t.loose_number();
    const std::string_view track = t.from(track_at);
    if (!t.lit(','))
        return std::nullopt;
    const size_t date = t.at();
    if (t.digits() < 5)
        return std::nullopt;
    const std::string_view d = t.from(date);
    s.fix.day = static_cast<uint32_t>(number(d.substr(0, 2)));
    s.fix.month = static_cast<uint32_t>(number(d.substr(2, 2)));
    const uint32_t yy = static_cast<uint32_t>(std::min(number(d.substr(4)), 4e9));
    s.fix.year = yy + (yy >= 70 ? 1900 : 2000);
    if (!speed.empty())
        s.fix.speed_kmh = number(speed) * 1.852;
    if (!track.empty())
        s.fix.track = number(track);
    s.has_date = true;
    return s;
}

std::optional<Sentence> gga(std::string_view data) {
    Text t(data);
    Sentence s;
    if (!time_field(t, false, s) || !t.lit(',') || !position(t, s) || !t.lit(','))
        return std::nullopt;
    char quality;
    t.one_of("123456", quality);
    if (!t.lit(','))
        return std::nullopt;
    t.digits();  // satellites
    if (!t.lit(','))
        return std::nullopt;
    t.loose_number();  // dilution
    if (!t.lit(','))
        return std::nullopt;
    t.lit('-');
    t.loose_number();  // altitude
    if (!t.lit(','))
        return std::nullopt;
    return s;
}

}  // namespace

bool NmeaTextDecoder::flush() {
    const Group g = group_;
    group_ = Group{};
    if (merging_ || !g.has_date || !g.has_position)
        return true;
    return sink_(g.fix);
}

bool NmeaTextDecoder::sample(std::span<const uint8_t> bytes) {
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (text.substr(0, 6) != "$BEGIN") {
        static constexpr std::string_view kEncd(
            "\0\0\0\x0c"
            "encd\0\0\x01\0",
            12);
        if (text.size() >= kEncd.size() && text.substr(text.size() - kEncd.size()) == kEncd)
            text.remove_suffix(kEncd.size());
        if (text.size() >= 2 && (static_cast<size_t>(static_cast<uint8_t>(text[0])) << 8 |
                                 static_cast<uint8_t>(text[1])) == text.size() - 2)
            text.remove_prefix(2);
    }
    // Each "$WORD..." up to the next '$' is one sentence.
    size_t at = text.find('$');
    while (at != std::string_view::npos) {
        size_t end_word = at + 1;
        while (end_word < text.size() && is_word(text[end_word]))
            ++end_word;
        const size_t next = text.find('$', end_word);
        if (end_word == at + 1) {  // a '$' without a word
            at = text.find('$', at + 1);
            continue;
        }
        const std::string_view tag = text.substr(at + 1, end_word - at - 1);
        const std::string_view data =
            text.substr(end_word, (next == std::string_view::npos ? text.size() : next) - end_word);
        const bool talker =
            tag.size() == 5 && tag[0] >= 'A' && tag[0] <= 'Z' && tag[1] >= 'A' && tag[1] <= 'Z';
        std::optional<Sentence> s;
        if (talker && tag.substr(2) == "RMC")
            s = rmc(data);
        else if (talker && tag.substr(2) == "GGA")
            s = gga(data);
        if (s) {
            if (!last_time_.empty() && last_time_ != s->time) {
                if (!flush())
                    return false;
                merging_ = false;
            } else if (!last_time_.empty() && last_time_ == s->time && !group_.has_position) {
                merging_ = true;  // the fix of this time was handed over already
            }
            last_time_ = s->time;
            if (s->has_date) {
                group_.fix = s->fix;
                group_.has_date = true;
            } else {
                group_.fix.latitude = s->fix.latitude;
                group_.fix.longitude = s->fix.longitude;
                if (!group_.has_date) {
                    group_.fix.hour = s->fix.hour;
                    group_.fix.minute = s->fix.minute;
                    group_.fix.second = s->fix.second;
                }
            }
            group_.has_position = true;
        }
        at = next;
    }
    if (group_.has_position) {
        if (!flush())
            return false;
    }
    return true;
}

}  // namespace camvault
