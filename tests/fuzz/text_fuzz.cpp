// Fuzzes the text helpers that page input reaches: percent-decoding, UTF-8
// validation and JavaScript escaping. An escaped value must read back as the
// value: no bare quote, backslash or line break may survive, and valid UTF-8
// stays valid.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/js_escape.hpp"
#include "base/text.hpp"
#include "base/utf8.hpp"

namespace {

// Undoes js_escape; aborts on an escape it never writes.
std::string unescape(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'' || c == '"' || c == '\n' || c == '\r')
            std::abort();  // would end the literal or the line
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= text.size())
            std::abort();
        switch (text[i]) {
            case '\\':
            case '\'':
            case '"':
                out += text[i];
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                if (i + 2 >= text.size())
                    std::abort();
                out +=
                    static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
                i += 2;
                break;
            }
            case 'u': {
                const std::string_view code = text.substr(i + 1, 4);
                if (code == "2028")
                    out += "\u2028";
                else if (code == "2029")
                    out += "\u2029";
                else
                    std::abort();
                i += 4;
                break;
            }
            default:
                std::abort();
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = camvault::percent_decode(text);
    if (decoded.size() > text.size())
        std::abort();
    const bool valid = camvault::is_valid_utf8(text);
    const std::string escaped = camvault::js_escape(text);
    if (unescape(escaped) != text)
        std::abort();
    if (valid && !camvault::is_valid_utf8(escaped))
        std::abort();
    return 0;
}
