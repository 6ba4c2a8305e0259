// The registry of `freeGPS` box layouts: which layout a box holds, judged by
// the same kind of evidence ExifTool 12.57 weighs (header bytes, letters at
// fixed offsets, plausible date fields), and pure decoders that turn a box's
// bytes into fixes. No file I/O here: the caller hands over the box's bytes.
//
// Offsets are counted from the box's first byte (its 32-bit size), so the
// "freeGPS " text sits at 4..11. Boxes come two ways, and ExifTool tries a
// different list of layouts for each, so CamVault does too:
//   indexed  the moov's `gps ` box lists the box (offset and size);
//   scanned  found by its marker in the movie data, no index.
// A box that matches no signature of its list is decoded as the original
// 332-byte block (telemetry/scanner.hpp), exactly as before.
//
// clang-format off
// Layout           ExifTool  Way      Signature                                Status
// nextbase_block   2H        both     fallback: none of the others             decoded (original)
// novatek          1J, 2D    both     'A' N/S E/W at 72                        decoded, tested
// viofo_a119v3     1C        indexed  0 0 0 'A' N/S E/W at 37                  decoded, tested
// kingslim_d4      1D        indexed  0 0 0 'A' N/S E/W at 21                  recognised only
// akaso            1E        indexed  'A' at 60, N/S at 68, E/W at 76          decoded, tested
// rmc_shifted      1F        indexed  "4W`b]S<" at 60, 140 bytes               decoded, tested
// akaso_v1         1G        indexed  month, day, 'A' N/S E/W at 64..74        recognised only
// eachpai          1H        indexed  0xac at 12                               recognised only
// vantrue_s1       1I        indexed  'A' N/S E/W 0 at 64, plausible date      decoded, tested
// azdome_text      1A        indexed  aa aa f2 e1 f0 ee 54 54 at 18            decoded, tested
// nextbase_nmea    1B        indexed  14 date digits at 52, $xxRMC in the box  decoded, tested
// atc_ring         2A        scanned  "ATC" at 69                              decoded, tested
// doubles_type2    2B        scanned  'A' 0 at 60, N/S 0 at 72, E/W 0 at 88    decoded, tested
// iqs_integer      2C        scanned  'A' N/S E/W at 72, "IQS" at 16           decoded, tested
// floats_type2e    2E        scanned  'A' 0 at 60, N/S 0 at 68, E/W 0 at 76    decoded, tested
// innovv           2F        scanned  'A' N/S E/W 0 at 16                      decoded, tested
// vantrue_n4       2G        scanned  'A' at 28, N/S at 40, E/W at 56          decoded, tested
// "recognised only": ExifTool itself reports the coordinates of 1D, 1G and 1H
// as not decodable (encryption unknown). Their boxes give no records.
//
// INNOVV boxes hold 32-byte records ('A' N/S E/W 0, then little-endian floats
// latitude and longitude as DDDMM.MMMM without sign, speed in knots, track,
// and three signed 32-bit G-sensor words of undocumented unit and axes:
// read as no G-sensor, since a word of 1000 shown as 1000 g would draw a
// useless chart and make every record an impact), found as ExifTool finds them: the first record signature
// anywhere in the box with 28 bytes after it, then the next one after that
// record. (ExifTool searches all 32 KB it read, which may run past a shorter
// box into the next one; CamVault stops at the box's end, so that no record
// is read twice.) They carry no time, so their time is the movie's: the mvhd creation
// time (the camera's clock, read as UTC like every key) plus one second for
// each INNOVV box before this one in the file, as the cameras write one box a
// second; the k-th of a box's n records lies k/n of the way into its second.
// Keys are written to a tenth of a second, or to as many decimals as keep
// more than ten records of one box apart. A clip whose mvhd has no creation
// time (none, or 0) gives no INNOVV records: a date would be made up.
//
// Telemetry in the movie's own tracks (telemetry/track_telemetry.hpp):
// nmea_text_track  $xxRMC/$xxGGA in QuickTime text tracks   decoded, tested against ExifTool
//                  the same in tx3g subtitle tracks         decoded, tested against the text
//                                                           track (ExifTool 12.57 reads no NMEA there)
// gopro_gpmf       GoPro GPMF in a `gpmd` metadata track:   decoded, tested against ExifTool
//                  GPS5 scaled by SCAL, GPSU, ACCL          (telemetry/gpmf.hpp)
// clang-format on
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "telemetry/fix.hpp"

namespace camvault {

enum class BoxWay : uint8_t { indexed, scanned };

// Bytes from the box's start that identify_freegps may look at.
inline constexpr size_t kIdentifyBytes = 96;

// The layout of the box whose first bytes are `head` (at least kIdentifyBytes
// of them, else the answer is nextbase_block) and whose length is `length`:
// the sample size of its index entry, or the size field of a scanned box.
TelemetryLayout identify_freegps(std::span<const uint8_t> head, BoxWay way, uint64_t length);

// How many bytes of the box the layout's decoder reads (it reads no further):
// a few hundred for most, the whole box for those that search it.
size_t freegps_bytes_needed(TelemetryLayout layout, uint64_t length);

// What a layout carries from one box to the next.
struct FreeGpsState {
    // The ring-buffer layout.
    std::array<unsigned, 6>
        latest{};                // hour, minute, second, year, month, day of the newest record
    size_t recent_position = 0;  // where the newest record lay in the last box (0: none)
    // The INNOVV layout: the movie's creation time (seconds since 1970, as
    // read_movie_creation_time gives it: 1904 to 9999; others are not used),
    // and how many of its boxes came before.
    std::optional<int64_t> movie_created;
    uint64_t innovv_boxes = 0;
};

// Decodes one box into fixes handed to the sink in order. `box` holds the
// box's first bytes (up to freegps_bytes_needed); fields beyond its end are
// never read. A layout found both ways reads a few fields differently, as
// ExifTool does. False when the sink asked to stop.
bool decode_freegps(TelemetryLayout layout, std::span<const uint8_t> box, uint64_t length,
                    FreeGpsState& state, const FixSink& sink, BoxWay way);

}  // namespace camvault
