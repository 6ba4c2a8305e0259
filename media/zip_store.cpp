// Zip archives of stored files, written in one pass and listed back.
#include "media/zip_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <tuple>
#include <utility>
#include <vector>

#include "base/fs/unique_fd.hpp"

namespace camvault::media {

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint16_t kUtf8Names = 0x0800;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint16_t kVersionNeeded = 10;           // 1.0: stored entries and folders
constexpr uint16_t kVersionNeededZip64 = 45;      // 4.5: ZIP64 sizes and offsets
constexpr uint16_t kVersionMadeBy = 3 << 8 | 45;  // Unix (keeps the modes), 4.5
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;
constexpr size_t kChunk = 1 << 20;
constexpr uint64_t kZip32Limit = 0xFFFFFFFFu;

void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>(v >> 8 & 0xff);
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}
void put64(std::string& out, uint64_t v) {
    put32(out, static_cast<uint32_t>(v));
    put32(out, static_cast<uint32_t>(v >> 32));
}
uint32_t get16(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}
uint32_t get32(const uint8_t* p) {
    return get16(p) | get16(p + 2) << 16;
}
uint64_t get64(const uint8_t* p) {
    return uint64_t{get32(p)} | uint64_t{get32(p + 4)} << 32;
}

// MS-DOS date and time (local, two-second steps) of a time.
std::pair<uint16_t, uint16_t> dos_time(time_t t) {
    struct tm tm {};
    localtime_r(&t, &tm);
    if (tm.tm_year < 80)
        return {0, 0x21};  // 1980-01-01, the earliest a zip holds
    const auto time = static_cast<uint16_t>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2);
    const auto date =
        static_cast<uint16_t>((tm.tm_year - 80) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday);
    return {time, date};
}

struct Written {
    std::string name;
    uint16_t time, date;
    uint32_t crc;
    uint64_t size;
    uint32_t mode;
    uint64_t offset;
    // Sizes of 4 GB and more go in a ZIP64 extra field, decided from the
    // file's size before it is stored.
    bool zip64_size;
};

class Output {
  public:
    explicit Output(int fd) : fd_(fd) {}
    bool write_at(const void* data, size_t n, uint64_t at) {
        const auto* p = static_cast<const uint8_t*>(data);
        while (n > 0) {
            const ssize_t w = ::pwrite(fd_, p, n, static_cast<off_t>(at));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            p += w;
            n -= static_cast<size_t>(w);
            at += static_cast<uint64_t>(w);
        }
        return true;
    }
    bool append(const void* data, size_t n) {
        if (!write_at(data, n, end_))
            return false;
        end_ += n;
        return true;
    }
    uint64_t end() const { return end_; }

  private:
    int fd_;
    uint64_t end_ = 0;
};

