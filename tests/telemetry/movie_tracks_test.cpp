// The moov's telemetry tracks: text and subtitle tracks and GoPro `gpmd`
// metadata tracks are listed with their samples' places, each sample's
// duration from the time-to-sample table and the media's timescale; other
// metadata tracks are left out, and short tables give what they hold. Also
// the movie header's creation time, which times boxes that carry none.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "telemetry/civil_date.hpp"
#include "telemetry/gps_index.hpp"
#include "telemetry/movie_tracks.hpp"

namespace camvault {
namespace {

using Bytes = std::vector<uint8_t>;

void put32(Bytes& b, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<uint8_t>(v >> shift));
}

Bytes atom(const char* type, const Bytes& body) {
    Bytes b;
    put32(b, static_cast<uint32_t>(body.size() + 8));
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes cat(const std::vector<Bytes>& parts) {
    Bytes b;
    for (const Bytes& p : parts)
        b.insert(b.end(), p.begin(), p.end());
    return b;
}

// A full atom's body: version and flags, then 32-bit words.
Bytes words(const std::vector<uint32_t>& values, uint8_t version = 0) {
    Bytes b = {version, 0, 0, 0};
    for (uint32_t v : values)
        put32(b, v);
    return b;
}

struct TrackSpec {
    const char* handler;
    const char* format;
    uint32_t timescale;
    std::vector<uint32_t> stts;  // count, delta, count, delta...
    std::vector<uint32_t> sizes;
    std::vector<uint32_t> chunks;  // one sample a chunk
};

Bytes trak(const TrackSpec& t) {
    Bytes hdlr = words({0});
    hdlr.insert(hdlr.end(), t.handler, t.handler + 4);
    hdlr.resize(hdlr.size() + 12);
    Bytes stsd = words({1});
    put32(stsd, 16);
    stsd.insert(stsd.end(), t.format, t.format + 4);
    stsd.insert(stsd.end(), {0, 0, 0, 0, 0, 0, 0, 1});
    std::vector<uint32_t> stts = {static_cast<uint32_t>(t.stts.size() / 2)};
    stts.insert(stts.end(), t.stts.begin(), t.stts.end());
    std::vector<uint32_t> stsz = {0, static_cast<uint32_t>(t.sizes.size())};
    stsz.insert(stsz.end(), t.sizes.begin(), t.sizes.end());
    std::vector<uint32_t> stco = {static_cast<uint32_t>(t.chunks.size())};
    stco.insert(stco.end(), t.chunks.begin(), t.chunks.end());
    const Bytes stbl = atom("stbl", cat({atom("stsd", stsd), atom("stts", words(stts)),
                                         atom("stsc", words({1, 1, 1, 1})),
                                         atom("stsz", words(stsz)), atom("stco", words(stco))}));
    const Bytes mdhd = atom("mdhd", words({0, 0, t.timescale, 5000, 0}));
    return atom("trak", atom("mdia", cat({mdhd, atom("hdlr", hdlr), atom("minf", stbl)})));
}

TEST(MovieTracks, GpmdTrackWithDurationsAndTimescale) {
    const Bytes moov = atom(
        "moov", cat({trak({"vide", "avc1", 25, {10, 1}, {5, 5}, {100, 200}}),
                     trak({"meta", "gpmd", 1000, {2, 1001, 1, 500}, {40, 50, 60}, {300, 400, 500}}),
                     trak({"meta", "mebx", 1000, {1, 1000}, {10}, {600}}),
                     trak({"text", "text", 600, {1, 600}, {20}, {700}})}));
    const auto tracks = timed_text_tracks_of_moov(moov.data(), moov.size());
    ASSERT_EQ(tracks.size(), 2u);
    const TimedTextTrack& g = tracks[0];
    EXPECT_EQ(std::string(g.handler.data(), 4), "meta");
    EXPECT_EQ(std::string(g.format.data(), 4), "gpmd");
    EXPECT_EQ(g.timescale, 1000u);
    EXPECT_EQ(g.durations, (std::vector<uint32_t>{1001, 1001, 500}));
    ASSERT_EQ(g.samples.size(), 3u);
    EXPECT_EQ(g.samples[1].offset, 400u);
    EXPECT_EQ(g.samples[1].size, 50u);
    const TimedTextTrack& t = tracks[1];
    EXPECT_EQ(std::string(t.handler.data(), 4), "text");
    EXPECT_EQ(t.timescale, 600u);
    EXPECT_EQ(t.durations, (std::vector<uint32_t>{600}));
}

TEST(MovieTracks, DurationsAreCutToTheSamplesAndShortTablesGiveFewer) {
    const Bytes longer =
        atom("moov", trak({"meta", "gpmd", 90000, {5, 90000}, {40, 50}, {300, 400}}));
    const auto a = timed_text_tracks_of_moov(longer.data(), longer.size());
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].durations, (std::vector<uint32_t>{90000, 90000}));
    const Bytes shorter =
        atom("moov", trak({"meta", "gpmd", 1000, {1, 1000}, {40, 50, 60}, {300, 400, 500}}));
    const auto b = timed_text_tracks_of_moov(shorter.data(), shorter.size());
    ASSERT_EQ(b.size(), 1u);
    EXPECT_EQ(b[0].samples.size(), 3u);
    EXPECT_EQ(b[0].durations, (std::vector<uint32_t>{1000}));
}

