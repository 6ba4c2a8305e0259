// Original freeGPS blocks made from route points, and their append to a movie.
#include "telemetry/freegps_writer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/fs/unique_fd.hpp"
#include "telemetry/civil_date.hpp"

namespace camvault {

namespace {

constexpr int64_t kMsPerDay = 86'400'000;
constexpr int64_t kTenthMs = 100;
constexpr uint8_t kFixStatus = 2;
// The padding between a marker and its block.
constexpr size_t kMarkerPadding = kBlockOffset - kMarker.size();
// Blocks per atom: ten minutes, about 226 KB.
constexpr size_t kBlocksPerAtom = 600;

struct TimedPoint {
    int64_t ms;
    const RoutePoint* point;
};

int64_t floor_div(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

void put_u16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

void put_i32(uint8_t* p, int64_t v) {
    const auto u = static_cast<uint32_t>(static_cast<int32_t>(v));
    p[0] = static_cast<uint8_t>(u >> 24);
    p[1] = static_cast<uint8_t>(u >> 16);
    p[2] = static_cast<uint8_t>(u >> 8);
    p[3] = static_cast<uint8_t>(u);
}

int64_t scaled(double value, double scale, int64_t lowest, int64_t highest) {
    return std::clamp<int64_t>(std::llround(value * scale), lowest, highest);
}

double normal_heading(double h) {
    h = std::fmod(h, 360.0);
    return h < 0 ? h + 360.0 : h;
}

bool usable(const RoutePoint& p) {
    return std::isfinite(p.latitude) && std::isfinite(p.longitude) && std::fabs(p.latitude) <= 90 &&
           std::fabs(p.longitude) <= 180 && std::isfinite(p.speed_kmh) && std::isfinite(p.heading);
}

bool has_usable_accel(const RoutePoint& p) {
    return p.has_accel && std::isfinite(p.g_x) && std::isfinite(p.g_y) && std::isfinite(p.g_z);
}

// The field holds the high 16 bits of a signed 32-bit count of 1e-7 degrees,
// so it reaches 214.7 degrees at most: headings beyond are written as the
// same direction less a full turn (300 as -60), which the readers show as is.
uint32_t heading_field(double heading) {
    constexpr double kHighest = INT32_MAX / 1e7;
    const double h = heading > kHighest ? heading - 360 : heading;
    const auto high = static_cast<int16_t>(scaled(h, 1e7 / 65536.0, INT16_MIN, INT16_MAX));
    return static_cast<uint16_t>(high);
}

struct Sample {
    double latitude, longitude, speed_kmh, heading;
};

// The sample at `t` from the sources (sorted by time), or nothing.
std::optional<Sample> sample_at(const std::vector<TimedPoint>& sources, int64_t t) {
    const auto after = std::lower_bound(sources.begin(), sources.end(), t,
                                        [](const TimedPoint& s, int64_t v) { return s.ms < v; });
    if (after == sources.end())
        return std::nullopt;
    const RoutePoint& b = *after->point;
    if (after->ms == t)
        return Sample{b.latitude, b.longitude, b.speed_kmh, normal_heading(b.heading)};
    if (after == sources.begin())
        return std::nullopt;
    const auto before = after - 1;
    if (after->ms - before->ms > kLongestBridgedGapMs)
        return std::nullopt;
    const RoutePoint& a = *before->point;
    const double f =
        static_cast<double>(t - before->ms) / static_cast<double>(after->ms - before->ms);
    const auto mix = [f](double x, double y) { return x + (y - x) * f; };
    // Heading the short way round: 350 to 10 passes north, not south.
    const double ha = normal_heading(a.heading);
    double turn = normal_heading(b.heading) - ha;
    if (turn > 180)
        turn -= 360;
    else if (turn < -180)
        turn += 360;
    return Sample{mix(a.latitude, b.latitude), mix(a.longitude, b.longitude),
                  mix(a.speed_kmh, b.speed_kmh), normal_heading(ha + turn * f)};
}

struct Accel {
    double x = 0, y = 0, z = 0;
};

// The mean of the second's G-sensor readings (`in_second`), else the
// reading nearest the second's middle within a bridged gap.
Accel accel_of_second(const std::vector<TimedPoint>& sources,
                      const std::vector<TimedPoint>& in_second, int64_t second_ms) {
    if (!in_second.empty()) {
        Accel sum;
        for (const auto& s : in_second) {
            sum.x += s.point->g_x;
            sum.y += s.point->g_y;
            sum.z += s.point->g_z;
        }
        const auto n = static_cast<double>(in_second.size());
        return {sum.x / n, sum.y / n, sum.z / n};
    }
    const int64_t middle = second_ms + 500;
    const auto split = std::lower_bound(sources.begin(), sources.end(), middle,
                                        [](const TimedPoint& s, int64_t v) { return s.ms < v; });
    const TimedPoint* nearest = nullptr;
    int64_t nearest_distance = kLongestBridgedGapMs + 1;
    for (auto it = split; it != sources.end() && it->ms - middle < nearest_distance; ++it)
        if (has_usable_accel(*it->point)) {
            nearest = &*it;
            nearest_distance = it->ms - middle;
            break;
        }
    for (auto it = split; it != sources.begin();) {
        --it;
        // On a tie the earlier reading wins: it had happened by then.
        if (middle - it->ms > std::min(nearest_distance, kLongestBridgedGapMs))
            break;
        if (has_usable_accel(*it->point)) {
            nearest = &*it;
            break;
        }
    }
    if (nearest != nullptr)
        return {nearest->point->g_x, nearest->point->g_y, nearest->point->g_z};
    return {};
}

// The sources that can matter to the span: those inside it and, on each side,
// those within a bridged gap of it.
std::vector<TimedPoint> timed_sources(std::span<const RoutePoint> points, CameraSpan span) {
    std::vector<TimedPoint> sources;
    for (const auto& p : points) {
        const auto ms = camera_milliseconds(p.time);
        if (!ms || !usable(p))
            continue;
        if (*ms < span.start_ms - kLongestBridgedGapMs - 1000 ||
            *ms > span.end_ms + kLongestBridgedGapMs + 1000)
            continue;
        sources.push_back({*ms, &p});
    }
    std::stable_sort(sources.begin(), sources.end(),
                     [](const TimedPoint& a, const TimedPoint& b) { return a.ms < b.ms; });
    return sources;
}

// After a block's marker the scan resumes kMarkerStep bytes on, inside the
// block's last bytes: record 9's position and the G-sensor words. Values whose
// bytes spell the marker there would be taken for a block and hide the next
// one, so the least significant byte of the match that belongs to a value is
// moved by one (1e-7 degrees, or a few billionths of a g). The marker does
// not overlap itself, so a match can neither straddle into the next marker.
void keep_markers_out_of_reach(FreeGpsBlock& block) {
    constexpr size_t kReach = kMarkerStep - kBlockOffset;  // 288: where the scan resumes
    // The first and last byte of each value in reach: latitude and longitude
    // of record 9, then the G-sensor's x, y and z.
    constexpr std::array<std::pair<size_t, size_t>, 5> kValues = {
        {{303, 306}, {307, 310}, {320, 323}, {324, 327}, {328, 331}}};
    const auto significance = [&](size_t at) -> size_t {
        for (const auto& [first, last] : kValues)
            if (at >= first && at <= last)
                return last - at;
        return SIZE_MAX;  // a date or status byte: never changed
    };
    // A change cannot make a match again at the same place; the bound only
    // guards against changes feeding each other.
    int changes = 0;
    for (size_t at = kReach; at + kMarker.size() <= block.size() && changes < 64;) {
        if (std::memcmp(block.data() + at, kMarker.data(), kMarker.size()) != 0) {
            ++at;
            continue;
        }
        size_t change = at;
        for (size_t i = at; i < at + kMarker.size(); ++i)
            if (significance(i) < significance(change))
                change = i;
        block[change] ^= 1;
        ++changes;
        at = kReach;  // the change is one bit: look again from the start
    }
}

FreeGpsBlock block_of_second(const std::vector<TimedPoint>& sources, int64_t second_ms,
                             CameraSpan span, const std::vector<TimedPoint>& in_second) {
    FreeGpsBlock block{};
    const int64_t day = floor_div(second_ms, kMsPerDay);
    const int64_t in_day = second_ms - day * kMsPerDay;
    const CivilDate date = civil_from_days(day);
    const auto hour = static_cast<uint8_t>(in_day / 3'600'000);
    const auto minute = static_cast<uint8_t>(in_day / 60'000 % 60);
    const auto second = static_cast<uint32_t>(in_day / 1000 % 60);
    for (size_t k = 0; k < kRecordsPerBlock; ++k) {
        uint8_t* rec = block.data() + 32 * k;
        // Every record carries the date, as the cameras write it; readers take
        // record 0's.
        put_u16(rec + 6, static_cast<uint32_t>(date.year));
        rec[8] = static_cast<uint8_t>(date.month);
        rec[9] = static_cast<uint8_t>(date.day);
        rec[10] = hour;
        rec[11] = minute;
        put_u16(rec + 12, second * 10 + static_cast<uint32_t>(k));
        const int64_t t = second_ms + static_cast<int64_t>(k) * kTenthMs;
        if (t < span.start_ms || t > span.end_ms)
            continue;
        const auto sample = sample_at(sources, t);
        if (!sample)
            continue;
        put_u16(rec + 2, static_cast<uint32_t>(scaled(sample->speed_kmh, 1 / 0.036, 0, 65535)));
        put_u16(rec + 4, heading_field(sample->heading));
        rec[14] = kFixStatus;
        put_i32(rec + 15, scaled(sample->latitude, 1e7, -900'000'000, 900'000'000));
        put_i32(rec + 19, scaled(sample->longitude, 1e7, -1'800'000'000, 1'800'000'000));
    }
    const Accel g = accel_of_second(sources, in_second, second_ms);
    put_i32(block.data() + 320, scaled(g.x, 1e9, INT32_MIN, INT32_MAX));
    put_i32(block.data() + 324, scaled(g.y, 1e9, INT32_MIN, INT32_MAX));
    put_i32(block.data() + 328, scaled(g.z, 1e9, INT32_MIN, INT32_MAX));
    keep_markers_out_of_reach(block);
    return block;
}

Status os_failure(const std::string& what, const std::string& path, int errnum) {
    return fail("cannot " + what + " " + path + ": " + std::strerror(errnum));
}

bool read_exactly(int fd, uint8_t* buf, size_t n, uint64_t offset) {
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, buf + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<size_t>(got);
    }
    return true;
}

// Checks that the top-level atoms fill the file, one of them a moov.
Status check_atoms(int fd, uint64_t size, const std::string& path) {
    uint64_t at = 0;
    bool moov = false;
    while (at < size) {
        uint8_t head[16];
        if (size - at < 8 || !read_exactly(fd, head, 8, at))
            return fail(path + " is not a QuickTime or MP4 movie (its atoms end early)");
        uint64_t length =
            uint64_t{head[0]} << 24 | uint64_t{head[1]} << 16 | uint64_t{head[2]} << 8 | head[3];
        size_t header = 8;
        if (length == 1) {
            if (size - at < 16 || !read_exactly(fd, head + 8, 8, at + 8))
                return fail(path + " is not a QuickTime or MP4 movie (its atoms end early)");
            length = 0;
            for (int i = 8; i < 16; ++i)
                length = length << 8 | head[i];
            header = 16;
        } else if (length == 0) {
            return fail(path + " ends in an atom without a size: telemetry cannot follow it");
        }
        if (length < header || length > size - at)
            return fail(path + " is not a QuickTime or MP4 movie (an atom runs past its end)");
        moov = moov || std::memcmp(head + 4, "moov", 4) == 0;
        at += length;
    }
    if (!moov)
        return fail(path + " is not a QuickTime or MP4 movie (it has no moov atom)");
    return {};
}

}  // namespace

std::optional<int64_t> camera_milliseconds(const CameraTime& time) {
    return utc_milliseconds(time, 0, 0);
}

Result<std::vector<FreeGpsBlock>> freegps_blocks(std::span<const RoutePoint> points,
                                                 CameraSpan span) {
    if (span.end_ms < span.start_ms)
        return fail("the span ends before it starts");
    if (span.end_ms - span.start_ms > kLongestSpanMs)
        return fail("a movie's telemetry covers a day at most");
    const std::vector<TimedPoint> sources = timed_sources(points, span);
    std::vector<FreeGpsBlock> blocks;
    const int64_t first = floor_div(span.start_ms, 1000) * 1000;
    const int64_t last = floor_div(span.end_ms, 1000) * 1000;
    blocks.reserve(static_cast<size_t>((last - first) / 1000 + 1));
    std::vector<TimedPoint> in_second;
    auto next = sources.begin();
    for (int64_t second = first; second <= last; second += 1000) {
        // Sources walk forward with the seconds, so the mean costs no rescans.
        while (next != sources.end() && next->ms < second)
            ++next;
        in_second.clear();
        for (auto it = next; it != sources.end() && it->ms < second + 1000; ++it)
            if (has_usable_accel(*it->point))
                in_second.push_back(*it);
        blocks.push_back(block_of_second(sources, second, span, in_second));
    }
    return blocks;
}

std::vector<uint8_t> freegps_atoms(std::span<const FreeGpsBlock> blocks) {
    std::vector<uint8_t> out;
    out.reserve(blocks.size() * kBlockSpan + (blocks.size() / kBlocksPerAtom + 1) * 8);
    for (size_t first = 0; first < blocks.size(); first += kBlocksPerAtom) {
        const size_t n = std::min(kBlocksPerAtom, blocks.size() - first);
        const auto size = static_cast<uint32_t>(8 + n * kBlockSpan);
        const uint8_t head[8] = {static_cast<uint8_t>(size >> 24),
                                 static_cast<uint8_t>(size >> 16),
                                 static_cast<uint8_t>(size >> 8),
                                 static_cast<uint8_t>(size),
                                 'f',
                                 'r',
                                 'e',
                                 'e'};
        out.insert(out.end(), head, head + 8);
        for (size_t i = first; i < first + n; ++i) {
            out.insert(out.end(), kMarker.begin(), kMarker.end());
            out.insert(out.end(), kMarkerPadding, uint8_t{0});
            out.insert(out.end(), blocks[i].begin(), blocks[i].end());
        }
    }
    return out;
}

Result<size_t> append_movie_telemetry(const std::string& movie_path,
                                      std::span<const RoutePoint> points, CameraSpan span) {
    auto blocks = freegps_blocks(points, span);
    if (!blocks)
        return blocks.failure();
    const std::vector<uint8_t> atoms = freegps_atoms(*blocks);

    const int fd = ::open(movie_path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return os_failure("open", movie_path, errno).failure();
    const UniqueFd closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return os_failure("read", movie_path, errno).failure();
    if (!S_ISREG(st.st_mode))
        return fail(movie_path + " is not a regular file");
    const auto size = static_cast<uint64_t>(st.st_size);
    if (const Status atoms_ok = check_atoms(fd, size, movie_path); !atoms_ok)
        return atoms_ok.failure();

    size_t done = 0;
    while (done < atoms.size()) {
        const ssize_t n =
            ::pwrite(fd, atoms.data() + done, atoms.size() - done, static_cast<off_t>(size + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int errnum = n < 0 ? errno : EIO;
            // A movie with half an atom at its end would not play everywhere.
            [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(size));
            return os_failure("write", movie_path, errnum).failure();
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        const int errnum = errno;
        [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(size));
        return os_failure("write", movie_path, errnum).failure();
    }
    return blocks->size();
}

std::vector<RoutePoint> points_in_span(std::span<const ClipRoute> clips, CameraSpan span) {
    std::vector<std::pair<int64_t, RoutePoint>> timed;
    for (const auto& clip : clips)
        for (const auto& p : clip.points)
            if (const auto ms = camera_milliseconds(p.time);
                ms && *ms >= span.start_ms && *ms <= span.end_ms)
                timed.emplace_back(*ms, p);
    std::stable_sort(timed.begin(), timed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<RoutePoint> points;
    points.reserve(timed.size());
    for (auto& [ms, p] : timed)
        points.push_back(std::move(p));
    return points;
}

}  // namespace camvault
