// The block scan over a clip held in memory.
#include "telemetry/window_scan.hpp"

#include <array>

namespace camvault {

bool scan_in_memory(const uint8_t* data, size_t size, const RecordSink& sink) {
    std::array<TelemetryRecord, kRecordsPerBlock> block;
    size_t position = 0;
    for (;;) {
        const size_t m = find_marker(data, size, position);
        // A marker without a whole block ends the scan: no later one has one either.
        if (m == size || size - m < kBlockSpan) {
            return true;
        }
        const size_t used = decode_block(data + m, block);
        for (size_t i = 0; i < used; ++i) {
            if (!sink(block[i]))
                return false;
        }
        position = m + kMarkerStep;
    }
}

}  // namespace camvault
