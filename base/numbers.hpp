// Numbers as machines read them: always a decimal point, whatever locale the
// user runs (GTK sets it from the environment, and "%f" or strtod would then
// write or read a decimal comma in German).
#pragma once

#include <string>
#include <string_view>

namespace camvault {

// `value` with `decimals` digits after the point, as printf's "%.*f" in the C locale.
std::string fixed_decimals(double value, int decimals);

// The number at the start of `text` as strtod reads it in the C locale
// (leading blanks, a sign, digits, a point, an exponent); 0 when there is none.
double parse_decimal(std::string_view text);

}  // namespace camvault
