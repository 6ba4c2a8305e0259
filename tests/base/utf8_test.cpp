// UTF-8 validity, which decides whether a path can reach the page at all.
#include "base/utf8.hpp"

#include <gtest/gtest.h>

namespace camvault {
namespace {

TEST(Utf8, AcceptsWellFormedText) {
    EXPECT_TRUE(is_valid_utf8(""));
    EXPECT_TRUE(is_valid_utf8("/media/card/DCIM/FILE0001.MOV"));
    EXPECT_TRUE(is_valid_utf8("Ü 日本語 \u2028 \U0001F697 \U0010FFFF"));
}

TEST(Utf8, RejectsLatin1TruncationsOverlongsSurrogatesAndTooLarge) {
    EXPECT_FALSE(is_valid_utf8("/media/Mai\xe4/A.MOV"));  // Latin-1 ä
    EXPECT_FALSE(is_valid_utf8("\xE6\x97"));              // cut short
    EXPECT_FALSE(is_valid_utf8("\xC0\xAF"));              // overlong "/"
    EXPECT_FALSE(is_valid_utf8("\xE0\x80\xAF"));          // overlong "/"
    EXPECT_FALSE(is_valid_utf8("\xED\xA0\x80"));          // surrogate
    EXPECT_FALSE(is_valid_utf8("\xF4\x90\x80\x80"));      // above U+10FFFF
    EXPECT_FALSE(is_valid_utf8("\x80"));                  // stray continuation
    EXPECT_FALSE(is_valid_utf8("\xE6\x97\x41"));          // bad continuation
}

TEST(Utf8, RepairReplacesEachBadByteAndKeepsTheRest) {
    EXPECT_EQ(to_valid_utf8("/media/Mai\xe4/A.MOV"), "/media/Mai\uFFFD/A.MOV");
    EXPECT_EQ(to_valid_utf8("\xE6\x97\x41"), "\uFFFD\uFFFDA");
    EXPECT_EQ(to_valid_utf8("Ü 日本語 \U0001F697"), "Ü 日本語 \U0001F697");
    for (const char* bad : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\xE6\x97"})
        EXPECT_TRUE(is_valid_utf8(to_valid_utf8(bad))) << bad;
}

}  // namespace
}  // namespace camvault
