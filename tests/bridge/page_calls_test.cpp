// The script texts the page's functions expect, with every value escaped.
#include "bridge/page_calls.hpp"

#include <gtest/gtest.h>

namespace camvault {
namespace {

TEST(PageCalls, ListingTextKeepsItsFormat) {
    EXPECT_EQ(page_calls::file_list("", "", "0", "/Users/u/CAMVAULT/data"),
              "file_list_fun('','','0');user_path='/Users/u/CAMVAULT/data'");
    EXPECT_EQ(page_calls::file_list("/h/CAMVAULT/data/it's.data,", "/c/it's.MOV,", "/c/it's.MOV",
                                    "/h/CAMVAULT/data"),
              "file_list_fun('/h/CAMVAULT/data/it\\'s.data,','/c/it\\'s.MOV,','/c/it\\'s.MOV');"
              "user_path='/h/CAMVAULT/data'");
}

TEST(PageCalls, EveryArgumentIsEscaped) {
    EXPECT_EQ(page_calls::import_refused("/a,b.MOV", fail("it's got a comma")),
              "import_refused('/a,b.MOV','it\\'s got a comma')");
    EXPECT_EQ(page_calls::import_progress(1, 3, "A'.MOV"), "import_progress('1','3','A\\'.MOV')");
    EXPECT_EQ(page_calls::notice(fail("line\nbreak")), "notice('line\\nbreak')");
}

TEST(PageCalls, KeyedMessagesCarryTheirParametersAsJson) {
    const Message refused{"it is not a regular file", "refused_not_regular", {{"path", "/c/it's"}}};
    EXPECT_EQ(page_calls::import_refused("/c/it's", refused),
              "import_refused('/c/it\\'s','it is not a regular file','refused_not_regular',"
              "'{\\\"path\\\":\\\"/c/it\\'s\\\"}')");
    EXPECT_EQ(page_calls::notice(fail("export_nothing", {}, "None.")),
              "notice('None.','export_nothing','{}')");
    EXPECT_EQ(page_calls::snapshot_result(fail("snapshot_failed", {{"error", "x"}}, "x")),
              "snapshot_result(false,'x','snapshot_failed','{\\\"error\\\":\\\"x\\\"}')");
}

TEST(PageCalls, TextThatIsNotUtf8IsRepairedNotDropped) {
    // A Latin-1 file name: WebKit would drop the whole call.
    EXPECT_EQ(page_calls::import_refused("/media/Mai\xe4.MOV", fail("bad")),
              "import_refused('/media/Mai\uFFFD.MOV','bad')");
    const Message keyed{"t", "k", {{"path", "/Mai\xe4"}}};
    EXPECT_EQ(page_calls::notice(keyed), "notice('t','k','{\\\"path\\\":\\\"/Mai\uFFFD\\\"}')");
    EXPECT_EQ(page_calls::clips_unavailable({"/a.MOV", "/b\"c.MOV"}),
              "clips_unavailable('[\\\"/a.MOV\\\",\\\"/b\\\\\\\"c.MOV\\\"]')");
    EXPECT_EQ(page_calls::route_exported(std::string("/f/\"a\"\n.gpx")),
              "route_exported(true,'/f/\\\"a\\\"\\n.gpx')");
    EXPECT_EQ(page_calls::route_exported(fail("route_export_failed", {{"error", "e"}}, "e")),
              "route_exported(false,'e','route_export_failed','{\\\"error\\\":\\\"e\\\"}')");
}

TEST(PageCalls, MediaTextsThePageMatchesExactly) {
    EXPECT_EQ(page_calls::get_act(), "get_act()");
    EXPECT_EQ(page_calls::export_done(true), "exp('Export Success');");
    EXPECT_EQ(page_calls::export_done(false), "exp('Export Failed');");
    EXPECT_EQ(page_calls::export_progress(0.25), "export_progress(0.250)");
    EXPECT_EQ(page_calls::export_progress(1.0), "export_progress(1.000)");
    EXPECT_EQ(page_calls::recording_state("paused"), "recording_state('paused')");
}

TEST(PageCalls, TileUrlIsAGlobalWithItsTextEscaped) {
    EXPECT_EQ(page_calls::tile_url("http://127.0.0.1:8123/{z}/{x}/{y}.png"),
              "camvault_tile_url='http://127.0.0.1:8123/{z}/{x}/{y}.png';");
    // A template from the environment is any text: it must stay one string
    // literal, so nothing after a quote or a line break runs as script.
    EXPECT_EQ(page_calls::tile_url("http://h/{z}/{x}/{y}.png?k=a'b\\c\nalert(1)//"),
              "camvault_tile_url='http://h/{z}/{x}/{y}.png?k=a\\'b\\\\c\\nalert(1)//';");
    EXPECT_EQ(page_calls::tile_url("http://h/\xe2\x80\xa8{z}/{x}/{y}"),
              "camvault_tile_url='http://h/\\u2028{z}/{x}/{y}';");
    EXPECT_EQ(page_calls::tile_url("http://h/\xe4/{z}/{x}/{y}"),
              "camvault_tile_url='http://h/\uFFFD/{z}/{x}/{y}';");
}

}  // namespace
}  // namespace camvault
