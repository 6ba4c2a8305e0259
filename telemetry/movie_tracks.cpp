// The moov's telemetry tracks and the places and durations of their samples.
#include "telemetry/movie_tracks.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace camvault {

namespace {

uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
uint64_t be64(const uint8_t* p) {
    return uint64_t{be32(p)} << 32 | be32(p + 4);
}

struct Atom {
    std::string_view type;
    std::span<const uint8_t> body;
};

// The child atoms of `body`, stopping at the first damaged one.
std::vector<Atom> children(std::span<const uint8_t> body) {
    std::vector<Atom> out;
    size_t at = 0;
    while (body.size() - at >= 8) {
        uint64_t size = be32(&body[at]);
        size_t header = 8;
        if (size == 1) {
            if (body.size() - at < 16)
                break;
            size = be64(&body[at + 8]);
            header = 16;
        } else if (size == 0) {
            size = body.size() - at;
        }
        if (size < header || size > body.size() - at)
            break;
        out.push_back({std::string_view(reinterpret_cast<const char*>(&body[at + 4]), 4),
                       body.subspan(at + header, static_cast<size_t>(size) - header)});
        at += static_cast<size_t>(size);
    }
    return out;
}

std::optional<Atom> child(std::span<const uint8_t> body, std::string_view type) {
    for (const Atom& a : children(body))
        if (a.type == type)
            return a;
    return std::nullopt;
}

// Sample places from the sample table, or nothing when a table is missing.
std::vector<SampleSpan> sample_spans(std::span<const uint8_t> stbl) {
    const auto stsz = child(stbl, "stsz");
    const auto stsc = child(stbl, "stsc");
    auto offsets_atom = child(stbl, "stco");
    const bool wide = !offsets_atom;
    if (wide)
        offsets_atom = child(stbl, "co64");
    if (!stsz || !stsc || !offsets_atom || stsz->body.size() < 12 || stsc->body.size() < 8 ||
        offsets_atom->body.size() < 8)
        return {};

    const uint32_t fixed_size = be32(&stsz->body[4]);
    size_t sample_count = be32(&stsz->body[8]);
    if (fixed_size == 0)
        sample_count = std::min<size_t>(sample_count, (stsz->body.size() - 12) / 4);
    sample_count = std::min(sample_count, kMaxTrackSamples);
    const auto sample_size = [&](size_t i) {
        return fixed_size != 0 ? fixed_size : be32(&stsz->body[12 + 4 * i]);
    };

    const size_t entry = wide ? 8 : 4;
    const size_t chunks =
        std::min<size_t>(be32(&offsets_atom->body[4]), (offsets_atom->body.size() - 8) / entry);
    const auto chunk_offset = [&](size_t c) {
        const uint8_t* p = &offsets_atom->body[8 + entry * c];
        return wide ? be64(p) : uint64_t{be32(p)};
    };

    const size_t runs = std::min<size_t>(be32(&stsc->body[4]), (stsc->body.size() - 8) / 12);
    std::vector<SampleSpan> out;
    size_t sample = 0;
    for (size_t r = 0; r < runs && sample < sample_count; ++r) {
        const uint8_t* run = &stsc->body[8 + 12 * r];
        const uint64_t first = be32(run);  // chunks count from 1
        const uint32_t per_chunk = be32(run + 4);
        const uint64_t next_first = r + 1 < runs ? be32(run + 12) : uint64_t{chunks} + 1;
        if (first == 0 || next_first <= first)
            continue;
        for (uint64_t c = first; c < next_first && c <= chunks && sample < sample_count; ++c) {
            uint64_t at = chunk_offset(static_cast<size_t>(c - 1));
            for (uint32_t k = 0; k < per_chunk && sample < sample_count; ++k, ++sample) {
                const uint32_t n = sample_size(sample);
                out.push_back({at, n});
                at += n;
            }
        }
    }
    return out;
}

// Each sample's duration from the time-to-sample table, at most `limit` of
// them; fewer where the table is short or missing.
std::vector<uint32_t> sample_durations(std::span<const uint8_t> stbl, size_t limit) {
    std::vector<uint32_t> out;
    const auto stts = child(stbl, "stts");
    if (!stts || stts->body.size() < 8)
        return out;
    const size_t runs = std::min<size_t>(be32(&stts->body[4]), (stts->body.size() - 8) / 8);
    for (size_t r = 0; r < runs && out.size() < limit; ++r) {
        const uint8_t* run = &stts->body[8 + 8 * r];
        const size_t count = std::min<size_t>(be32(run), limit - out.size());
        out.insert(out.end(), count, be32(run + 4));
    }
    return out;
}

uint32_t media_timescale(std::span<const uint8_t> mdia) {
    const auto mdhd = child(mdia, "mdhd");
    if (!mdhd || mdhd->body.size() < 4)
        return 0;
    const size_t at = mdhd->body[0] == 1 ? 20 : 12;  // after the 64-bit dates of version 1
    return mdhd->body.size() >= at + 4 ? be32(&mdhd->body[at]) : 0;
}

}  // namespace

