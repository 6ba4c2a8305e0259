// Fuzzes what the page (or anything that can navigate the web view) controls:
// a navigation's URL text through the dispatcher and every command's argument
// reader. Whatever the text, dispatch must run only matching handlers in table
// order, stop after the import command, and the readers must not crash.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bridge/command_args.hpp"
#include "bridge/dispatcher.hpp"

namespace {

using camvault::Command;

class CountingHandlers : public camvault::CommandHandlers {
  public:
    std::string ran;  // one letter per handler, in the order they ran
    void file_del_fun(std::string_view url) override {
        ran += 'd';
        for (const auto& path : camvault::removal_paths(url))
            if (path.size() > url.size())
                std::abort();  // decoding never lengthens a piece
    }
    void copy_file() override { ran += 'c'; }
    void get_photo(std::string_view url) override {
        ran += 'p';
        if (camvault::photo_args(url).movie_url.size() > url.size())
            std::abort();
    }
    void get_full_photo() override { ran += 'f'; }
    void open_files_folder() override { ran += 'o'; }
    void start() override { ran += 'r'; }
    void stop() override { ran += 'n'; }
    void save_set(std::string_view url) override {
        ran += 's';
        if (camvault::settings_text(url).size() > url.size())
            std::abort();
    }
    void merger(std::string_view list) override {
        ran += 'm';
        (void)camvault::merge_paths(list);
    }
    void mini() override { ran += 'i'; }
    void max() override { ran += 'x'; }
    void library_restore() override { ran += 'l'; }
    void library_search(std::string_view url) override {
        ran += 'q';
        if (const auto args = camvault::search_args(url);
            args && args->near && std::abs(args->near->lat) > 90)
            std::abort();
    }
    void save_prefs(std::string_view url) override {
        ran += 'v';
        if (camvault::prefs_text(url).size() > url.size())
            std::abort();  // decoding never lengthens the text
    }
    void export_movie(std::string_view url) override {
        ran += 'g';
        if (const auto args = camvault::export_args(url)) {
            if (args->pieces.empty() || args->pieces.size() > camvault::kMaxExportPieces)
                std::abort();
            if (args->name && !camvault::valid_output_name(*args->name))
                std::abort();
        }
    }
    void export_cancel() override { ran += 'k'; }
    void export_route(std::string_view url) override {
        ran += 'e';
        if (const auto args = camvault::export_route_args(url)) {
            // Decoding never lengthens the text, so no path can be longer than it.
            for (const auto& clip : args->clips)
                if (clip.empty() || clip.size() > url.size())
                    std::abort();
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view url(reinterpret_cast<const char*>(data), size);
    CountingHandlers handlers;
    const auto result = camvault::dispatch_commands(url, handlers);
    // Only prefixes that occur may run, each at most once, in table order.
    static constexpr std::string_view kLetters = "dcpfornsmixelqvgk";
    size_t last = 0;
    for (char letter : handlers.ran) {
        const size_t index = kLetters.find(letter);
        if (index == std::string_view::npos || index < last)
            std::abort();
        if (url.find(camvault::kCommandTable[index].prefix) == std::string_view::npos)
            std::abort();
        last = index + 1;
    }
    const bool import_ran = handlers.ran.find('c') != std::string::npos;
    if (import_ran != (result == camvault::DispatchResult::ended_at_file_copy))
        std::abort();
    if (handlers.ran.empty() != (result == camvault::DispatchResult::no_command))
        std::abort();
    // Nothing but a command runs anything.
    if (!camvault::is_command_url(url) && result != camvault::DispatchResult::no_command)
        std::abort();
    (void)camvault::decide_navigation(url, "file:///page/index.html", result, size % 2 == 0);
    return 0;
}
