// UTF-8 validity and repair.
#include "base/utf8.hpp"

namespace camvault {
namespace {

// The length of the well-formed sequence at text[i], or 0 when there is none.
size_t sequence_length(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;  // overlong
        if (lead == 0xED)
            high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;  // overlong
        if (lead == 0xF4)
            high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    const auto second = static_cast<unsigned char>(text[i + 1]);
    if (second < low || second > high)
        return 0;
    for (size_t k = 2; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if (next < 0x80 || next > 0xBF)
            return 0;
    }
    return length;
}

}  // namespace

bool is_valid_utf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = sequence_length(text, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string to_valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = sequence_length(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for each byte that starts no sequence
            ++i;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

}  // namespace camvault
