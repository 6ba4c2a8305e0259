// NMEA sentences in timed-text samples: which sentences make a fix, how a
// GGA sentence of the same time joins its RMC, across samples too, and what
// the two-byte length of text samples and damaged sentences do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "telemetry/nmea_text.hpp"
#include "tests/support/decimal_comma_locale.hpp"

namespace camvault {
namespace {

std::vector<TelemetryFix> decode(const std::vector<std::string>& samples) {
    std::vector<TelemetryFix> fixes;
    NmeaTextDecoder decoder([&](const TelemetryFix& f) {
        fixes.push_back(f);
        return true;
    });
    for (const std::string& s : samples)
        decoder.sample({reinterpret_cast<const uint8_t*>(s.data()), s.size()});
    return fixes;
}

std::string with_length(const std::string& text) {
    return std::string(1, static_cast<char>(text.size() >> 8)) +
           static_cast<char>(text.size() & 0xff) + text;
}

const std::string kRmc = "$GPRMC,235959.500,A,5130.30000,S,00007.50000,W,10.0,271.5,311225,,,A*00";
const std::string kGga = "$GNGGA,235959.500,5130.60000,S,00007.20000,W,1,09,0.9,35.0,M,47.0,M,,*00";

TEST(NmeaText, RmcGivesDateTimePositionSpeedAndTrack) {
    const auto fixes = decode({with_length(kRmc + "\r\n")});
    ASSERT_EQ(fixes.size(), 1u);
    const TelemetryFix& f = fixes[0];
    EXPECT_EQ(f.year, 2025u);
    EXPECT_EQ(f.month, 12u);
    EXPECT_EQ(f.day, 31u);
    EXPECT_EQ(f.hour, 23u);
    EXPECT_EQ(f.minute, 59u);
    EXPECT_EQ(f.second, 59.5);
    EXPECT_NEAR(f.latitude, -(51 + 30.3 / 60), 1e-12);
    EXPECT_NEAR(f.longitude, -(7.5 / 60), 1e-12);
    EXPECT_NEAR(f.speed_kmh, 18.52, 1e-9);
    EXPECT_EQ(f.track, 271.5);
}

TEST(NmeaText, AGermanLocaleInTheApplicationChangesNoDigit) {
    CAMVAULT_WITH_DECIMAL_COMMA(german);
    const auto fixes = decode({with_length(kRmc + "\r\n")});
    ASSERT_EQ(fixes.size(), 1u);
    EXPECT_NEAR(fixes[0].latitude, -(51 + 30.3 / 60), 1e-12);
    EXPECT_EQ(fixes[0].second, 59.5);
    EXPECT_NEAR(fixes[0].speed_kmh, 18.52, 1e-9);
}

TEST(NmeaText, GgaOfTheSameTimeJoinsTheFixAndGivesItsPosition) {
    // In one sample, and in the next sample: one fix either way, with the
    // position of the sentence read last.
    for (const auto& samples :
         {std::vector<std::string>{kRmc + "\n" + kGga}, std::vector<std::string>{kRmc, kGga}}) {
        const auto fixes = decode(samples);
        ASSERT_EQ(fixes.size(), 1u);
        if (samples.size() == 1) {
            EXPECT_NEAR(fixes[0].latitude, -(51 + 30.6 / 60), 1e-12);
        }
        EXPECT_EQ(fixes[0].second, 59.5);
    }
    // A GGA alone has no date: no record can be keyed.
    EXPECT_TRUE(decode({kGga}).empty());
}

TEST(NmeaText, DamagedOrVoidSentencesGiveNothing) {
    EXPECT_TRUE(decode({"$GPRMC,235959,A,5130.3,S,00007.5,W,10.0,271.5,311225"}).empty())
        << "seconds without a point";
    EXPECT_TRUE(decode({"$GPRMC,235959.0,V,5130.3,S,00007.5,W,10.0,271.5,311225"}).empty());
    EXPECT_TRUE(decode({"$GPRMC,235959.0,A,5130.3,X,00007.5,W,10.0,271.5,311225"}).empty());
    EXPECT_TRUE(decode({"$GPRMC,235959.0,A,5130.3,S,00007.5,W,10.0,271.5,3112"}).empty());
    EXPECT_TRUE(decode({"", "$", "$$$", std::string(3, '\0')}).empty());
    // Two fixes of different times in one sample are two fixes.
    const std::string later = "$GPRMC,000000.000,A,5130.30000,N,00007.50000,E,,,010126,,,A*00";
    const auto two = decode({kRmc + later});
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].year, 2026u);
    EXPECT_EQ(two[1].speed_kmh, 0.0);
    EXPECT_GT(two[1].latitude, 0.0);
}

}  // namespace
}  // namespace camvault
