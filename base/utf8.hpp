// UTF-8 validity and repair: WebKit silently drops a script that is not valid UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace camvault {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or
// code points above U+10FFFF).
bool is_valid_utf8(std::string_view text);

// `text` with every byte that begins no well-formed sequence replaced by
// U+FFFD, so that it can be shown (WebKit drops a script that is not UTF-8).
std::string to_valid_utf8(std::string_view text);

}  // namespace camvault
