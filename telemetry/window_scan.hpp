// The block scan over a clip held in memory: markers found with the vectorised
// search, the 332-byte step, and blocks decoded as they are found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "telemetry/scanner.hpp"

namespace camvault {

// Receives each used record in file order; returns false to stop the scan.
using RecordSink = std::function<bool(const TelemetryRecord&)>;

// Hands the records of every block of data[0, size) to the sink, exactly as
// scan_whole_buffer finds them. False when the sink asked to stop.
bool scan_in_memory(const uint8_t* data, size_t size, const RecordSink& sink);

}  // namespace camvault
