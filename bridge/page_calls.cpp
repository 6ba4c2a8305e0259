// The script texts CamVault evaluates in the page.
#include "bridge/page_calls.hpp"

#include <charconv>

#include "base/js_escape.hpp"

namespace camvault::page_calls {

std::string file_list(std::string_view data_list, std::string_view movie_list,
                      std::string_view selected, std::string_view user_path) {
    return "file_list_fun('" + js_escape(data_list) + "','" + js_escape(movie_list) + "','" +
           js_escape(selected) + "');user_path='" + js_escape(user_path) + "'";
}

std::string function_call(std::string_view name, std::initializer_list<std::string_view> args) {
    std::string script(name);
    script += '(';
    bool first = true;
    for (auto arg : args) {
        if (!first)
            script += ',';
        first = false;
        script += '\'';
        script += js_escape(arg);
        script += '\'';
    }
    script += ')';
    return script;
}

std::string notice(std::string_view text) {
    return function_call("notice", {text});
}

std::string import_progress(size_t done, size_t total, std::string_view name) {
    return function_call("import_progress", {std::to_string(done), std::to_string(total), name});
}

std::string import_refused(std::string_view path, std::string_view reason) {
    return function_call("import_refused", {path, reason});
}

std::string snapshot_result(bool saved, std::string_view path_or_error) {
    return std::string("snapshot_result(") + (saved ? "true" : "false") + ",'" +
           js_escape(path_or_error) + "')";
}

std::string route_exported(bool saved, std::string_view path_or_error) {
    return std::string("route_exported(") + (saved ? "true" : "false") + ",'" +
           js_escape(path_or_error) + "')";
}

std::string get_act() {
    return "get_act()";
}

std::string export_progress(double fraction) {
    // Locale-independent: the page parses a decimal point.
    char buffer[32];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, fraction, std::chars_format::fixed, 3);
    return "export_progress(" + std::string(buffer, r.ptr) + ")";
}

std::string export_done(bool success) {
    return success ? "exp('Export Success');" : "exp('Export Failed');";
}

std::string recording_state(std::string_view state) {
    return function_call("recording_state", {state});
}

}  // namespace camvault::page_calls
