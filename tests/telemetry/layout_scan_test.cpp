// The layout dispatch over the segmented file scan on generated clips: boxes
// that reach across segment borders, boxes read whole, and the original
// blocks give exactly what the walk over the clip held in memory gives, with
// and without worker threads and with short reads (INNOVV boxes also read
// the movie header for their time).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "telemetry/layout_scan.hpp"
#include "tests/support/layout_dispatch.hpp"
#include "tests/telemetry/run_command.hpp"

namespace camvault {
namespace {

using testing::Decoded;
using testing::dispatch_layouts;
using testing::quoted;
using testing::run_command;
using testing::TempFolder;

const std::string kMakeClip = std::string(CAMVAULT_SOURCE_DIR) + "/tools/make-clip";

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Decoded dispatch(const std::vector<uint8_t>& clip, const SegmentedScanOptions* options,
                 bool short_reads = false) {
    auto decoded = dispatch_layouts(clip, options, short_reads);
    EXPECT_TRUE(decoded) << "the scan did not run to its end";
    return decoded ? *decoded : Decoded{};
}

TEST(LayoutScan, SegmentBordersNeverChangeWhatTheLayoutsDecode) {
    TempFolder dir;
    struct Case {
        const char* layout;
        TelemetryLayout expected;
    } cases[] = {{"atc-ring", TelemetryLayout::atc_ring},
                 {"nextbase-nmea", TelemetryLayout::nextbase_nmea},
                 {"novatek", TelemetryLayout::novatek},
                 {"innovv", TelemetryLayout::innovv},
                 {"nextbase-block", TelemetryLayout::nextbase_block}};
    for (const Case& c : cases) {
        const std::string clip_path = dir / (std::string(c.layout) + ".MOV");
        const auto made =
            run_command(quoted(kMakeClip) + " --seconds 12 --size 160x120 --fps 5 --layout " +
                        c.layout + " " + quoted(clip_path));
        ASSERT_EQ(made.status, 0) << made.err;
        const std::vector<uint8_t> clip = read_file(clip_path);
        const Decoded reference = dispatch(clip, nullptr);
        EXPECT_EQ(reference.layouts, layout_bit(c.expected)) << c.layout;
        const size_t per_second = c.expected == TelemetryLayout::nextbase_block ? 10
                                  : c.expected == TelemetryLayout::innovv       ? 5
                                                                                : 1;
        EXPECT_EQ(reference.records.size() + reference.fixes.size(), 12 * per_second) << c.layout;
        // Segments far smaller than one 32 KB box, and ones of odd sizes.
        for (uint64_t segment : {uint64_t{1000}, uint64_t{4099}, uint64_t{40000}}) {
            for (unsigned workers : {0u, 2u}) {
                SegmentedScanOptions options;
                options.segment_size = segment;
                options.piece_size = 777;
                options.workers = workers;
                const Decoded got = dispatch(clip, &options, workers == 2);
                EXPECT_EQ(got.records, reference.records) << c.layout << " " << segment;
                EXPECT_EQ(got.fixes, reference.fixes) << c.layout << " " << segment;
                EXPECT_EQ(got.layouts, reference.layouts);
            }
        }
    }
}

}  // namespace
}  // namespace camvault
