// Generated clips: they play exactly like clips without telemetry, and
// camvault-extract turns their blocks into the same bytes as an independent
// implementation of the script format.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "tests/telemetry/run_command.hpp"

namespace camvault {
namespace {

using testing::quoted;
using testing::read_text;
using testing::run_command;
using testing::TempFolder;

const std::string kMakeClip = std::string(CAMVAULT_SOURCE_DIR) + "/tools/make-clip";
const std::string kReference =
    std::string(CAMVAULT_SOURCE_DIR) + "/tests/telemetry/reference_script.py";

std::string make_clip(const std::string& args, const std::string& out) {
    const auto r = run_command(quoted(kMakeClip) + " " + args + " " + quoted(out));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, out + "\n");
    return out;
}

// One hash per compressed packet: equal lists mean bit-identical media.
std::string packet_hashes(const std::string& clip) {
    const auto r = run_command("ffmpeg -nostdin -v error -i " + quoted(clip) +
                               " -map 0 -c copy -f framemd5 - | grep -v '^#'");
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
}

size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(MakeClip, PlantedTelemetryLeavesTheMediaBitIdentical) {
    TempFolder dir;
    const auto plain = make_clip("--seconds 4 --size 320x240 --no-telemetry", dir / "plain.MOV");
    const auto gps = make_clip("--seconds 4 --size 320x240 --pad-mb 1", dir / "gps.MOV");
    const std::string hashes = packet_hashes(plain);
    EXPECT_GT(count_of(hashes, "\n"), 100u);
    EXPECT_EQ(packet_hashes(gps), hashes);
    EXPECT_EQ(count_of(read_text(gps), "freeGPS"), 4u);
    EXPECT_EQ(count_of(read_text(plain), "freeGPS"), 0u);

    const auto decoded = run_command("ffmpeg -nostdin -v error -i " + quoted(gps) +
                                     " -map 0 -f framemd5 - | grep -c '^[01],'");
    EXPECT_EQ(decoded.status, 0) << decoded.err;
}

// The GoPro layout adds a `gpmd` track: the picture and sound stay
// bit-identical, and ffmpeg reads the track's four samples through its sample
// tables as the GPMF written, each a DEVC of the second's streams.
TEST(MakeClip, GpmfTrackIsReadByFfmpegAndLeavesTheMediaBitIdentical) {
    TempFolder dir;
    const auto plain = make_clip("--seconds 4 --size 320x240 --no-telemetry", dir / "plain.MOV");
    const auto gopro =
        make_clip("--seconds 4 --size 320x240 --layout gopro-gpmf", dir / "gopro.MOV");
    const auto media = [](const std::string& clip) {
        const auto r = run_command("ffmpeg -nostdin -v error -i " + quoted(clip) +
                                   " -map 0:v -map 0:a -c copy -f framemd5 - | grep -v '^#'");
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    };
    EXPECT_EQ(media(gopro), media(plain));

    const auto probe = run_command(
        "ffprobe -v error -select_streams d -show_entries stream=codec_tag_string,nb_frames "
        "-of csv=p=0 " +
        quoted(gopro));
    EXPECT_EQ(probe.status, 0) << probe.err;
    EXPECT_EQ(probe.out, "gpmd,4\n");
    const auto data =
        run_command("ffmpeg -nostdin -v error -i " + quoted(gopro) + " -map 0:d -c copy -f data -");
    EXPECT_EQ(data.status, 0) << data.err;
    EXPECT_EQ(data.out.substr(0, 4), "DEVC");
    EXPECT_EQ(count_of(data.out, "DEVC"), 4u);
    EXPECT_EQ(count_of(data.out, "GPS5"), 4u);
    EXPECT_EQ(count_of(data.out, "ACCL"), 4u);
}

TEST(MakeClip, RotationIsSetInTheTrackMatrix) {
    TempFolder dir;
    const auto clip = make_clip("--seconds 1 --size 320x240 --rotate 90", dir / "R.MOV");
    const auto probe = run_command(
        "ffprobe -v error -show_entries stream_side_data=rotation -of csv " + quoted(clip));
    EXPECT_NE(probe.out.find("-90"), std::string::npos) << probe.out << probe.err;
}

TEST(MakeClip, ExtractionMatchesAnIndependentImplementationToTheByte) {
    TempFolder dir;
    // Starting at .5 s wraps the second inside every block; the meridian route
    // gives longitudes on both sides of zero; the name needs escaping.
    const auto clip = make_clip(
        "--seconds 75 --size 320x240 --route meridian --start "
        "\"2024-02-29 23:58:59.5\"",
        dir / "it's.MOV");
    const auto r = run_command(quoted(CAMVAULT_EXTRACT_BIN) + " --data-dir " +
                               quoted(dir / "data") + " " + quoted(clip));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string script = read_text(dir / "data/it's.data");
    const auto reference = run_command("python3 " + quoted(kReference) + " " + quoted(clip) + " " +
                                       quoted("it's.MOV"));
    ASSERT_EQ(reference.status, 0) << reference.err;
    EXPECT_EQ(script, reference.out);

    // Every tenth of a second has a key of its own, across minute, hour and day.
    std::set<std::string> keys;
    std::istringstream lines(script);
    for (std::string line; std::getline(lines, line);) {
        const size_t open = line.find("\"][\"");
        if (open == std::string::npos)
            continue;
        const size_t close = line.find("\"]", open + 4);
        keys.insert(line.substr(open + 4, close - open - 4));
    }
    EXPECT_EQ(keys.size(), 750u);
    EXPECT_TRUE(keys.count("2024/03/01 00:00:0.0")) << *keys.rbegin();
    EXPECT_NE(script.find("-0[ 0' "), std::string::npos);
}

}  // namespace
}  // namespace camvault
