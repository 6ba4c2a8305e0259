// One decoded position fix of any telemetry layout other than the original
// 332-byte block, and the names of those layouts. Layout decoders yield fixes;
// the script writer turns each into one record line of the usual format.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace camvault {

// Every layout CamVault recognises. The order is that of the registry table in
// telemetry/freegps_layouts.hpp; the values are bit positions in a LayoutSet.
enum class TelemetryLayout : uint8_t {
    nextbase_block,   // the original 332-byte block, big-endian, ten records
    novatek,          // LE hour..day, 'A', N/S, E/W, float DDDMM.MMMM, knots
    viofo_a119v3,     // LE hour..day at 16, 'A' N/S E/W at 40, floats
    akaso,            // LE ints and floats, refs as 32-bit words, track +180
    vantrue_s1,       // 'A' N/S E/W at 64, LE year..second, floats (lon first)
    azdome_text,      // ASCII fix XOR 0xAA
    nextbase_nmea,    // camera time at 52, $xxRMC text in the block
    rmc_shifted,      // $GPRMC text with every byte raised by 16
    doubles_type2,    // LE ints, refs as words, doubles, G-sensor
    iqs_integer,      // 'IQS' header: LE degrees x 1e7, m/s x 100
    floats_type2e,    // like akaso, with a G-sensor, no track offset
    vantrue_n4,       // LE time at 16, doubles at 32.., G-sensor
    atc_ring,         // encrypted 52-byte records in a ring buffer
    nmea_text_track,  // $xxRMC / $xxGGA sentences in a QuickTime text or subtitle track
    // Recognised but not decoded: ExifTool reports their coordinates as not
    // decodable (encryption unknown), so their blocks yield no records.
    kingslim_d4,
    akaso_v1,
    eachpai,
    // 32-byte records without a time of their own: timed from the movie header.
    innovv,
    // Added after the others so that the layout sets already stored in a
    // library's index keep their meaning.
    gopro_gpmf,  // GoPro GPMF (GPS5, GPSU, ACCL) in a QuickTime `gpmd` metadata track
    count
};

using LayoutSet = uint32_t;
static_assert(static_cast<unsigned>(TelemetryLayout::count) <= 32);

constexpr LayoutSet layout_bit(TelemetryLayout layout) {
    return LayoutSet{1} << static_cast<unsigned>(layout);
}

// A short name for reports, e.g. "novatek".
std::string_view layout_name(TelemetryLayout layout);

// What the layout's G-sensor gives, for the report.
enum class GSensor : uint8_t {
    none,           // the layout has none: x, y and z are written as 0.00
    axes_unknown,   // values kept as recorded; the layout does not document its axes
    camvault_axes,  // mapped to x right, y forward, z up
};
GSensor layout_gsensor(TelemetryLayout layout);

struct TelemetryFix {
    // As recorded, unchecked beyond what the layout's own checks demand:
    // wide enough for any value a 32-bit field holds.
    uint32_t year = 0;
    uint32_t month = 0;
    uint32_t day = 0;
    uint32_t hour = 0;
    uint32_t minute = 0;
    double second = 0;     // with its fraction where the layout has one
    double latitude = 0;   // degrees, south negative
    double longitude = 0;  // degrees, west negative
    double speed_kmh = 0;
    double track = 0;  // degrees
    bool has_accel = false;
    double x = 0, y = 0, z = 0;  // g, as the layout's GSensor says
    // Decimals of the second in the record key: a tenth, as every key, unless
    // the layout's fixes come closer together than that (see fix_key).
    uint8_t second_decimals = 1;

    bool operator==(const TelemetryFix&) const = default;
};

// Receives each fix in file order; returns false to stop.
using FixSink = std::function<bool(const TelemetryFix&)>;

}  // namespace camvault
