// Reading a telemetry script file back into points.
//
// A line is a sequence of statements, each parsed by a small cursor rather than
// by searching for separators: a clip name may hold ';', '[', '=' or an escaped
// quote, and only reading its string literal knows where the name ends.
#include "telemetry/script_reader.hpp"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/fs/files.hpp"
#include "base/fs/syscalls.hpp"
#include "telemetry/civil_date.hpp"

namespace camvault {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

unsigned hex_value(char c) {
    if (is_digit(c))
        return static_cast<unsigned>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<unsigned>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned>(c - 'A' + 10);
    return 16;
}

// Reads `count` hex digits at `text[i]`; false when they are not all there.
bool read_hex(std::string_view text, size_t i, size_t count, unsigned& out) {
    if (i + count > text.size())
        return false;
    out = 0;
    for (size_t k = 0; k < count; ++k) {
        const unsigned v = hex_value(text[i + k]);
        if (v > 15)
            return false;
        out = out * 16 + v;
    }
    return true;
}

void append_utf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The content of a JavaScript string literal as the page's engine reads it:
// every escape js_escape writes, and the other single-character escapes.
std::string js_unescape(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 >= raw.size()) {
            out += raw[i];
            continue;
        }
        const char c = raw[++i];
        unsigned code = 0;
        switch (c) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'v':
                out += '\v';
                break;
            case '0':
                out += '\0';
                break;
            case 'x':
                if (read_hex(raw, i + 1, 2, code)) {
                    // \xHH is a code point, not a byte: js_escape writes it
                    // only for control characters, which are both.
                    append_utf8(out, code);
                    i += 2;
                } else {
                    out += c;
                }
                break;
            case 'u':
                if (read_hex(raw, i + 1, 4, code)) {
                    i += 4;
                    unsigned low = 0;
                    if (code >= 0xD800 && code <= 0xDBFF && i + 2 < raw.size() &&
                        raw[i + 1] == '\\' && raw[i + 2] == 'u' && read_hex(raw, i + 3, 4, low) &&
                        low >= 0xDC00 && low <= 0xDFFF) {
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                        i += 6;
                    } else if (code >= 0xD800 && code <= 0xDFFF) {
                        code = 0xFFFD;  // a lone surrogate has no UTF-8 form
                    }
                    append_utf8(out, code);
                } else {
                    out += c;
                }
                break;
            default:
                out += c;  // \\, \', \" and any other character stand for themselves
                break;
        }
    }
    return out;
}

// A cursor over one line.
class Cursor {
  public:
    explicit Cursor(std::string_view text) : text_(text) {}

    bool at_end() {
        skip_blanks();
        return pos_ >= text_.size();
    }

    // Consumes `token` (after blanks) when it is next.
    bool eat(std::string_view token) {
        skip_blanks();
        if (text_.substr(pos_, token.size()) != token)
            return false;
        pos_ += token.size();
        return true;
    }

    bool peek(char c) {
        skip_blanks();
        return pos_ < text_.size() && text_[pos_] == c;
    }

    // A string literal in single or double quotes; its content, escapes left
    // as they are. Escapes are skipped whole so that \" does not end it.
    bool literal(std::string_view& raw) {
        skip_blanks();
        if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\''))
            return false;
        const char quote = text_[pos_];
        const size_t start = pos_ + 1;
        for (size_t i = start; i < text_.size(); ++i) {
            if (text_[i] == '\\') {
                ++i;
            } else if (text_[i] == quote) {
                raw = text_.substr(start, i - start);
                pos_ = i + 1;
                return true;
            }
        }
        return false;
    }

    // An unquoted object key or number: letters, digits, '_', '$', '.', '+', '-'.
    bool bare_word(std::string_view& word) {
        skip_blanks();
        const size_t start = pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            const bool word_char = is_digit(c) || (c >= 'a' && c <= 'z') ||
                                   (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c == '.' ||
                                   c == '+' || c == '-';
            if (!word_char)
                break;
            ++pos_;
        }
        word = text_.substr(start, pos_ - start);
        return !word.empty();
    }

  private:
    void skip_blanks() {
        while (pos_ < text_.size() && is_blank(text_[pos_]))
            ++pos_;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

// A whole number written by the writer: optional blanks, then nothing but
// the number. "nan" and "inf" parse but are refused by the caller.
bool parse_number(std::string_view text, double& out) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);  // from_chars takes no plus sign; the page's parseFloat does
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

