// The movie's own index of its telemetry tracks: which tracks of the moov are
// QuickTime text or subtitle tracks or GoPro `gpmd` metadata tracks, where
// each of their samples lies (chunk offsets, samples per chunk and sample
// sizes) and how long each lasts. Container reading only; what the samples
// say is decoded elsewhere (telemetry/nmea_text.hpp, telemetry/gpmf.hpp).
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
    std::array<char, 4> handler{};  // "text", "sbtl", or "meta" (then format "gpmd")
    std::array<char, 4> format{};   // first sample description: "text", "tx3g", "gpmd", ...
    std::vector<SampleSpan> samples;
    // The media's time units a second (0 where the mdhd is missing), and each
    // sample's duration in them from the time-to-sample table: as many as
    // that table and `samples` agree on, possibly fewer than the samples.
    uint32_t timescale = 0;
    std::vector<uint32_t> durations;
};

// A moov larger than this is not read for its tracks (cameras write a few
// hundred kilobytes); the scan of the movie data is unaffected.
inline constexpr uint64_t kMaxMoovBytes = uint64_t{16} << 20;
// Samples no clip needs more of: ten a second for a day.
inline constexpr size_t kMaxTrackSamples = size_t{1} << 20;

// Every text or subtitle track and every `gpmd` metadata track of the file's
// top-level moov, in track order;
// empty when there is none or the moov cannot be read or is damaged. Sample
// tables that disagree (more samples than sizes, and the like) are cut to
// what they agree on.
std::vector<TimedTextTrack> read_timed_text_tracks(const PositionalReader& read, uint64_t size);

// The same, from the moov's bytes (header included) already in memory.
std::vector<TimedTextTrack> timed_text_tracks_of_moov(const uint8_t* moov, size_t size);

}  // namespace camvault
