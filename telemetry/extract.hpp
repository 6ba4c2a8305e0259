// Extraction of one clip's telemetry into its telemetry script file: the entry
// the import and camvault-extract call.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "base/result.hpp"
#include "telemetry/fix.hpp"
#include "telemetry/route_export.hpp"

namespace camvault {

// The most records a clip's script holds: 2.7 hours at ten a second, about
// 25 MB of script. A crafted clip could otherwise fill the page with millions.
inline constexpr uint64_t kMaxRecordsPerClip = 100000;

struct Extraction {
    uint64_t records = 0;
    // More records followed the first kMaxRecordsPerClip; the script ends with
    // "data_cut['<clip name>']=100000;" so that the page can say so.
    bool cut = false;
    // The layouts whose boxes the clip holds (see telemetry/freegps_layouts.hpp),
    // kept for the library summary; layout_gsensor tells what x, y, z hold.
    LayoutSet layouts = 0;
};

// What was written, or a message a person can act on ("cannot read /x/A.MOV:
// Permission denied").
using ExtractResult = Result<Extraction>;

// Both write at most kMaxRecordsPerClip records.
// Writes the telemetry script of a clip held in memory to the absolute
// `script_path`, atomically.
ExtractResult splitData(std::span<const uint8_t> bytes, const std::string& script_path,
                        const std::string& clip_name);

// Called now and then while a clip is read, and once at the end: bytes read so
// far and the clip's size.
using ExtractProgress = std::function<void(uint64_t done, uint64_t total)>;

// Reads the clip file in segments on a few threads of its own (peak memory
// stays a few megabytes whatever the clip's size) and writes its telemetry
// script to `script_path` atomically. Safe to run on a worker thread; the
// progress callback runs on the calling thread.
ExtractResult extract_clip_file(const std::string& clip_path, const std::string& script_path,
                                const std::string& clip_name, const ExtractProgress& progress = {});

// The same reading of a clip file, into route points in file order (for the
// route files of telemetry/route_export.hpp). Only a failed read is an error:
// a clip without telemetry has no points.
Result<ClipRoute> read_clip_route(const std::string& clip_path, const std::string& clip_name);

}  // namespace camvault
