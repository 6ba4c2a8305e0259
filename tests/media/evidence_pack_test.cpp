// Evidence packs made from generated files, checked by tools that share no
// code with CamVault (sha256sum, unzip, Python's zipfile, GdkPixbuf) and by
// the built `camvault-media verify`, which must name every file that changed
// whichever it is, in the folder and in the zip.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "media/evidence_pack.hpp"
#include "media/evidence_verify.hpp"
#include "media/route_map.hpp"
#include "media/zip_store.hpp"
#include "tests/media/media_test_support.hpp"
#include "tests/support/temp_folder.hpp"

namespace camvault::media {
namespace {

namespace fs = std::filesystem;
using camvault::testing::TempFolder;
using testing::capture;
using testing::run;
using testing::shell_quote;

const std::string kMediaBin = CAMVAULT_MEDIA_BIN;

struct Outcome {
    int status = -1;
    std::string out;
};

Outcome run_verify(const std::string& pack) {
    const std::string out_path = pack + ".verify.txt";
    const int raw = std::system((shell_quote(kMediaBin) + " verify " + shell_quote(pack) + " > " +
                                 shell_quote(out_path) + " 2>&1")
                                    .c_str());
    Outcome o{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, camvault::testing::read_text(out_path)};
    fs::remove(out_path);
    return o;
}

void flip_byte(const std::string& path, uint64_t at) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekg(static_cast<std::streamoff>(at));
    char c = 0;
    f.get(c);
    f.seekp(static_cast<std::streamoff>(at));
    f.put(static_cast<char>(c ^ 0x01));
}

// The report names the changed file. The seal holds one hash of the
// manifest, so when the two disagree both are named, and nothing else.
void expect_named(const std::string& report, const std::string& name) {
    if (name == "manifest.json" || name == "manifest.sha256") {
        EXPECT_NE(report.find(name), std::string::npos) << report;
        EXPECT_EQ(report.find(".mov"), std::string::npos) << report;
    } else {
        EXPECT_NE(report.find(name + ": changed\n"), std::string::npos) << name << "\n" << report;
        EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 2) << report;
    }
}

const std::vector<GeoPoint> kRoute{
    {48.8566, 2.3522}, {48.8570, 2.3540}, {48.8585, 2.3551}, {48.8590, 2.3580}};
const GeoPoint kEvent{48.8570, 2.3540};

class EvidencePack : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir / "in");
        fs::create_directories(dir / "out");
        ASSERT_TRUE(
            run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120:rate=10 "
                "-t 1 -c:v libx264 -pix_fmt yuv420p " +
                shell_quote(dir / "in/exp_1.mov") +
                " && ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=160x120 "
                "-frames:v 1 " +
                shell_quote(dir / "in/frame.png")));
        ASSERT_TRUE(write_route_map(dir / "in/map.png", {kRoute, kEvent, 800, 600}));
        std::ofstream(dir / "in/exp_1.gpx") << "<gpx/>\n";
        std::ofstream(dir / "in/exp_1.csv") << "time,lat,lon\n";
        PackRequest request{dir / "out", "evidence", {}, {}, {3, 60}};
        request.files = {{dir / "in/exp_1.mov", false, ""},
                         {dir / "in/frame.png", true, "frame 00:00:01.png"},
                         {dir / "in/map.png", true, ""},
                         {dir / "in/exp_1.gpx", true, ""},
                         {dir / "in/exp_1.csv", true, ""}};
        request.sources = {{"FILE0001.MOV", 1000, "1000-aa-bb"},
                           {"FILE0002.MOV", 2000, "2000-cc-dd"}};
        auto made = make_evidence_pack(request);
        ASSERT_TRUE(made) << made.error();
        pack = *made;
    }

    std::vector<std::string> folder_names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(pack.folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder dir;
    PackOutcome pack;
};

