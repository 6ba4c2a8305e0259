// The script texts CamVault evaluates in the page. Every inserted value is
// escaped as JavaScript string content; the texts are otherwise fixed.
#pragma once

#include <string>
#include <string_view>

namespace camvault {

// "file_list_fun('<data>','<movies>','<selected>');user_path='<user_path>'"
// `selected` is "0" after a page load, the last accepted path after an import,
// "(null)" after an import that accepted nothing.
std::string file_list_script(std::string_view data_list, std::string_view movie_list,
                             std::string_view selected, std::string_view user_path);

// name('a','b',...) with each argument escaped; for the page's progress and
// notice functions.
std::string page_function_call(std::string_view name, std::initializer_list<std::string_view> args);

}  // namespace camvault
