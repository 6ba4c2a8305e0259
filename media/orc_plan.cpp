// The ORC decision.
#include "media/orc_plan.hpp"

namespace camvault::media {

bool orc_needs_plain_code(const char* orc_code, const char* runtime_dir,
                          bool runtime_dir_writable) {
    if (orc_code != nullptr && *orc_code != '\0')
        return false;
    return runtime_dir == nullptr || *runtime_dir == '\0' || !runtime_dir_writable;
}

}  // namespace camvault::media
