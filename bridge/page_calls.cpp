// The script texts CamVault evaluates in the page.
#include "bridge/page_calls.hpp"

#include <nlohmann/json.hpp>

#include "base/js_escape.hpp"
#include "base/numbers.hpp"
#include "base/utf8.hpp"

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
        script += js_escape(to_valid_utf8(arg));
        script += '\'';
    }
    script += ')';
    return script;
}

std::string params_json(const MessageParams& params) {
    nlohmann::json object = nlohmann::json::object();
    for (const auto& [name, value] : params)
        object[to_valid_utf8(name)] = to_valid_utf8(value);
    return object.dump();
}

std::string notice(const Message& message) {
    if (message.key.empty())
        return function_call("notice", {message.text});
    return function_call("notice", {message.text, message.key, params_json(message.params)});
}

std::string import_progress(size_t done, size_t total, std::string_view name) {
    return function_call("import_progress", {std::to_string(done), std::to_string(total), name});
}

std::string import_refused(std::string_view path, const Message& reason) {
    if (reason.key.empty())
        return function_call("import_refused", {path, reason.text});
    return function_call("import_refused",
                         {path, reason.text, reason.key, params_json(reason.params)});
}

namespace {

// name(true,'<path>') or name(false,'<error>'[,'<key>','<params json>']).
std::string outcome_call(std::string_view name, const Result<std::string>& outcome) {
    std::string script(name);
    if (outcome)
        return script + "(true,'" + js_escape(to_valid_utf8(*outcome)) + "')";
    const Message& error = outcome.failure();
    script += "(false,'" + js_escape(to_valid_utf8(error.text)) + "'";
    if (!error.key.empty())
        script += ",'" + js_escape(error.key) + "','" + js_escape(params_json(error.params)) + "'";
    return script + ")";
}

}  // namespace

std::string snapshot_result(const Result<std::string>& saved) {
    return outcome_call("snapshot_result", saved);
}

std::string route_exported(const Result<std::string>& written) {
    return outcome_call("route_exported", written);
}

std::string export_result(const Result<ExportReport>& outcome) {
    nlohmann::json json;
    if (outcome) {
        json = {{"ok", true}, {"path", to_valid_utf8(outcome->path)}, {"mode", outcome->mode}};
        if (!outcome->gpx.empty())
            json["gpx"] = to_valid_utf8(outcome->gpx);
        if (!outcome->zip.empty())
            json["zip"] = to_valid_utf8(outcome->zip);
    } else {
        const Message& error = outcome.failure();
        nlohmann::json params = nlohmann::json::object();
        for (const auto& [name, value] : error.params)
            params[to_valid_utf8(name)] = to_valid_utf8(value);
        json = {{"ok", false},
                {"text", to_valid_utf8(error.text)},
                {"key", error.key},
                {"params", params}};
        if (error.key == "export_cancelled")
            json["cancelled"] = true;
    }
    return function_call("export_result", {json.dump()});
}

std::string library_summaries(std::string_view json) {
    return function_call("library_summaries", {json});
}

std::string search_results(const std::vector<std::string>& movies) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& movie : movies)
        list.push_back(to_valid_utf8(movie));
    return function_call("search_results", {nlohmann::json{{"movies", list}}.dump()});
}

std::string clips_unavailable(const std::vector<std::string>& paths) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& path : paths)
        list.push_back(to_valid_utf8(path));
    return function_call("clips_unavailable", {list.dump()});
}

std::string get_act() {
    return "get_act()";
}

std::string export_progress(double fraction) {
    return "export_progress(" + fixed_decimals(fraction, 3) + ")";
}

std::string export_done(bool success) {
    return success ? "exp('Export Success');" : "exp('Export Failed');";
}

std::string recording_state(std::string_view state) {
    return function_call("recording_state", {state});
}

std::string tile_url(std::string_view url_template) {
    return "camvault_tile_url='" + js_escape(to_valid_utf8(url_template)) + "';";
}

}  // namespace camvault::page_calls
