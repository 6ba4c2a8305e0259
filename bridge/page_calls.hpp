// The script texts CamVault evaluates in the page: the only place that writes
// script text. Every inserted value is escaped as JavaScript string content;
// the texts are otherwise fixed, because the page's functions expect them so.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace camvault::page_calls {

// "file_list_fun('<data>','<movies>','<selected>');user_path='<user_path>'"
// `selected` is "0" after a page load, the last accepted path after an import,
// "(null)" after an import that accepted nothing.
std::string file_list(std::string_view data_list, std::string_view movie_list,
                      std::string_view selected, std::string_view user_path);

// name('a','b',...) with each argument escaped.
std::string function_call(std::string_view name, std::initializer_list<std::string_view> args);

// notice('<text>'): a message the page shows the user.
std::string notice(std::string_view text);
// import_progress('<done>','<total>','<clip name>')
std::string import_progress(size_t done, size_t total, std::string_view name);
// import_refused('<path>','<reason>')
std::string import_refused(std::string_view path, std::string_view reason);

// snapshot_result(true,'<path>') or snapshot_result(false,'<error>')
std::string snapshot_result(bool saved, std::string_view path_or_error);
// route_exported(true,'<path>') or route_exported(false,'<error>'): the
// outcome of an export_route command.
std::string route_exported(bool saved, std::string_view path_or_error);
// get_act(): the snapshot request is answered.
std::string get_act();
// export_progress(<fraction with three decimals>)
std::string export_progress(double fraction);
// exp('Export Success'); or exp('Export Failed');
std::string export_done(bool success);
// recording_state('recording' | 'paused' | 'stopped')
std::string recording_state(std::string_view state);

}  // namespace camvault::page_calls
