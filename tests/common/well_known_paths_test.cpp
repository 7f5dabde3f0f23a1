#include "common/well_known_paths.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/block_table.h"

const std::string* otherModuleVersionInfoFile();
const std::map<int, int>* otherModuleBlockTable();

namespace {

const std::string kRoot = MORVANE_UNIT_ROOT;

TEST(WellKnownPathsTest, ValuesAreBuiltCharacterForCharacter) {
    // Locations on the unit's own file system carry the build's unit root; program paths and /dev never do.
    const std::vector<std::pair<const std::string&, std::string>> cases = {
        {DATA_DIR, kRoot + "/data/tiv/"},
        {SWDL_DIR, kRoot + "/data/tiv//swdl/"},
        {VERSION_INFO_FILE, kRoot + "/data/tiv//swdl//VersionInfo.json"},
        {EMPTY_VERSION, "----"},
        {ZERO_VERSION, "0000"},
        {VOLATILE_TMP_DIR, kRoot + "/var/volatile/tmp/"},
        {COMPLETE_VERSION_INFO_FILE, kRoot + "/var/volatile/tmp//CompleteVersionInfo.json"},
        {BIN_DIR, "/bin/"},
        {TAR_TOOL, "/bin/tar"},
        {CACHE_DIR, kRoot + "/cache/"},
        {BLOCK_NAME, "block"},
        {IMAGES_SUBDIR, "tiv/Images/"},
        {IMAGES_DIR, kRoot + "/cache/tiv/Images/"},
        {AUDIO_DIR, kRoot + "/data/tiv//audio"},
        {BKGRND_DIR, kRoot + "/data/tiv//swdl//bkgrnd/"},
        {BLOCK_AUTHENTICATION_INFO_FILE, kRoot + "/data/tiv//swdl//bkgrnd//BlockAuthenticationInfo.json"},
        {FLASHING_INPROGRESS_FILE, kRoot + "/data/tiv//swdl//bkgrnd//FLASHING_INPROGRESS"},
        {DEVELOPER_FLASHING_FILE, kRoot + "/data/tiv//swdl//bkgrnd//DEVELOPER_FLASHING"},
        {DISABLE_BKGRND_FLASHING_FILE, kRoot + "/tmp/DISABLE_BKGRND_FLASHING"},
        {DATASET_VERSION_INFO_FILE, kRoot + "/data/tiv//swdl//DataSet_VersionInfo.json"},
        {IMAGES_BLOCK_PATH, kRoot + "/cache/tiv/Images/block"},
        {TEMP_SUBDIR, "temp/"},
        {NONE_NAME, "NONE"},
        {IMAGES_TEMP_DIR, kRoot + "/cache/tiv/Images/temp/"},
        {DEVELOPER_FLASHING_STARTED_NAME, "DEVELOPER_FLASHING_STARTED"},
        {RUN_BOOTCTL_A_FILE, kRoot + "/data/tiv/swdl/RUN_BOOTCTL_A"},
        {SYSTEM_APP_BIN_DIR, "/system/app/bin/"},
        {CURRENT_DIR, "."},
        {REBOOT_TOOL, "/bin/reboot"},
        {GZIP_TOOL, "/bin/gzip"},
        {CHDIR_NAME, "chdir"},
        {AUDIO_DATASET_INFOS_FILE, kRoot + "/data/tiv/AudioDataSetInfos.txt"},
        {AUDIO_SWDL_ACTIVE_FILE, kRoot + "/tmp/AUDIO_SWDL_ACTIVE"},
        {MTD_DEV_DIR, "/dev/mtd/"},
        {MTD_PREFIX, "mtd"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.first, c.second);
    }
    EXPECT_EQ(MARKER_6, std::vector<std::uint8_t>{0x36});
    EXPECT_EQ(MARKER_V, std::vector<std::uint8_t>{0x76});
}

TEST(BlockTableTest, HoldsTheSevenBlocksInAscendingOrder) {
    std::vector<std::pair<int, int>> entries(expectedBlockIDs.begin(), expectedBlockIDs.end());
    const std::vector<std::pair<int, int>> expected = {{3, 1}, {4, 2}, {5, 1}, {6, 1}, {7, 1}, {8, 2}, {9, 1}};
    EXPECT_EQ(entries, expected);
    for (int absent : {0, 1, 2, 10, -1, 259}) {
        EXPECT_EQ(expectedBlockIDs.count(absent), 0u) << absent;
    }
}

TEST(WellKnownPathsTest, EveryModuleHoldsItsOwnCopy) {
    EXPECT_NE(otherModuleVersionInfoFile(), &VERSION_INFO_FILE);
    EXPECT_EQ(*otherModuleVersionInfoFile(), VERSION_INFO_FILE);
    EXPECT_NE(otherModuleBlockTable(), &expectedBlockIDs);
    EXPECT_EQ(*otherModuleBlockTable(), expectedBlockIDs);
}

}  // namespace
