// What the index keeps of a clip reads back as it was written, and what it
// cannot read is no summary rather than a wrong one.
#include "library/summary_store.hpp"

#include <gtest/gtest.h>

#include "drive_series.hpp"

namespace camvault {
namespace {

using testing::Drive;
using testing::Reading;

TEST(SummaryStore, FactsReadBackExactlyWithTheirEvents) {
    Drive drive;
    drive.cruise(90, 72).run(2, [](double) { return Reading{72, 0, -0.7}; }).cruise(88, 36);
    StoredFacts facts;
    facts.summary = summarize(drive.points, EventThresholds{}, true);
    facts.layout = "novatek";
    facts.cut = true;
    ASSERT_FALSE(facts.summary->events.empty());
    EXPECT_EQ(decode_facts(encode_facts(facts)), facts);

    StoredFacts none;  // a clip without telemetry read
    EXPECT_EQ(decode_facts(encode_facts(none)), none);
}

TEST(SummaryStore, AnUnreadableRowHasNoSummary) {
    EXPECT_FALSE(decode_facts("").summary);
    EXPECT_FALSE(decode_facts("{\"name\":\"A.MOV\"}").summary);
    // A summary missing a field (another version wrote it) is not half read.
    EXPECT_FALSE(decode_facts("{\"v\":1,\"summary\":{\"records\":3}}").summary);
    EXPECT_EQ(decode_facts("{\"v\":1,\"layout\":\"novatek\",\"cut\":true}").layout, "novatek");
}

}  // namespace
}  // namespace camvault
