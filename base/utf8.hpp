// UTF-8 validity: WebKit silently drops a script that is not valid UTF-8.
#pragma once

#include <string_view>

namespace camvault {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool is_valid_utf8(std::string_view text);

}  // namespace camvault