TEST_F(EvidencePack, HoldsEveryFileSealedAndZipped) {
    EXPECT_EQ(pack.folder, dir / "out/evidence");
    EXPECT_EQ(pack.zip, dir / "out/evidence.zip");
    EXPECT_EQ(folder_names(),
              (std::vector<std::string>{"exp_1.csv", "exp_1.gpx", "exp_1.mov", "frame 00:00:01.png",
                                        "manifest.json", "manifest.sha256", "map.png"}));
    // Moved files are gone from where they were; the copied movie stays.
    EXPECT_TRUE(fs::exists(dir / "in/exp_1.mov"));
    EXPECT_FALSE(fs::exists(dir / "in/map.png"));

    // Every hash is the one sha256sum computes; the seal checks.
    for (const auto& entry : pack.manifest.files) {
        const std::string sum =
            capture("sha256sum " + shell_quote(pack.folder + "/" + entry.name) + " | cut -c1-64");
        EXPECT_EQ(sum.substr(0, 64), entry.sha256) << entry.name;
        EXPECT_EQ(fs::file_size(pack.folder + "/" + entry.name), entry.size);
    }
    EXPECT_EQ(pack.manifest.files.size(), 5u);
    EXPECT_TRUE(run("cd " + shell_quote(pack.folder) + " && sha256sum --quiet -c manifest.sha256"));
    const std::string manifest = camvault::testing::read_text(pack.folder + "/manifest.json");
    for (const char* expected : {"\"clock_correction_s\": 3", "\"utc_offset_minutes\": 60",
                                 "\"fingerprint\": \"2000-cc-dd\"", "\"camvault_version\": \""})
        EXPECT_NE(manifest.find(expected), std::string::npos) << expected;

    EXPECT_TRUE(run("unzip -tq " + shell_quote(pack.zip) + " > /dev/null"));
    // Python's zipfile: the archive tests clean and holds the folder's bytes.
    EXPECT_TRUE(
        run("python3 -c \"import sys, zipfile, pathlib\n"
            "z = zipfile.ZipFile(sys.argv[1])\n"
            "assert z.testzip() is None\n"
            "names = [n for n in z.namelist() if not n.endswith('/')]\n"
            "assert len(names) == 7, names\n"
            "for n in names:\n"
            "    assert z.read(n) == (pathlib.Path(sys.argv[2]) / n).read_bytes(), n\n\" " +
            shell_quote(pack.zip) + " " + shell_quote(dir / "out")));

    for (const auto& where : {pack.folder, pack.zip}) {
        const Outcome o = run_verify(where);
        EXPECT_EQ(o.status, 0) << o.out;
        EXPECT_NE(o.out.find("OK: 5 file(s)"), std::string::npos) << o.out;
    }
}

TEST_F(EvidencePack, VerifyNamesWhicheverFileOfTheFolderChanged) {
    for (const auto& name : folder_names()) {
        const std::string copy = dir / ("changed-" + name);
        fs::copy(pack.folder, copy, fs::copy_options::recursive);
        flip_byte(copy + "/" + name, fs::file_size(copy + "/" + name) / 2);
        const Outcome o = run_verify(copy);
        EXPECT_EQ(o.status, 1) << name << "\n" << o.out;
        expect_named(o.out, name);
        fs::remove_all(copy);
    }
}

TEST_F(EvidencePack, VerifyNamesWhicheverFileOfTheZipChanged) {
    // Where each entry's bytes lie, as Python's zipfile reads the archive.
    const std::string offsets = capture(
        "python3 -c \"import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "for i in z.infolist():\n"
        "    if not i.filename.endswith('/'):\n"
        "        print(i.header_offset + 30 + len(i.filename.encode()) + len(i.extra), "
        "i.file_size, i.filename.split('/', 1)[1], sep='\\t')\n\" " +
        shell_quote(pack.zip));
    int checked = 0;
    std::istringstream lines(offsets);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        uint64_t at = 0, size = 0;
        std::string name;
        fields >> at >> size;
        fields.get();
        std::getline(fields, name);
        const std::string copy = dir / "changed.zip";
        fs::copy_file(pack.zip, copy, fs::copy_options::overwrite_existing);
        flip_byte(copy, at + size / 2);
        const Outcome o = run_verify(copy);
        EXPECT_EQ(o.status, 1) << name << "\n" << o.out;
        expect_named(o.out, name);
        ++checked;
    }
    EXPECT_EQ(checked, 7);
}

