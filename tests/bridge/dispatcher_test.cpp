// The dispatcher runs handlers in table order and never lets a command replace the page.
#include "bridge/dispatcher.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace camvault {
namespace {

class RecordingHandlers : public CommandHandlers {
  public:
    std::vector<std::string> calls;
    void file_del_fun(std::string_view url) override { calls.push_back("del:" + std::string(url)); }
    void copy_file() override { calls.push_back("copy"); }
    void get_photo(std::string_view url) override { calls.push_back("photo:" + std::string(url)); }
    void get_full_photo() override { calls.push_back("full"); }
    void open_files_folder() override { calls.push_back("open"); }
    void start() override { calls.push_back("start"); }
    void stop() override { calls.push_back("stop"); }
    void save_set(std::string_view url) override { calls.push_back("set:" + std::string(url)); }
    void merger(std::string_view list) override { calls.push_back("merge:" + std::string(list)); }
    void mini() override { calls.push_back("mini"); }
    void max() override { calls.push_back("max"); }
    void library_restore() override { calls.push_back("restore"); }
    void library_search(std::string_view url) override {
        calls.push_back("search:" + std::string(url));
    }
    void export_route(std::string_view url) override {
        calls.push_back("route:" + std::string(url));
    }
    void save_prefs(std::string_view url) override { calls.push_back("prefs:" + std::string(url)); }
    void export_movie(std::string_view url) override {
        calls.push_back("export:" + std::string(url));
    }
    void export_cancel() override { calls.push_back("export_cancel"); }
};

std::vector<std::string> run(std::string_view url, DispatchResult* result = nullptr) {
    RecordingHandlers handlers;
    const auto dispatched = dispatch_commands(url, handlers);
    if (result)
        *result = dispatched;
    return handlers.calls;
}

TEST(Dispatcher, EachCommandRunsItsOwnHandlerOnly) {
    EXPECT_EQ(run("http://get_full_photo/"), std::vector<std::string>{"full"});
    EXPECT_EQ(run("http://norecode/"), std::vector<std::string>{"stop"});
    EXPECT_EQ(run("http://recode/"), std::vector<std::string>{"start"});
    EXPECT_EQ(run("http://open_dir/anything"), std::vector<std::string>{"open"});
    EXPECT_EQ(run("http://save_set/km,English"),
              std::vector<std::string>{"set:http://save_set/km,English"});
    EXPECT_EQ(run("http://export_route/%7B%7D"),
              std::vector<std::string>{"route:http://export_route/%7B%7D"});
    EXPECT_EQ(run("http://export/%7B%7D"), std::vector<std::string>{"export:http://export/%7B%7D"});
    EXPECT_EQ(run("http://export_cancel/"), std::vector<std::string>{"export_cancel"});
    EXPECT_EQ(run("http://save_prefs/%7B%7D"),
              std::vector<std::string>{"prefs:http://save_prefs/%7B%7D"});
}

TEST(Dispatcher, SavePrefsIsNotTakenForSaveSet) {
    // Both begin "http://save_"; each must run its own handler only.
    EXPECT_EQ(
        run("http://save_prefs/%7B%22reopen_library%22%3Afalse%7D"),
        std::vector<std::string>{"prefs:http://save_prefs/%7B%22reopen_library%22%3Afalse%7D"});
    EXPECT_EQ(run("http://save_set/km,German"),
              std::vector<std::string>{"set:http://save_set/km,German"});
}

TEST(Dispatcher, TwoPrefixesRunInTableOrderWhateverTheirPlaceInTheText) {
    EXPECT_EQ(run("http://max/?http://mini/"), (std::vector<std::string>{"mini", "max"}));
    EXPECT_EQ(run("http://merger/a,b&http://get_photo/u;1;2"),
              (std::vector<std::string>{"photo:http://merger/a,b&http://get_photo/u;1;2",
                                        "merge:a,b&http://get_photo/u;1;2"}));
}

TEST(Dispatcher, AUrlThatOnlyHoldsACommandCommandsNothing) {
    DispatchResult result{};
    EXPECT_TRUE(run("https://example.com/#http://save_set/km,English", &result).empty());
    EXPECT_EQ(result, DispatchResult::no_command);
    EXPECT_TRUE(run("x?http://merger/a,b&http://get_photo/u;1;2", &result).empty());
    EXPECT_TRUE(run(" http://mini/", &result).empty());
    EXPECT_TRUE(is_command_url("http://file_copy_fun/"));
    EXPECT_FALSE(is_command_url("https://evil/http://get_photo/https://evil/x.mov;0;0"));
}

TEST(Dispatcher, ImportEndsTheDispatchAfterEarlierCommands) {
    DispatchResult result{};
    EXPECT_EQ(run("http://file_del_fun//a.MOV?http://file_copy_fun/http://mini/", &result),
              (std::vector<std::string>{
                  "del:http://file_del_fun//a.MOV?http://file_copy_fun/http://mini/", "copy"}));
    EXPECT_EQ(result, DispatchResult::ended_at_file_copy);
}

TEST(Dispatcher, MergerReceivesTheTextWithEveryPrefixRemoved) {
    EXPECT_EQ(run("http://merger//a.MOV,http://merger//b.MOV"),
              std::vector<std::string>{"merge:/a.MOV,/b.MOV"});
}

TEST(NavigationPolicy, OnlyTheOwnPageLoads) {
    const std::string page = "file:///opt/cam%20vault/www/index.html";
    const auto none = DispatchResult::no_command;
    EXPECT_EQ(decide_navigation(page, page, none, false), NavigationDecision::load);
    // WebKit's normalised form of the same page still loads.
    EXPECT_EQ(decide_navigation("file:///opt/cam vault/www/index.html#top", page, none, false),
              NavigationDecision::load);
    for (const bool clicked : {false, true}) {
        EXPECT_EQ(decide_navigation("file:///etc/passwd", page, none, clicked),
                  NavigationDecision::ignore);
        EXPECT_EQ(
            decide_navigation("file:///opt/cam%20vault/www/index.html.evil", page, none, clicked),
            NavigationDecision::ignore);
        EXPECT_EQ(decide_navigation("about:blank", page, none, clicked),
                  NavigationDecision::ignore);
    }
}

TEST(NavigationPolicy, CommandsNeverReplaceThePageAndWebLinksOpenOutside) {
    const std::string page = "file:///www/index.html";
    EXPECT_EQ(decide_navigation("http://mini/", page, DispatchResult::commands_ran, true),
              NavigationDecision::ignore);
    EXPECT_EQ(
        decide_navigation("http://file_copy_fun/", page, DispatchResult::ended_at_file_copy, false),
        NavigationDecision::ignore);
    EXPECT_EQ(decide_navigation("https://www.openstreetmap.org/copyright", page,
                                DispatchResult::no_command, true),
              NavigationDecision::open_in_browser);
    EXPECT_EQ(decide_navigation("http://unknown/", page, DispatchResult::no_command, true),
              NavigationDecision::open_in_browser);
    // A frame loading a foreign page by itself: neither loaded nor opened outside.
    EXPECT_EQ(decide_navigation("https://ads.example/frame.html", page, DispatchResult::no_command,
                                false),
              NavigationDecision::ignore);
}

}  // namespace
}  // namespace camvault
