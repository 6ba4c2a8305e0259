// The two import lists.
#include "library/import_lists.hpp"

#include "base/text.hpp"
#include "base/utf8.hpp"
#include "library/naming.hpp"

namespace camvault {

std::vector<std::string> list_entries(std::string_view list) {
    auto entries = split_keep_empty(list, ',');
    entries.pop_back();  // the piece after the last terminating comma
    return entries;
}

std::optional<Message> unlistable_reason(std::string_view path) {
    const MessageParams params{{"path", std::string(path)}};
    if (path.find(',') != std::string_view::npos) {
        return Message{
            "its path holds a comma, which CamVault's library list cannot hold; rename "
            "the file or its folder",
            "refused_comma", params};
    }
    if (path.find_first_of("\n\r") != std::string_view::npos)
        return Message{"its path holds a line break; rename the file or its folder",
                       "refused_line_break", params};
    // The page would never receive a listing that holds it.
    if (!is_valid_utf8(path)) {
        return Message{
            "its path is not valid UTF-8 (an old character set?); rename the file or its folder",
            "refused_not_utf8", params};
    }
    return std::nullopt;
}

void append_clip(std::string& data_list, std::string& movie_list, std::string_view script_path,
                 std::string_view source_path) {
    data_list.append(script_path).append(",");
    movie_list.append(source_path).append(",");
}

size_t remove_clip(std::string& data_list, std::string& movie_list, std::string_view source_path) {
    const auto data = list_entries(data_list);
    const auto movies = list_entries(movie_list);
    std::string kept_data, kept_movies;
    size_t removed = 0;
    for (size_t k = 0; k < movies.size(); ++k) {
        if (movies[k] == source_path) {
            ++removed;
            continue;
        }
        kept_movies.append(movies[k]).append(",");
        if (k < data.size())
            kept_data.append(data[k]).append(",");
    }
    if (removed > 0) {
        data_list = std::move(kept_data);
        movie_list = std::move(kept_movies);
    }
    return removed;
}

}  // namespace camvault