TEST_F(EvidencePack, VerifyNamesMissingAndUnlistedFiles) {
    fs::remove(pack.folder + "/map.png");
    std::ofstream(pack.folder + "/extra.txt") << "added later\n";
    const Outcome o = run_verify(pack.folder);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("map.png: missing"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("extra.txt: not in the manifest"), std::string::npos) << o.out;
    fs::create_directory(pack.folder + "/more");
    EXPECT_NE(run_verify(pack.folder).out.find("more/: not in the manifest"), std::string::npos);
    // In the zip: a file beside the pack's folder.
    ASSERT_TRUE(run("cd " + shell_quote(dir.path()) +
                    " && cp out/evidence.zip stray.zip && echo x > stray.txt && zip -q stray.zip "
                    "stray.txt"));
    const Outcome z = run_verify(dir / "stray.zip");
    EXPECT_EQ(z.status, 1);
    EXPECT_NE(z.out.find("stray.txt: in the zip but outside"), std::string::npos) << z.out;
    fs::remove(pack.folder + "/manifest.sha256");
    EXPECT_NE(run_verify(pack.folder).out.find("manifest.sha256: missing"), std::string::npos);
    EXPECT_EQ(run_verify(dir / "no-such-pack").status, 2);
}

TEST_F(EvidencePack, AZipRepackedWithDeflateStillVerifies) {
    const std::string deflated = dir / "deflated.zip";
    ASSERT_TRUE(run("cd " + shell_quote(dir / "out") + " && zip -q -9 -r " + shell_quote(deflated) +
                    " evidence"));
    EXPECT_EQ(run_verify(deflated).status, 0) << run_verify(deflated).out;
    // A change inside the compressed movie is still found.
    const std::string changed = dir / "changed.zip";
    ASSERT_TRUE(run("cd " + shell_quote(pack.folder) +
                    " && printf x >> exp_1.csv && cd .. && zip -q -r " + shell_quote(changed) +
                    " evidence"));
    const Outcome o = run_verify(changed);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.out.find("exp_1.csv: changed"), std::string::npos) << o.out;
}

TEST_F(EvidencePack, TakenNamesAreNumberedAndBadRequestsMakeNothing) {
    std::ofstream(dir / "in/a.txt") << "a";
    std::ofstream(dir / "in/b.txt") << "b";
    PackRequest again{dir / "out", "evidence", {{dir / "in/a.txt", false, ""}}, {}, {}};
    const auto second = make_evidence_pack(again);
    ASSERT_TRUE(second) << second.error();
    EXPECT_EQ(second->folder, dir / "out/evidence-2");
    EXPECT_EQ(run_verify(second->zip).status, 0);

    const auto count = [&] {
        return std::distance(fs::directory_iterator(dir / "out"), fs::directory_iterator());
    };
    const auto before = count();
    PackRequest twice{dir / "out",
                      "bad",
                      {{dir / "in/a.txt", false, "x"}, {dir / "in/b.txt", false, "x"}},
                      {},
                      {}};
    EXPECT_FALSE(make_evidence_pack(twice));
    PackRequest missing{dir / "out", "bad", {{dir / "in/none.txt", false, ""}}, {}, {}};
    EXPECT_FALSE(make_evidence_pack(missing));
    PackRequest sneaky{dir / "out", "bad", {{dir / "in/a.txt", false, "manifest.json"}}, {}, {}};
    EXPECT_FALSE(make_evidence_pack(sneaky));
    EXPECT_EQ(count(), before);
    EXPECT_TRUE(fs::exists(dir / "in/a.txt"));
}

