#include "common/well_known_paths.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/block_table.h"

const std::string* otherModuleVersionInfoFile();
const std::map<int, int>* otherModuleBlockTable();

namespace {

const std::string kRoot = MORVANE_UNIT_ROOT;

// The locations the tool uses, and one of each way the others are put together: on the unit's own file system they
// carry the build's unit root, program paths and /dev never do.
TEST(WellKnownPathsTest, ValuesAreBuiltCharacterForCharacter) {
    const std::vector<std::pair<const std::string&, std::string>> cases = {
        {VERSION_INFO_FILE, kRoot + "/data/tiv//swdl//VersionInfo.json"},
        {COMPLETE_VERSION_INFO_FILE, kRoot + "/var/volatile/tmp//CompleteVersionInfo.json"},
        {EMPTY_VERSION, "----"},
        {ZERO_VERSION, "0000"},
        {TAR_TOOL, "/bin/tar"},
        {IMAGES_TEMP_DIR, kRoot + "/cache/tiv/Images/temp/"},
        {DISABLE_BKGRND_FLASHING_FILE, kRoot + "/tmp/DISABLE_BKGRND_FLASHING"},
        {MTD_DEV_DIR, "/dev/mtd/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.first, c.second);
    }
}

TEST(BlockTableTest, HoldsTheSevenBlocksWithTheirCopies) {
    EXPECT_EQ(expectedBlockIDs, (std::map<int, int>{{3, 1}, {4, 2}, {5, 1}, {6, 1}, {7, 1}, {8, 2}, {9, 1}}));
}

TEST(WellKnownPathsTest, EveryModuleHoldsItsOwnCopy) {
    EXPECT_NE(otherModuleVersionInfoFile(), &VERSION_INFO_FILE);
    EXPECT_EQ(*otherModuleVersionInfoFile(), VERSION_INFO_FILE);
    EXPECT_NE(otherModuleBlockTable(), &expectedBlockIDs);
    EXPECT_EQ(*otherModuleBlockTable(), expectedBlockIDs);
}

}  // namespace
