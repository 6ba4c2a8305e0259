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

namespace camvault::media {

namespace {

constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint16_t kUtf8Names = 0x0800;
constexpr uint16_t kVersionNeeded = 10;           // 1.0: stored entries and folders
constexpr uint16_t kVersionMadeBy = 3 << 8 | 20;  // Unix, 2.0: keeps the modes
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
uint32_t get16(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8;
}
uint32_t get32(const uint8_t* p) {
    return get16(p) | get16(p + 2) << 16;
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
    uint32_t size;
    uint32_t mode;
    uint32_t offset;
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

std::string local_header(const Written& w) {
    std::string h;
    put32(h, kLocalSignature);
    put16(h, kVersionNeeded);
    put16(h, kUtf8Names);
    put16(h, 0);  // stored
    put16(h, w.time);
    put16(h, w.date);
    put32(h, w.crc);
    put32(h, w.size);
    put32(h, w.size);
    put16(h, static_cast<uint32_t>(w.name.size()));
    put16(h, 0);
    return h + w.name;
}

std::string central_header(const Written& w) {
    std::string h;
    put32(h, kCentralSignature);
    put16(h, kVersionMadeBy);
    put16(h, kVersionNeeded);
    put16(h, kUtf8Names);
    put16(h, 0);
    put16(h, w.time);
    put16(h, w.date);
    put32(h, w.crc);
    put32(h, w.size);
    put32(h, w.size);
    put16(h, static_cast<uint32_t>(w.name.size()));
    put16(h, 0);  // extra
    put16(h, 0);  // comment
    put16(h, 0);  // disk
    put16(h, 0);  // internal attributes
    put32(h, w.mode << 16 | ((w.mode & S_IFDIR) ? 0x10 : 0));
    put32(h, w.offset);
    return h + w.name;
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
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{in};
    struct stat st {};
    if (::fstat(in, &st) != 0)
        return cannot("read", input.path, errno);
    if (!S_ISREG(st.st_mode))
        return fail("cannot read " + input.path + ": not a regular file");
    if (static_cast<uint64_t>(st.st_size) >= kZip32Limit)
        return fail("cannot put " + input.path + " in a zip: 4 GB or more");
    std::tie(w.time, w.date) = dos_time(st.st_mtime);
    w.mode = S_IFREG | 0644;
    const uint64_t header_at = out.end();
    if (!out.append(local_header(w).data(), kLocalHeaderSize + w.name.size()))
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
        if (size >= kZip32Limit)
            return fail("cannot put " + input.path + " in a zip: 4 GB or more");
        if (!out.append(buf.data(), static_cast<size_t>(n)))
            return cannot("write", zip_path, errno);
    }
    w.crc = static_cast<uint32_t>(crc);
    w.size = static_cast<uint32_t>(size);
    // The header's CRC and sizes, known now.
    std::string fields;
    put32(fields, w.crc);
    put32(fields, w.size);
    put32(fields, w.size);
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
        if (out.end() >= kZip32Limit)
            return fail("cannot write " + zip_path + ": the archive would pass 4 GB");
        Written w{input.name, 0, 0, 0, 0, 0, static_cast<uint32_t>(out.end())};
        if (input.name.back() == '/') {
            std::tie(w.time, w.date) = dos_time(std::time(nullptr));
            w.mode = S_IFDIR | 0755;
            w.crc = 0;
            if (!out.append(local_header(w).data(), kLocalHeaderSize + w.name.size()))
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
    if (directory_at + directory.size() >= kZip32Limit || entries.size() > 0xffff)
        return fail("cannot write " + zip_path + ": the archive would pass 4 GB");
    std::string end;
    put32(end, kEndSignature);
    put16(end, 0);
    put16(end, 0);
    put16(end, static_cast<uint32_t>(entries.size()));
    put16(end, static_cast<uint32_t>(entries.size()));
    put32(end, static_cast<uint32_t>(directory.size()));
    put32(end, static_cast<uint32_t>(directory_at));
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
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
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
    const uint32_t count = get16(&tail[end_at + 10]);
    const uint32_t directory_size = get32(&tail[end_at + 12]);
    const uint32_t directory_at = get32(&tail[end_at + 16]);
    if (uint64_t{directory_at} + directory_size > size)
        return broken("the central directory lies outside the file");
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
        const uint64_t local_at = get32(h + 42);
        uint8_t local[kLocalHeaderSize];
        if (local_at + kLocalHeaderSize > size || !read_at(fd, local, sizeof local, local_at) ||
            get32(local) != kLocalSignature)
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
