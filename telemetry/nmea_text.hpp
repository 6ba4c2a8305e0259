// NMEA sentences in the samples of a QuickTime text or subtitle track: each
// $xxRMC sentence with a valid fix gives one fix; a $xxGGA sentence of the
// same time (in the same sample or the next) belongs to the same fix, whose
// position it gives as ExifTool reads it. Pure: samples in, fixes out.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "telemetry/fix.hpp"

namespace camvault {

class NmeaTextDecoder {
  public:
    explicit NmeaTextDecoder(FixSink sink) : sink_(std::move(sink)) {}

    // One sample's bytes, with or without the two-byte length that text and
    // tx3g samples begin with. False when the sink asked to stop.
    bool sample(std::span<const uint8_t> bytes);

  private:
    struct Group {
        bool has_date = false;
        bool has_position = false;
        TelemetryFix fix;
    };
    bool flush();

    FixSink sink_;
    Group group_;
    std::string last_time_;
    bool merging_ = false;  // the group continues the fix already handed over
};

}  // namespace camvault
