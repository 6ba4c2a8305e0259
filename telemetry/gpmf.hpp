// GoPro GPMF telemetry in the samples of a `gpmd` metadata track: each sample
// is a stream of KLV entries (four-letter key, type letter, structure size,
// big-endian repeat count, payload padded to four bytes), DEVC devices holding
// STRM streams. GPS5 gives position and speed, scaled by the stream's SCAL,
// and GPSU the UTC time of the sample's first GPS5 entry; ACCL gives the
// accelerometer. Every GPS5 entry becomes one fix, as ExifTool reads them.
// Pure: samples in, fixes out.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "telemetry/fix.hpp"

namespace camvault {

// Where nesting stops being followed: GoPro nests three deep (DEVC, STRM,
// and the odd structure inside), so this leaves room and bounds the stack.
inline constexpr int kMaxGpmfDepth = 8;

class GpmfDecoder {
  public:
    explicit GpmfDecoder(FixSink sink) : sink_(std::move(sink)) {}

    // One sample's bytes and how long it lasts in seconds: a sample's GPS5
    // entries are spread evenly across it from its GPSU time. False when the
    // sink asked to stop.
    bool sample(std::span<const uint8_t> bytes, double duration_seconds);

  private:
    FixSink sink_;
    // The last position handed over, for the course to the next one.
    std::optional<std::pair<double, double>> last_position_;
    double last_course_ = 0;
};

}  // namespace camvault
