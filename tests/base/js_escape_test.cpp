// Values inserted into script text can never end their string literal.
#include "base/js_escape.hpp"

#include <gtest/gtest.h>

namespace camvault {
namespace {

TEST(JsEscape, PlainTextIsUnchanged) {
    EXPECT_EQ(js_escape("/Volumes/CARD/DCIM/FILE0001.MOV,"), "/Volumes/CARD/DCIM/FILE0001.MOV,");
    EXPECT_EQ(js_escape("日本語 Ü #?&%20"), "日本語 Ü #?&%20");
    EXPECT_EQ(js_escape(""), "");
}

TEST(JsEscape, QuotesBackslashesAndLineBreaksAreEscaped) {
    EXPECT_EQ(js_escape("it's"), "it\\'s");
    EXPECT_EQ(js_escape("say \"hi\""), "say \\\"hi\\\"");
    EXPECT_EQ(js_escape("a\\b"), "a\\\\b");
    EXPECT_EQ(js_escape("a\nb\rc\td"), "a\\nb\\rc\\td");
    EXPECT_EQ(js_escape(std::string("a\0b", 3)), "a\\x00b");
    EXPECT_EQ(js_escape("\x1b"), "\\x1b");
}

TEST(JsEscape, LineAndParagraphSeparatorsAreEscaped) {
    EXPECT_EQ(js_escape("a\u2028b\u2029c"), "a\\u2028b\\u2029c");
    // A truncated sequence passes through untouched.
    EXPECT_EQ(js_escape("\xE2\x80"), "\xE2\x80");
}

}  // namespace
}  // namespace camvault
