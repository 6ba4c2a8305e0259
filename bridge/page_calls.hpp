// The script texts CamVault evaluates in the page: the only place that writes
// script text. Every inserted value is escaped as JavaScript string content;
// the texts are otherwise fixed, because the page's functions expect them so.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.hpp"

namespace camvault::page_calls {

// "file_list_fun('<data>','<movies>','<selected>');user_path='<user_path>'"
// `selected` is "0" after a page load, the last accepted path after an import,
// "(null)" after an import that accepted nothing.
std::string file_list(std::string_view data_list, std::string_view movie_list,
                      std::string_view selected, std::string_view user_path);

// name('a','b',...) with each argument escaped; bytes that are not UTF-8 are
// replaced so that WebKit never drops the call.
std::string function_call(std::string_view name, std::initializer_list<std::string_view> args);

// The parameters of a message as the page reads them: a JSON object text.
std::string params_json(const MessageParams& params);

// notice('<text>') or, for a message with a key,
// notice('<text>','<key>','<params json>'): a message the page shows the user.
std::string notice(const Message& message);
// import_progress('<done>','<total>','<clip name>')
std::string import_progress(size_t done, size_t total, std::string_view name);
// import_refused('<path>','<reason>'[,'<key>','<params json>'])
std::string import_refused(std::string_view path, const Message& reason);

// snapshot_result(true,'<path>') or
// snapshot_result(false,'<error>'[,'<key>','<params json>'])
std::string snapshot_result(const Result<std::string>& saved);
// export_result('<json>'): the outcome of an export command (www/README.md):
// {"ok":true,"path":..,"mode":..[,"gpx":..][,"zip":..]} or
// {"ok":false,"text":..,"key":..,"params":{..}[,"cancelled":true]}.
struct ExportReport {
    std::string path;
    std::string mode;  // "lossless" or "reencoded"
    std::string gpx;   // empty: none
    std::string zip;   // empty: none
};
std::string export_result(const Result<ExportReport>& outcome);

// library_summaries('<json>'): what the page is told of the listed clips.
std::string library_summaries(std::string_view json);
// search_results('{"movies":[...]}'): the answer to a library_search command.
std::string search_results(const std::vector<std::string>& movies);
// clips_unavailable('<JSON array of movie paths>')
std::string clips_unavailable(const std::vector<std::string>& paths);
// route_exported(true,'<path>') or
// route_exported(false,'<error>'[,'<key>','<params json>']): the outcome of an
// export_route command.
std::string route_exported(const Result<std::string>& written);
// get_act(): the snapshot request is answered.
std::string get_act();
// export_progress(<fraction with three decimals>)
std::string export_progress(double fraction);
// exp('Export Success'); or exp('Export Failed');
std::string export_done(bool success);
// recording_state('recording' | 'paused' | 'stopped')
std::string recording_state(std::string_view state);

// camvault_tile_url='<template>'; the map's tile URL template, set before
// the page's own scripts run (CAMVAULT_TILE_URL).
std::string tile_url(std::string_view url_template);

}  // namespace camvault::page_calls
