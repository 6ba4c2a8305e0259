// Escaping of values inserted into script text as JavaScript string content.
#pragma once

#include <string>
#include <string_view>

namespace camvault {

// Returns `value` escaped so that it can stand between single or double quotes
// in a JavaScript string literal and reads back as exactly `value`: backslash,
// both quotes, control characters, U+2028 and U+2029 are escaped. Text without
// such characters is returned unchanged. Bytes that are not valid UTF-8 are
// passed through as they are.
std::string js_escape(std::string_view value);

}  // namespace camvault
