// The movie's own index of its timed-text tracks: which tracks of the moov are
// QuickTime text or subtitle tracks, and where each of their samples lies
// (chunk offsets, samples per chunk and sample sizes). Container reading only;
// what the samples say is decoded elsewhere (telemetry/nmea_text.hpp).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "telemetry/segmented_scan.hpp"

namespace camvault {

struct SampleSpan {
    uint64_t offset = 0;
    uint32_t size = 0;
};

struct TimedTextTrack {
    std::array<char, 4> handler{};  // "text" or "sbtl"
    std::array<char, 4> format{};   // first sample description: "text", "tx3g", ...
    std::vector<SampleSpan> samples;
};

// A moov larger than this is not read for its tracks (cameras write a few
// hundred kilobytes); the scan of the movie data is unaffected.
inline constexpr uint64_t kMaxMoovBytes = uint64_t{16} << 20;
// Samples no clip needs more of: ten a second for a day.
inline constexpr size_t kMaxTrackSamples = size_t{1} << 20;

// Every text or subtitle track of the file's top-level moov, in track order;
// empty when there is none or the moov cannot be read or is damaged. Sample
// tables that disagree (more samples than sizes, and the like) are cut to
// what they agree on.
std::vector<TimedTextTrack> read_timed_text_tracks(const PositionalReader& read, uint64_t size);

// The same, from the moov's bytes (header included) already in memory.
std::vector<TimedTextTrack> timed_text_tracks_of_moov(const uint8_t* moov, size_t size);

}  // namespace camvault
