// What the index keeps of a clip's telemetry between launches: its summary
// (events included), the layout it was written in and whether it was cut, as
// a JSON text in the index's summary column. Read back to list the library
// without reading any clip or script file again.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "library/clip_summary.hpp"

namespace camvault {

struct StoredFacts {
    std::optional<ClipSummary> summary;  // nothing: not known (an earlier CamVault listed it)
    std::string layout;                  // layout_name, empty when none was found
    bool cut = false;
    // What the summary's events were found with. Rows written before the
    // thresholds were settings hold none: they were made with the defaults.
    EventThresholds thresholds;

    bool operator==(const StoredFacts&) const = default;
};

std::string encode_facts(const StoredFacts& facts);
// Tolerant: an empty or unreadable text gives facts without a summary.
StoredFacts decode_facts(std::string_view text);

// Reads the clip's telemetry script file and summarises it; `layouts` are the
// layouts extraction found (they decide whether the G-sensor's axes are
// known). Facts without a summary when the script cannot be read.
StoredFacts summarize_script(const std::string& script_path, uint32_t layouts, bool cut,
                             const EventThresholds& thresholds);

// Facts whose events were found with other thresholds, summarised again from
// the script file with `thresholds` (the layout, the cut and whether the
// axes are known stay what they were). Facts without a summary when the
// script cannot be read: old events are never passed off as current ones.
StoredFacts resummarize(const StoredFacts& facts, const std::string& script_path,
                        const EventThresholds& thresholds);

}  // namespace camvault
