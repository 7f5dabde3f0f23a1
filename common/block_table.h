#pragma once

// The blocks whose versions the version document records, and how many system copies each has: 1 for a block that
// exists once, 2 for one with a copy per system slot. Included by the updater module only, after the shared paths.

#include <map>
#include <string>
#include <utility>

#include "common/well_known_paths.h"

namespace morvane_detail {
inline std::map<int, int> buildBlockTable() {
    static const std::pair<int, int> pairs[] = {{3, 1}, {4, 2}, {5, 1}, {6, 1}, {7, 1}, {8, 2}, {9, 1}};
    std::map<int, int> table;
    for (const auto& entry : pairs) {
        table.insert(entry);
    }
    return table;
}
}  // namespace morvane_detail

static const std::map<int, int> expectedBlockIDs = morvane_detail::buildBlockTable();
static const std::string COMPLETE_VERSION_INFO_FILE = VOLATILE_TMP_DIR + "/CompleteVersionInfo.json";
