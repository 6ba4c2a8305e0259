// The command dispatcher.
#include "bridge/dispatcher.hpp"

#include "base/text.hpp"

namespace camvault {

bool is_command_url(std::string_view url_text) {
    for (const auto& entry : kCommandTable)
        if (url_text.starts_with(entry.prefix))
            return true;
    return false;
}

DispatchResult dispatch_commands(std::string_view url_text, CommandHandlers& handlers) {
    DispatchResult result = DispatchResult::no_command;
    // Only a URL that begins with a command is one: a foreign page's URL that
    // merely holds a prefix (in its fragment, say) commands nothing.
    if (!is_command_url(url_text))
        return result;
    for (const auto& [command, prefix] : kCommandTable) {
        if (url_text.find(prefix) == std::string_view::npos) {
            continue;
        }
        result = DispatchResult::commands_ran;
        switch (command) {
            case Command::file_del_fun:
                handlers.file_del_fun(url_text);
                break;
            case Command::file_copy_fun:
                handlers.copy_file();
                return DispatchResult::ended_at_file_copy;
            case Command::get_photo:
                handlers.get_photo(url_text);
                break;
            case Command::get_full_photo:
                handlers.get_full_photo();
                break;
            case Command::open_dir:
                handlers.open_files_folder();
                break;
            case Command::recode:
                handlers.start();
                break;
            case Command::norecode:
                handlers.stop();
                break;
            case Command::save_set:
                handlers.save_set(url_text);
                break;
            case Command::merger:
                handlers.merger(remove_all(url_text, prefix));
                break;
            case Command::mini:
                handlers.mini();
                break;
            case Command::max:
                handlers.max();
                break;
            case Command::library_restore:
                handlers.library_restore();
                break;
            case Command::library_search:
                handlers.library_search(url_text);
                break;
            case Command::export_route:
                handlers.export_route(url_text);
                break;
            case Command::save_prefs:
                handlers.save_prefs(url_text);
                break;
            case Command::export_movie:
                handlers.export_movie(url_text);
                break;
            case Command::export_cancel:
                handlers.export_cancel();
                break;
        }
    }
    return result;
}

namespace {

// WebKit hands over its normalised form of the URL, which may escape other
// characters than the page's own URI does: compare the decoded texts.
bool is_own_page(std::string_view url_text, std::string_view page_uri) {
    const std::string url = percent_decode(url_text);
    const std::string page = percent_decode(page_uri);
    if (page.empty() || !url.starts_with(page)) {
        return false;
    }
    const auto rest = std::string_view(url).substr(page.size());
    return rest.empty() || rest.front() == '#' || rest.front() == '?';
}

}  // namespace

NavigationDecision decide_navigation(std::string_view url_text, std::string_view page_uri,
                                     DispatchResult dispatched, bool user_asked) {
    if (dispatched != DispatchResult::no_command) {
        return NavigationDecision::ignore;
    }
    if (is_own_page(url_text, page_uri)) {
        return NavigationDecision::load;
    }
    // A link the user followed opens outside; a frame that loads by itself
    // (an advert, a foreign page) never does anything.
    if (user_asked && (url_text.starts_with("http://") || url_text.starts_with("https://"))) {
        return NavigationDecision::open_in_browser;
    }
    return NavigationDecision::ignore;
}

}  // namespace camvault
