// Locale-independent number text.
#include "base/numbers.hpp"

#include <charconv>

namespace camvault {

std::string fixed_decimals(double value, int decimals) {
    char buffer[400];  // the largest double has 309 digits before the point
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("nan");
}

double parse_decimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\v' || text[i] == '\f' || text[i] == '\r'))
        ++i;
    if (i < text.size() && text[i] == '+')
        ++i;
    double value = 0;
    const auto r = std::from_chars(text.data() + i, text.data() + text.size(), value);
    return r.ec == std::errc() ? value : 0.0;
}

}  // namespace camvault
