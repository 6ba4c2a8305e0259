// The command dispatcher: finds command prefixes in a navigation's URL text and
// runs their handlers in table order, then says what becomes of the navigation.
#pragma once

#include <array>
#include <string_view>

namespace camvault {

enum class Command {
    file_del_fun,
    file_copy_fun,
    get_photo,
    get_full_photo,
    open_dir,
    recode,
    norecode,
    save_set,
    merger,
    mini,
    max,
    export_route,
    library_restore,
    library_search,
    save_prefs,
    export_movie,
    export_cancel,
};

struct CommandPrefix {
    Command command;
    std::string_view prefix;
};

// The order in which the tests run; no prefix is contained in another.
inline constexpr std::array<CommandPrefix, 17> kCommandTable{{
    {Command::file_del_fun, "http://file_del_fun/"},
    {Command::file_copy_fun, "http://file_copy_fun/"},
    {Command::get_photo, "http://get_photo/"},
    {Command::get_full_photo, "http://get_full_photo/"},
    {Command::open_dir, "http://open_dir/"},
    {Command::recode, "http://recode/"},
    {Command::norecode, "http://norecode/"},
    {Command::save_set, "http://save_set/"},
    {Command::merger, "http://merger/"},
    {Command::mini, "http://mini/"},
    {Command::max, "http://max/"},
    {Command::export_route, "http://export_route/"},
    {Command::library_restore, "http://library_restore/"},
    {Command::library_search, "http://library_search/"},
    {Command::save_prefs, "http://save_prefs/"},
    {Command::export_movie, "http://export/"},
    {Command::export_cancel, "http://export_cancel/"},
}};

// What the commands do. Handlers that take an argument receive the whole URL
// text (merger: the text with every prefix removed) and take their argument
// from it themselves.
class CommandHandlers {
  public:
    virtual ~CommandHandlers() = default;
    virtual void file_del_fun(std::string_view url_text) = 0;
    virtual void copy_file() = 0;
    virtual void get_photo(std::string_view url_text) = 0;
    virtual void get_full_photo() = 0;
    virtual void open_files_folder() = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void save_set(std::string_view url_text) = 0;
    virtual void merger(std::string_view list_text) = 0;
    virtual void mini() = 0;
    virtual void max() = 0;
    virtual void export_route(std::string_view url_text) = 0;
    virtual void library_restore() = 0;
    virtual void library_search(std::string_view url_text) = 0;
    virtual void save_prefs(std::string_view url_text) = 0;
    virtual void export_movie(std::string_view url_text) = 0;
    virtual void export_cancel() = 0;
};

enum class DispatchResult {
    no_command,         // no prefix occurred in the text
    commands_ran,       // one or more handlers ran
    ended_at_file_copy  // the import command ran and ended the dispatch
};

// True when the URL begins with one of the command prefixes.
bool is_command_url(std::string_view url_text);

// A URL that begins with a command prefix: tests every prefix in table order,
// independently, running each one found anywhere in the text to its end before
// the next test; the import command ends the dispatch. Any other URL runs
// nothing.
DispatchResult dispatch_commands(std::string_view url_text, CommandHandlers& handlers);

enum class NavigationDecision {
    load,             // the application's own page
    ignore,           // commands and anything else: the page stays displayed
    open_in_browser,  // a web link holding no command: the user's browser opens it
};

// Decides a navigation after dispatch. Only the application's own page may
// load; a command never replaces the displayed page; a web link opens in the
// user's browser only when the user asked for it (`user_asked`: a click or a
// new window), never for a frame that loads by itself.
NavigationDecision decide_navigation(std::string_view url_text, std::string_view page_uri,
                                     DispatchResult dispatched, bool user_asked);

}  // namespace camvault
