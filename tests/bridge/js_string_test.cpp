// Values inserted into script text can never end their string literal.
#include "bridge/js_string.hpp"

#include <gtest/gtest.h>

#include "bridge/page_scripts.hpp"

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

TEST(PageScripts, ListingTextKeepsItsFormat) {
    EXPECT_EQ(file_list_script("", "", "0", "/Users/u/CAMVAULT/data"),
              "file_list_fun('','','0');user_path='/Users/u/CAMVAULT/data'");
    EXPECT_EQ(file_list_script("/h/CAMVAULT/data/it's.data,", "/c/it's.MOV,", "/c/it's.MOV",
                               "/h/CAMVAULT/data"),
              "file_list_fun('/h/CAMVAULT/data/it\\'s.data,','/c/it\\'s.MOV,','/c/it\\'s.MOV');"
              "user_path='/h/CAMVAULT/data'");
}

TEST(PageScripts, FunctionCallEscapesEveryArgument) {
    EXPECT_EQ(page_function_call("import_refused", {"/a,b.MOV", "it's got a comma"}),
              "import_refused('/a,b.MOV','it\\'s got a comma')");
    EXPECT_EQ(page_function_call("get_act", {}), "get_act()");
}

}  // namespace
}  // namespace camvault
