// The pure part of the screen recorder: the capture pipeline's description
// and how a click ring looks at a given moment after the click.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace camvault::media {

struct RecorderSettings {
    int framerate = 30;
    unsigned bitrate_kbps = 8000;
    // Index space kept at the head of the movie; rolled over to a new file
    // before it runs out.
    uint64_t reserved_max_duration_ns = 2ull * 3600 * 1'000'000'000;
    // How often the head index is rewritten: a killed process loses at most this much.
    uint64_t moov_update_period_ns = 1'000'000'000;
};

// Element names the recorder looks up in the parsed pipeline.
inline constexpr const char* kRecorderSourceName = "src";
inline constexpr const char* kRecorderSinkName = "sink";
inline constexpr const char* kRecorderOverlayName = "clicks";
inline constexpr const char* kRecorderMuxName = "mux";

// gst-launch syntax for: the whole X screen with the pointer -> click overlay
// -> H.264 (fast enough for live capture) -> QuickTime with a periodically
// updated index at its head -> file (location set at start).
std::string recorder_pipeline_description(const RecorderSettings& settings);

struct ClickRing {
    double radius = 0;  // pixels
    double alpha = 0;   // 0..1
};

// How long a ring stays visible after its click.
inline constexpr int64_t kClickRingNs = 600'000'000;

// The ring drawn `frame_ns` for a click at `click_ns` (same clock): growing
// and fading for kClickRingNs, nothing before the click or after that.
std::optional<ClickRing> click_ring(int64_t click_ns, int64_t frame_ns);

// The duration the movie header (moov, mvhd) at the start of a QuickTime file
// records, in its own time units; nothing when `head`, the file's first bytes,
// holds no such header. A recording whose header says 0 holds nothing to play.
std::optional<uint64_t> movie_header_duration(std::span<const uint8_t> head);

}  // namespace camvault::media