// The fields of one record object, from after '{' to after '}'.
struct RecordFields {
    enum : unsigned { kSpeed = 1, kDegrees = 2, kLat = 4, kLon = 8, kX = 16, kY = 32, kZ = 64 };
    static constexpr unsigned kAll = 127;
    unsigned seen = 0;
    bool finite = true;
    TelemetryPoint point;
};

bool read_fields(Cursor& in, RecordFields& fields) {
    while (!in.eat("}")) {
        std::string_view name;
        if (!in.literal(name) && !in.bare_word(name))
            return false;
        if (!in.eat(":"))
            return false;
        std::string_view value;
        if (!in.literal(value) && !in.bare_word(value))
            return false;
        struct Known {
            std::string_view name;
            unsigned bit;
            double TelemetryPoint::*member;
        };
        static constexpr Known kKnown[] = {
            {"speed", RecordFields::kSpeed, &TelemetryPoint::speed_kmh},
            {"degrees", RecordFields::kDegrees, &TelemetryPoint::heading},
            {"lat", RecordFields::kLat, &TelemetryPoint::lat},
            {"lon", RecordFields::kLon, &TelemetryPoint::lon},
            {"x", RecordFields::kX, &TelemetryPoint::gx},
            {"y", RecordFields::kY, &TelemetryPoint::gy},
            {"z", RecordFields::kZ, &TelemetryPoint::gz},
        };
        // Other names (the position label 'lbs') are the page's business.
        for (const Known& known : kKnown) {
            if (name != known.name)
                continue;
            double v = 0;
            if (!parse_number(value, v))
                return false;
            if (!std::isfinite(v))
                fields.finite = false;
            fields.point.*known.member = v;
            fields.seen |= known.bit;
        }
        if (!in.eat(",") && !in.peek('}'))
            return false;
    }
    return true;
}

bool read_uint(std::string_view text, size_t& pos, size_t max_digits, uint64_t& out) {
    const size_t start = pos;
    out = 0;
    while (pos < text.size() && is_digit(text[pos]) && pos - start < max_digits) {
        out = out * 10 + static_cast<uint64_t>(text[pos] - '0');
        ++pos;
    }
    return pos > start && (pos >= text.size() || !is_digit(text[pos]));
}

}  // namespace

std::optional<int64_t> parse_record_key(std::string_view key) {
    while (!key.empty() && is_blank(key.front()))
        key.remove_prefix(1);
    while (!key.empty() && is_blank(key.back()))
        key.remove_suffix(1);
    size_t pos = 0;
    uint64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const auto separator = [&](char c) {
        if (pos >= key.size() || key[pos] != c)
            return false;
        ++pos;
        return true;
    };
    if (!read_uint(key, pos, 4, year) || !separator('/') || !read_uint(key, pos, 2, month) ||
        !separator('/') || !read_uint(key, pos, 2, day) || !separator(' ') ||
        !read_uint(key, pos, 2, hour) || !separator(':') || !read_uint(key, pos, 2, minute) ||
        !separator(':') || !read_uint(key, pos, 2, second))
        return std::nullopt;
    // Milliseconds from the fraction's digits, rounded half up at the fourth.
    uint64_t millis = 0;
    if (pos < key.size() && key[pos] == '.') {
        ++pos;
        const size_t start = pos;
        uint64_t scale = 100;
        bool round_up = false;
        while (pos < key.size() && is_digit(key[pos])) {
            const uint64_t digit = static_cast<uint64_t>(key[pos] - '0');
            if (scale > 0)
                millis += digit * scale;
            else if (pos - start == 3)
                round_up = digit >= 5;
            scale /= 10;
            ++pos;
        }
        if (pos == start)
            return std::nullopt;
        millis += round_up ? 1 : 0;
    }
    if (pos != key.size())
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 ||
        day > days_in_month(static_cast<int64_t>(year), static_cast<unsigned>(month)) ||
        hour > 23 || minute > 59)
        return std::nullopt;
    // A second of 60 is a leap second, or a fix at 59.95 s printed to a tenth;
    // either is the next minute's start, and the arithmetic below carries it.
    const uint64_t second_ms = second * 1000 + millis;
    if (second_ms >= 61000)
        return std::nullopt;
    const int64_t days = days_from_civil(static_cast<int64_t>(year), static_cast<unsigned>(month),
                                         static_cast<unsigned>(day));
    return days * 86400000 + static_cast<int64_t>(hour * 3600000 + minute * 60000 + second_ms);
}

