// Reading the commands' arguments.
#include "bridge/command_args.hpp"

#include <limits>

#include "base/text.hpp"
#include "bridge/dispatcher.hpp"

namespace camvault {
namespace {

std::string_view prefix_of(Command command) {
    for (const auto& entry : kCommandTable)
        if (entry.command == command)
            return entry.prefix;
    return {};
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::vector<std::string> removal_paths(std::string_view url_text) {
    const std::string text =
        replace_all(remove_all(url_text, prefix_of(Command::file_del_fun)), "%20", " ");
    auto pieces = split_keep_empty(text, ',');
    for (auto& piece : pieces)
        piece = percent_decode(piece);
    return pieces;
}

std::string settings_text(std::string_view url_text) {
    return remove_all(url_text, prefix_of(Command::save_set));
}

int32_t read_leading_int32(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && is_blank(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > kLimit)
            value = kLimit;  // saturate; more digits cannot bring it back
    }
    if (negative)
        return static_cast<int32_t>(-value < std::numeric_limits<int32_t>::min()
                                        ? std::numeric_limits<int32_t>::min()
                                        : -value);
    return static_cast<int32_t>(
        value > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max() : value);
}

PhotoArgs photo_args(std::string_view url_text) {
    const auto fields = split_keep_empty(remove_all(url_text, prefix_of(Command::get_photo)), ';');
    PhotoArgs args;
    args.movie_url = fields[0];
    if (fields.size() > 1)
        args.minutes = read_leading_int32(fields[1]);
    if (fields.size() > 2)
        args.seconds = read_leading_int32(fields[2]);
    args.complete = fields.size() >= 3;
    return args;
}

std::vector<std::string> merge_paths(std::string_view list_text) {
    std::vector<std::string> paths = split_keep_empty(list_text, ',');
    for (auto& path : paths)
        path = percent_decode(path);
    return paths;
}

}  // namespace camvault
