// The script texts CamVault evaluates in the page.
#include "bridge/page_scripts.hpp"

#include "bridge/js_string.hpp"

namespace camvault {

std::string file_list_script(std::string_view data_list, std::string_view movie_list,
                             std::string_view selected, std::string_view user_path) {
    return "file_list_fun('" + js_escape(data_list) + "','" + js_escape(movie_list) + "','" +
           js_escape(selected) + "');user_path='" + js_escape(user_path) + "'";
}

std::string page_function_call(std::string_view name, std::initializer_list<std::string_view> args) {
    std::string script(name);
    script += '(';
    bool first = true;
    for (auto arg : args) {
        if (!first) script += ',';
        first = false;
        script += '\'';
        script += js_escape(arg);
        script += '\'';
    }
    script += ')';
    return script;
}

}  // namespace camvault
