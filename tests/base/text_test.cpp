// Text helpers: prefix removal, splitting with empty pieces, decoding.
#include "base/text.hpp"

#include <gtest/gtest.h>

namespace camvault {
namespace {

TEST(Text, RemovesEveryOccurrenceNotOnlyTheLeadingOne) {
    EXPECT_EQ(remove_all("http://x/a http://x/b", "http://x/"), "a b");
    EXPECT_EQ(remove_all("nothing", "http://x/"), "nothing");
    EXPECT_EQ(remove_all("", "http://x/"), "");
}

TEST(Text, ReplaceAllIsLeftToRightAndNonOverlapping) {
    EXPECT_EQ(replace_all("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(replace_all("abc", "", "x"), "abc");
}

TEST(Text, SplitKeepsEmptyPieces) {
    EXPECT_EQ(split_keep_empty("", ','), std::vector<std::string>{""});
    EXPECT_EQ(split_keep_empty("a,", ','), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(split_keep_empty(",,b", ','), (std::vector<std::string>{"", "", "b"}));
}

TEST(Text, PercentDecodingIsUtf8AndLeavesStrayPercentSigns) {
    EXPECT_EQ(percent_decode("/a%20b/%C3%9C%E6%97%A5.MOV"), "/a b/Ü日.MOV");
    EXPECT_EQ(percent_decode("%2520"), "%20");
    EXPECT_EQ(percent_decode("100%"), "100%");
    EXPECT_EQ(percent_decode("%4"), "%4");
    EXPECT_EQ(percent_decode("%zz%41"), "%zzA");
}

}  // namespace
}  // namespace camvault