void ScriptReader::read_line(std::string_view line) {
    Cursor in(line);
    if (in.at_end())
        return;
    const auto same_clip = [this](std::string_view raw_name) {
        if (!have_name_) {
            name_raw_.assign(raw_name);
            contents_.clip_name = js_unescape(raw_name);
            have_name_ = true;
        }
        return raw_name == name_raw_;
    };
    // Each statement is read on its own; at the first one that cannot be read
    // the rest of the line is given up and the line counts as skipped.
    bool broken = true;
    while (true) {
        if (in.at_end()) {
            broken = false;
            break;
        }
        std::string_view name, key;
        if (in.eat("data_cut[")) {
            std::string_view count;
            if (!in.literal(name) || !in.eat("]") || !in.eat("=") || !in.bare_word(count) ||
                !in.eat(";") || !same_clip(name))
                break;
            contents_.cut = true;
            continue;
        }
        if (!in.eat("data[") || !in.literal(name) || !in.eat("]"))
            break;
        if (!in.eat("[")) {
            // The header: data['<name>']=new Array();
            if (!in.eat("=") || !in.eat("new Array()") || !in.eat(";") || !same_clip(name))
                break;
            continue;
        }
        if (!in.literal(key) || !in.eat("]") || !in.eat("="))
            break;
        if (in.eat("new Array()")) {
            if (!in.eat(";") || !same_clip(name))
                break;
            continue;
        }
        RecordFields fields;
        if (!in.eat("{") || !read_fields(in, fields) || !in.eat(";"))
            break;
        if (!same_clip(name) || fields.seen != RecordFields::kAll || !fields.finite)
            break;
        // Keys hold no escapes as written; a hand-made one still reads as the page would.
        const auto time = key.find('\\') == std::string_view::npos
                              ? parse_record_key(key)
                              : parse_record_key(js_unescape(key));
        if (!time)
            break;
        fields.point.time_ms = *time;
        contents_.points.push_back(fields.point);
    }
    if (broken)
        ++contents_.skipped_lines;
}

void ScriptReader::feed(std::string_view chunk) {
    while (!chunk.empty()) {
        const size_t feed_at = chunk.find('\n');
        const std::string_view piece = chunk.substr(0, feed_at);
        if (!overlong_ && partial_.size() + piece.size() > kMaxScriptLineLength) {
            overlong_ = true;
            partial_.clear();
            partial_.shrink_to_fit();
        }
        if (feed_at == std::string_view::npos) {
            if (!overlong_)
                partial_.append(piece);
            return;
        }
        if (overlong_) {
            ++contents_.skipped_lines;
            overlong_ = false;
        } else if (partial_.empty()) {
            read_line(piece);  // the common case: the whole line lies in this chunk
        } else {
            partial_.append(piece);
            read_line(partial_);
            partial_.clear();
        }
        chunk.remove_prefix(feed_at + 1);
    }
}

void ScriptReader::finish() {
    if (overlong_) {
        ++contents_.skipped_lines;
    } else if (!partial_.empty()) {
        read_line(partial_);
    }
    overlong_ = false;
    partial_.clear();
}

ScriptContents read_telemetry_script(std::string_view text) {
    ScriptReader reader;
    reader.feed(text);
    reader.finish();
    return reader.take();
}

Result<ScriptContents> read_telemetry_script_file(const std::string& path) {
    Result<int> fd = open_regular_file(path);
    if (!fd)
        return fd.failure();
    ScriptReader reader;
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        const ssize_t n = ::read(*fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            sys::close(*fd);
            return fail("cannot read " + path + ": " + std::strerror(error));
        }
        if (n == 0)
            break;
        reader.feed(std::string_view(buffer.data(), static_cast<size_t>(n)));
    }
    sys::close(*fd);
    reader.finish();
    return reader.take();
}

}  // namespace camvault