// A movie of 4 GB or more, and a file stored after it, need ZIP64 sizes and
// offsets: unzip and Python read them, and so does verify's own listing. The
// big file is sparse; the archive is written for real (about 4 GB, seconds).
TEST(ZipStore, FilesOf4GbAndMoreAreStoredWithZip64) {
    TempFolder dir;
    const uint64_t big = (uint64_t{4} << 30) + 123;
    {
        std::ofstream f(dir / "big.mov", std::ios::binary);
        f.seekp(static_cast<std::streamoff>(big - 5));
        f << "tail!";
    }
    std::ofstream(dir / "small.txt") << "after the big one\n";
    const std::vector<ZipInput> inputs{
        {"p/", ""}, {"p/big.mov", dir / "big.mov"}, {"p/small.txt", dir / "small.txt"}};
    const Status written = write_stored_zip(dir / "p.zip", inputs);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(capture("unzip -tq " + shell_quote(dir / "p.zip") + " 2>&1"),
              "No errors detected in compressed data of " + dir / "p.zip" + ".\n");
    EXPECT_TRUE(
        run("python3 -c \"import sys, zipfile\n"
            "z = zipfile.ZipFile(sys.argv[1])\n"
            "assert z.getinfo('p/big.mov').file_size == " +
            std::to_string(big) +
            "\n"
            "assert z.read('p/small.txt') == b'after the big one\\n'\n\" " +
            shell_quote(dir / "p.zip")));
    const auto entries = list_zip(dir / "p.zip");
    ASSERT_TRUE(entries) << entries.error();
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[1].size, big);
    EXPECT_GT((*entries)[2].data_offset, big);
    std::ifstream zip(dir / "p.zip", std::ios::binary);
    zip.seekg(static_cast<std::streamoff>((*entries)[2].data_offset));
    std::string line;
    std::getline(zip, line);
    EXPECT_EQ(line, "after the big one");
}

// The shapes of a 4 GB archive in a few hundred bytes (every size and offset
// saturated, the true values in ZIP64 fields; written by Python's struct).
TEST(ZipStore, ReadsZip64FieldsOfASmallArchive) {
    const auto entries =
        list_zip(std::string(CAMVAULT_SOURCE_DIR) + "/tests/fuzz/corpus/pack_fuzz/zip64.zip");
    ASSERT_TRUE(entries) << entries.error();
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].name, "p/a.txt");
    EXPECT_EQ((*entries)[0].size, 6u);
    EXPECT_EQ((*entries)[0].unpacked_size, 6u);
    EXPECT_EQ((*entries)[0].data_offset, 30u + 7 + 20);
}

unsigned pixel_at(GdkPixbuf* pixbuf, MapPixel at) {
    const int x = static_cast<int>(std::lround(at.x)), y = static_cast<int>(std::lround(at.y));
    const guchar* p = gdk_pixbuf_get_pixels(pixbuf) + y * gdk_pixbuf_get_rowstride(pixbuf) +
                      x * gdk_pixbuf_get_n_channels(pixbuf);
    return unsigned{p[0]} << 16 | unsigned{p[1]} << 8 | p[2];
}

TEST_F(EvidencePack, MapPictureShowsStartEndAndEventWhereTheyLie) {
    GError* error = nullptr;
    GdkPixbuf* raw = gdk_pixbuf_new_from_file((pack.folder + "/map.png").c_str(), &error);
    ASSERT_NE(raw, nullptr) << (error ? error->message : "");
    std::unique_ptr<GdkPixbuf, decltype(&g_object_unref)> pixbuf(raw, g_object_unref);
    EXPECT_EQ(gdk_pixbuf_get_width(raw), 800);
    EXPECT_EQ(gdk_pixbuf_get_height(raw), 600);
    std::vector<GeoPoint> fitted = kRoute;
    fitted.push_back(kEvent);
    const auto projection = MapProjection::fit(fitted, 800, 600, 48);
    EXPECT_EQ(pixel_at(raw, projection(kRoute.front())), 0x2b8a3eu);  // green start
    EXPECT_EQ(pixel_at(raw, projection(kRoute.back())), 0xc92a2au);   // red end
    EXPECT_EQ(pixel_at(raw, projection(kEvent)), 0xe8590cu);          // orange event
    // Halfway along the last leg the route's blue line is drawn.
    const MapPixel a = projection(kRoute[2]), b = projection(kRoute[3]);
    EXPECT_EQ(pixel_at(raw, {(a.x + b.x) / 2, (a.y + b.y) / 2}), 0x1c64d8u);
    EXPECT_FALSE(write_route_map(dir / "none.png", {{}, std::nullopt, 800, 600}));
}

}  // namespace
}  // namespace camvault::media