// The creation time of a file whose moov holds `children`, read back.
std::optional<int64_t> creation_time(const Bytes& children, const Bytes& before = {}) {
    const Bytes file = cat({before, atom("moov", children)});
    const PositionalReader read = [&file](uint8_t* buf, size_t size, uint64_t offset) {
        if (offset >= file.size())
            return ptrdiff_t{0};
        const size_t n = std::min<size_t>(size, file.size() - offset);
        std::copy_n(file.begin() + static_cast<ptrdiff_t>(offset), n, buf);
        return static_cast<ptrdiff_t>(n);
    };
    return read_movie_creation_time(read, file.size());
}

TEST(MovieHeader, CreationTimeCountsFrom1904AndIsReadAsUtc) {
    // 2025-12-31 23:59:45, in seconds since 1904 (version 0 holds 32 bits).
    const int64_t unix_time = days_from_civil(2025, 12, 31) * 86400 + 86385;
    const auto since_1904 = static_cast<uint64_t>(unix_time + kQuickTimeEpochOffset);
    const Bytes v0 = atom("mvhd", words({static_cast<uint32_t>(since_1904), 7, 1000, 40000}));
    const Bytes free_atom = atom("free", Bytes(20));
    EXPECT_EQ(creation_time(v0, free_atom), unix_time);
    // Behind another child of the moov.
    EXPECT_EQ(creation_time(cat({free_atom, v0})), unix_time);
    // Version 1: 64 bits, here beyond what 32 bits hold (year 2100).
    const int64_t y2100 = days_from_civil(2100, 1, 1) * 86400;
    const auto wide = static_cast<uint64_t>(y2100 + kQuickTimeEpochOffset);
    const Bytes v1 = atom(
        "mvhd",
        words({static_cast<uint32_t>(wide >> 32), static_cast<uint32_t>(wide), 0, 0, 1000}, 1));
    EXPECT_EQ(creation_time(v1), y2100);
}

TEST(MovieHeader, NoCreationTimeWhereNoneWasSetOrNoneCanBeRead) {
    EXPECT_EQ(creation_time(atom("mvhd", words({0, 0, 1000, 40000}))), std::nullopt);
    EXPECT_EQ(creation_time(atom("free", Bytes(20))), std::nullopt);
    // Cut short: the version and flags, but no time after them.
    EXPECT_EQ(creation_time(atom("mvhd", words({}))), std::nullopt);
    EXPECT_EQ(creation_time(atom("mvhd", words({0}, 1))), std::nullopt);
    // Beyond year 9999, no key can hold it.
    EXPECT_EQ(creation_time(atom("mvhd", words({0xffffffff, 0xffffffff}, 1))), std::nullopt);
    // An mvhd outside the moov is not the movie's.
    const Bytes loose = atom("mvhd", words({3000000000u}));
    EXPECT_EQ(creation_time(atom("free", Bytes(8)), loose), std::nullopt);
}

}  // namespace
}  // namespace camvault