std::vector<TimedTextTrack> timed_text_tracks_of_moov(const uint8_t* moov, size_t size) {
    std::vector<TimedTextTrack> tracks;
    const std::vector<Atom> top = children({moov, size});
    if (top.empty() || top[0].type != "moov")
        return tracks;
    for (const Atom& trak : children(top[0].body)) {
        if (trak.type != "trak")
            continue;
        const auto mdia = child(trak.body, "mdia");
        if (!mdia)
            continue;
        const auto hdlr = child(mdia->body, "hdlr");
        if (!hdlr || hdlr->body.size() < 12)
            continue;
        TimedTextTrack track;
        std::memcpy(track.handler.data(), &hdlr->body[8], 4);
        const std::string_view handler(track.handler.data(), 4);
        if (handler != "text" && handler != "sbtl" && handler != "meta")
            continue;
        const auto minf = child(mdia->body, "minf");
        const auto stbl = minf ? child(minf->body, "stbl") : std::nullopt;
        if (!stbl)
            continue;
        if (const auto stsd = child(stbl->body, "stsd"); stsd && stsd->body.size() >= 16)
            std::memcpy(track.format.data(), &stsd->body[12], 4);
        // Metadata tracks hold many formats; only GoPro's is read.
        if (handler == "meta" && std::string_view(track.format.data(), 4) != "gpmd")
            continue;
        track.samples = sample_spans(stbl->body);
        track.timescale = media_timescale(mdia->body);
        track.durations = sample_durations(stbl->body, track.samples.size());
        tracks.push_back(std::move(track));
    }
    return tracks;
}

std::vector<TimedTextTrack> read_timed_text_tracks(const PositionalReader& read, uint64_t size) {
    const auto read_exact = [&](uint8_t* buf, size_t n, uint64_t offset) {
        for (size_t done = 0; done < n;) {
            const ptrdiff_t got = read(buf + done, n - done, offset + done);
            if (got <= 0)
                return false;
            done += static_cast<size_t>(got);
        }
        return true;
    };
    uint64_t at = 0;
    while (size - at >= 8) {
        uint8_t h[16];
        if (!read_exact(h, 8, at))
            return {};
        uint64_t atom = be32(h);
        if (atom == 1) {
            if (size - at < 16 || !read_exact(h + 8, 8, at + 8))
                return {};
            atom = be64(h + 8);
        } else if (atom == 0) {
            atom = size - at;
        }
        if (atom < 8 || atom > size - at)
            return {};
        if (std::memcmp(h + 4, "moov", 4) == 0) {
            if (atom > kMaxMoovBytes)
                return {};
            std::vector<uint8_t> moov(static_cast<size_t>(atom));
            if (!read_exact(moov.data(), moov.size(), at))
                return {};
            return timed_text_tracks_of_moov(moov.data(), moov.size());
        }
        at += atom;
    }
    return {};
}

}  // namespace camvault
