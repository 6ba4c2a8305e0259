// The time stamps in the names of the files the media tools write.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace camvault::media {

// Calendar-date stamps (never the week-based year or the day of the year).
std::string snapshot_stamp(const std::tm& local);   // yyyy_MMdd_HHmmss
std::string export_stamp(const std::tm& local);     // yyyyMMdd_HHmmss
std::string recording_stamp(const std::tm& local);  // yyyyMMddHHmmss

// The current local time.
std::tm local_now();

}  // namespace camvault::media