uint32_t clamped32(uint64_t v) {
    return v >= kZip32Limit ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

// The local header; with ZIP64 sizes its extra field holds both sizes.
std::string local_header(const Written& w) {
    std::string h;
    put32(h, kLocalSignature);
    put16(h, w.zip64_size ? kVersionNeededZip64 : kVersionNeeded);
    put16(h, kUtf8Names);
    put16(h, 0);  // stored
    put16(h, w.time);
    put16(h, w.date);
    put32(h, w.crc);
    put32(h, w.zip64_size ? 0xFFFFFFFFu : static_cast<uint32_t>(w.size));
    put32(h, w.zip64_size ? 0xFFFFFFFFu : static_cast<uint32_t>(w.size));
    put16(h, static_cast<uint32_t>(w.name.size()));
    put16(h, w.zip64_size ? 20 : 0);
    h += w.name;
    if (w.zip64_size) {
        put16(h, kZip64ExtraId);
        put16(h, 16);
        put64(h, w.size);
        put64(h, w.size);
    }
    return h;
}

// Where a local header's CRC and sizes lie, to be filled in once known.
void patch_fields(std::string& out, const Written& w) {
    put32(out, w.crc);
    put32(out, w.zip64_size ? 0xFFFFFFFFu : static_cast<uint32_t>(w.size));
    put32(out, w.zip64_size ? 0xFFFFFFFFu : static_cast<uint32_t>(w.size));
}

std::string central_header(const Written& w) {
    // The ZIP64 extra holds, in this order, only the fields too large for 32 bits.
    std::string extra;
    if (w.size >= kZip32Limit) {
        put64(extra, w.size);
        put64(extra, w.size);
    }
    if (w.offset >= kZip32Limit)
        put64(extra, w.offset);
    const bool zip64 = !extra.empty() || w.zip64_size;
    std::string h;
    put32(h, kCentralSignature);
    put16(h, kVersionMadeBy);
    put16(h, zip64 ? kVersionNeededZip64 : kVersionNeeded);
    put16(h, kUtf8Names);
    put16(h, 0);
    put16(h, w.time);
    put16(h, w.date);
    put32(h, w.crc);
    put32(h, clamped32(w.size));
    put32(h, clamped32(w.size));
    put16(h, static_cast<uint32_t>(w.name.size()));
    put16(h, extra.empty() ? 0 : static_cast<uint32_t>(4 + extra.size()));
    put16(h, 0);  // comment
    put16(h, 0);  // disk
    put16(h, 0);  // internal attributes
    put32(h, w.mode << 16 | ((w.mode & S_IFDIR) ? 0x10 : 0));
    put32(h, clamped32(w.offset));
    h += w.name;
    if (!extra.empty()) {
        put16(h, kZip64ExtraId);
        put16(h, static_cast<uint32_t>(extra.size()));
        h += extra;
    }
    return h;
}

Error cannot(const std::string& what, const std::string& path, int errnum) {
    return fail("cannot " + what + " " + path + ": " + std::strerror(errnum));
}

// Stores one file at the end of `out`: header, bytes, then the header's CRC
// and size filled in.
Status store_file(Output& out, const ZipInput& input, Written& w, const std::string& zip_path) {
    const int in = ::open(input.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return cannot("read", input.path, errno);
    const UniqueFd closer(in);
    struct stat st {};
    if (::fstat(in, &st) != 0)
        return cannot("read", input.path, errno);
    if (!S_ISREG(st.st_mode))
        return fail("cannot read " + input.path + ": not a regular file");
    // The size stat gives goes in a ZIP64 header now; the bytes read must match it.
    w.size = static_cast<uint64_t>(st.st_size);
    w.zip64_size = w.size >= kZip32Limit;
    std::tie(w.time, w.date) = dos_time(st.st_mtime);
    w.mode = S_IFREG | 0644;
    const uint64_t header_at = out.end();
    const std::string header = local_header(w);
    if (!out.append(header.data(), header.size()))
        return cannot("write", zip_path, errno);
    std::vector<uint8_t> buf(kChunk);
    uLong crc = crc32(0, nullptr, 0);
    uint64_t size = 0;
    for (;;) {
        const ssize_t n = ::read(in, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return cannot("read", input.path, errno);
        if (n == 0)
            break;
        crc = crc32(crc, buf.data(), static_cast<uInt>(n));
        size += static_cast<uint64_t>(n);
        if (size >= kZip32Limit && !w.zip64_size)
            return fail("cannot put " + input.path + " in a zip: it grew while it was read");
        if (!out.append(buf.data(), static_cast<size_t>(n)))
            return cannot("write", zip_path, errno);
    }
    w.crc = static_cast<uint32_t>(crc);
    if (w.zip64_size && size != w.size)
        return fail("cannot put " + input.path + " in a zip: it changed while it was read");
    w.size = size;
    // The header's CRC and sizes, known now (ZIP64 sizes were known before).
    std::string fields;
    patch_fields(fields, w);
    if (!out.write_at(fields.data(), fields.size(), header_at + 14))
        return cannot("write", zip_path, errno);
    return {};
}

Status write_archive(int fd, std::span<const ZipInput> inputs, const std::string& zip_path) {
    Output out(fd);
    std::vector<Written> entries;
    for (const auto& input : inputs) {
        if (input.name.empty() || input.name.size() > 0xffff)
            return fail("cannot put \"" + input.name + "\" in a zip: no usable name");
        Written w{input.name, 0, 0, 0, 0, 0, out.end(), false};
        if (input.name.back() == '/') {
            std::tie(w.time, w.date) = dos_time(std::time(nullptr));
            w.mode = S_IFDIR | 0755;
            const std::string header = local_header(w);
            if (!out.append(header.data(), header.size()))
                return cannot("write", zip_path, errno);
        } else if (const Status stored = store_file(out, input, w, zip_path); !stored) {
            return stored;
        }
        entries.push_back(std::move(w));
    }
    const uint64_t directory_at = out.end();
    std::string directory;
    for (const auto& w : entries)
        directory += central_header(w);
    std::string end;
    const uint64_t count = entries.size();
    if (count >= 0xffff || directory_at >= kZip32Limit || directory.size() >= kZip32Limit) {
        // The ZIP64 end record and its locator, then the classic end record
        // with its fields saturated.
        const uint64_t zip64_end_at = directory_at + directory.size();
        put32(end, kZip64EndSignature);
        put64(end, 44);
        put16(end, kVersionMadeBy);
        put16(end, kVersionNeededZip64);
        put32(end, 0);
        put32(end, 0);
        put64(end, count);
        put64(end, count);
        put64(end, directory.size());
        put64(end, directory_at);
        put32(end, kZip64LocatorSignature);
        put32(end, 0);
        put64(end, zip64_end_at);
        put32(end, 1);
    }
    put32(end, kEndSignature);
    put16(end, 0);
    put16(end, 0);
    put16(end, static_cast<uint32_t>(std::min<uint64_t>(count, 0xffff)));
    put16(end, static_cast<uint32_t>(std::min<uint64_t>(count, 0xffff)));
    put32(end, clamped32(directory.size()));
    put32(end, clamped32(directory_at));
    put16(end, 0);
    if (!out.append(directory.data(), directory.size()) || !out.append(end.data(), end.size()))
        return cannot("write", zip_path, errno);
    if (::fsync(fd) != 0)
        return cannot("write", zip_path, errno);
    return {};
}

bool read_at(int fd, void* buf, size_t n, uint64_t at) {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        const ssize_t r = ::pread(fd, p, n, static_cast<off_t>(at));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        p += r;
        n -= static_cast<size_t>(r);
        at += static_cast<uint64_t>(r);
    }
    return true;
}

}  // namespace

Status write_stored_zip(const std::string& zip_path, std::span<const ZipInput> inputs) {
    std::string temp = zip_path + ".part-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return cannot("write", zip_path, errno);
    // mkostemp makes the file private; an archive is read like any other file.
    Status written = ::fchmod(fd, 0644) == 0 ? write_archive(fd, inputs, zip_path)
                                             : cannot("write", zip_path, errno);
    if (::close(fd) != 0 && written)
        written = cannot("write", zip_path, errno);
    if (written && ::rename(temp.c_str(), zip_path.c_str()) != 0)
        written = cannot("write", zip_path, errno);
    if (!written)
        ::unlink(temp.c_str());
    return written;
}

Result<std::vector<ZipEntry>> list_zip(const std::string& zip_path) {
    const int fd = ::open(zip_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return cannot("read", zip_path, errno);
    const UniqueFd closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return cannot("read", zip_path, errno);
    const auto size = static_cast<uint64_t>(st.st_size);
    const auto broken = [&](const std::string& why) {
        return fail(zip_path + " is not a zip archive CamVault can read: " + why);
    };
    // The end record lies in the last 22 bytes plus up to 64 KB of comment.
    const uint64_t tail_size = std::min<uint64_t>(size, kEndSize + 0xffff);
    std::vector<uint8_t> tail(tail_size);
    if (!read_at(fd, tail.data(), tail.size(), size - tail_size))
        return cannot("read", zip_path, errno ? errno : EIO);
    size_t end_at = SIZE_MAX;
    for (size_t i = tail.size() >= kEndSize ? tail.size() - kEndSize + 1 : 0; i-- > 0;)
        if (get32(&tail[i]) == kEndSignature) {
            end_at = i;
            break;
        }
    if (end_at == SIZE_MAX)
        return broken("no end of central directory");
    uint64_t count = get16(&tail[end_at + 10]);
    uint64_t directory_size = get32(&tail[end_at + 12]);
    uint64_t directory_at = get32(&tail[end_at + 16]);
    // A ZIP64 archive keeps the true values in its own end record, found
    // through the locator just before the classic one.
    constexpr size_t kLocatorSize = 20;
    if (end_at >= kLocatorSize && get32(&tail[end_at - kLocatorSize]) == kZip64LocatorSignature) {
        const uint64_t zip64_end_at = get64(&tail[end_at - kLocatorSize + 8]);
        uint8_t record[56];
        if (zip64_end_at > size || size - zip64_end_at < sizeof record ||
            !read_at(fd, record, sizeof record, zip64_end_at) ||
            get32(record) != kZip64EndSignature)
            return broken("a damaged ZIP64 end record");
        count = get64(record + 32);
        directory_size = get64(record + 40);
        directory_at = get64(record + 48);
    }
    if (directory_at > size || size - directory_at < directory_size)
        return broken("the central directory lies outside the file");
    // Each entry takes 46 bytes or more of the directory.
    if (count > directory_size / kCentralHeaderSize)
        return broken("a damaged central directory");
    std::vector<uint8_t> directory(directory_size);
    if (!read_at(fd, directory.data(), directory.size(), directory_at))
        return cannot("read", zip_path, errno ? errno : EIO);
    std::vector<ZipEntry> entries;
    size_t at = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (directory.size() - at < kCentralHeaderSize ||
            get32(&directory[at]) != kCentralSignature)
            return broken("a damaged central directory");
        const uint8_t* h = &directory[at];
        const size_t name_length = get16(h + 28);
        const size_t extra = get16(h + 30) + size_t{get16(h + 32)};
        if (directory.size() - at - kCentralHeaderSize < name_length + extra)
            return broken("a damaged central directory");
        ZipEntry e;
        e.method = static_cast<uint16_t>(get16(h + 10));
        e.crc32 = get32(h + 16);
        e.size = get32(h + 20);
        e.unpacked_size = get32(h + 24);
        e.name.assign(reinterpret_cast<const char*>(h + kCentralHeaderSize), name_length);
        uint64_t local_at = get32(h + 42);
        // Saturated fields continue in the ZIP64 extra, in this order.
        const uint8_t* x = h + kCentralHeaderSize + name_length;
        const uint8_t* x_end = x + get16(h + 30);
        for (; x_end - x >= 4; x += 4 + get16(x + 2)) {
            const size_t length = get16(x + 2);
            if (static_cast<size_t>(x_end - x - 4) < length)
                return broken("a damaged extra field of " + e.name);
            if (get16(x) != kZip64ExtraId)
                continue;
            const uint8_t* v = x + 4;
            const uint8_t* v_end = v + length;
            for (uint64_t* field : {&e.unpacked_size, &e.size, &local_at}) {
                if (*field != 0xFFFFFFFFu)
                    continue;
                if (v_end - v < 8)
                    return broken("a damaged ZIP64 field of " + e.name);
                *field = get64(v);
                v += 8;
            }
            break;
        }
        uint8_t local[kLocalHeaderSize];
        if (local_at > size || size - local_at < kLocalHeaderSize ||
            !read_at(fd, local, sizeof local, local_at) || get32(local) != kLocalSignature)
            return broken("a damaged entry " + e.name);
        e.data_offset = local_at + kLocalHeaderSize + get16(local + 26) + get16(local + 28);
        if (e.data_offset > size || size - e.data_offset < e.size)
            return broken("entry " + e.name + " runs past the end");
        entries.push_back(std::move(e));
        at += kCentralHeaderSize + name_length + extra;
    }
    return entries;
}

}  // namespace camvault::media
