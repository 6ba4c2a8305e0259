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
    EXPECT_EQ(page_calls::import_refused("/a,b.MOV", "it's got a comma"),
              "import_refused('/a,b.MOV','it\\'s got a comma')");
    EXPECT_EQ(page_calls::import_progress(1, 3, "A'.MOV"), "import_progress('1','3','A\\'.MOV')");
    EXPECT_EQ(page_calls::notice("line\nbreak"), "notice('line\\nbreak')");
    EXPECT_EQ(page_calls::snapshot_result(true, "/f/it's.png"),
              "snapshot_result(true,'/f/it\\'s.png')");
    EXPECT_EQ(page_calls::snapshot_result(false, "no"), "snapshot_result(false,'no')");
    EXPECT_EQ(page_calls::route_exported(true, "/f/\"a\"\n.gpx"),
              "route_exported(true,'/f/\\\"a\\\"\\n.gpx')");
}

TEST(PageCalls, MediaTextsThePageMatchesExactly) {
    EXPECT_EQ(page_calls::get_act(), "get_act()");
    EXPECT_EQ(page_calls::export_done(true), "exp('Export Success');");
    EXPECT_EQ(page_calls::export_done(false), "exp('Export Failed');");
    EXPECT_EQ(page_calls::export_progress(0.25), "export_progress(0.250)");
    EXPECT_EQ(page_calls::export_progress(1.0), "export_progress(1.000)");
    EXPECT_EQ(page_calls::recording_state("paused"), "recording_state('paused')");
}

}  // namespace
}  // namespace camvault
