#pragma once

// Well-known locations and names shared by the unit's software-download tools.
//
// Every constant has internal linkage: each module that includes this header builds its own copy during its own
// start-up, so no module depends on the start-up order of another. Composed values are plain concatenations, doubled
// slashes included; the file system treats them like single ones.
//
// MORVANE_UNIT_ROOT (empty on the unit) is prepended to locations on the unit's own file system only, never to
// program paths or /dev, so a host build can simulate a unit inside a scratch directory.

#include <cstdint>
#include <string>
#include <vector>

#ifndef MORVANE_UNIT_ROOT
#define MORVANE_UNIT_ROOT ""
#endif

static const std::string DATA_DIR = MORVANE_UNIT_ROOT "/data/tiv/";
static const std::string SWDL_DIR = DATA_DIR + "/swdl/";
static const std::string VERSION_INFO_FILE = SWDL_DIR + "/VersionInfo.json";
static const std::string EMPTY_VERSION = "----";
static const std::string ZERO_VERSION = "0000";
static const std::string VOLATILE_TMP_DIR = MORVANE_UNIT_ROOT "/var/volatile/tmp/";
static const std::string BIN_DIR = "/bin/";
static const std::string TAR_TOOL = BIN_DIR + "tar";

static const std::string CACHE_DIR = MORVANE_UNIT_ROOT "/cache/";
static const std::string BLOCK_NAME = "block";
static const std::string IMAGES_SUBDIR = "tiv/Images/";
static const std::string IMAGES_DIR = CACHE_DIR + IMAGES_SUBDIR;
static const std::string AUDIO_DIR = DATA_DIR + "/audio";
static const std::string BKGRND_DIR = SWDL_DIR + "/bkgrnd/";
static const std::string BLOCK_AUTHENTICATION_INFO_FILE = BKGRND_DIR + "/BlockAuthenticationInfo.json";
static const std::string FLASHING_INPROGRESS_FILE = BKGRND_DIR + "/FLASHING_INPROGRESS";
static const std::string DEVELOPER_FLASHING_FILE = BKGRND_DIR + "/DEVELOPER_FLASHING";
static const std::string DISABLE_BKGRND_FLASHING_FILE = MORVANE_UNIT_ROOT "/tmp/DISABLE_BKGRND_FLASHING";
static const std::string DATASET_VERSION_INFO_FILE = SWDL_DIR + "/DataSet_VersionInfo.json";
static const std::string IMAGES_BLOCK_PATH = IMAGES_DIR + BLOCK_NAME;
static const std::string TEMP_SUBDIR = "temp/";
static const std::string NONE_NAME = "NONE";
static const std::string IMAGES_TEMP_DIR = IMAGES_DIR + TEMP_SUBDIR;
static const std::string DEVELOPER_FLASHING_STARTED_NAME = "DEVELOPER_FLASHING_STARTED";
static const std::string RUN_BOOTCTL_A_FILE = MORVANE_UNIT_ROOT "/data/tiv/swdl/RUN_BOOTCTL_A";
static const std::string SYSTEM_APP_BIN_DIR = "/system/app/bin/";
static const std::string CURRENT_DIR = ".";
static const std::string REBOOT_TOOL = BIN_DIR + "reboot";
static const std::string GZIP_TOOL = BIN_DIR + "gzip";
static const std::string CHDIR_NAME = "chdir";
static const std::string AUDIO_DATASET_INFOS_FILE = MORVANE_UNIT_ROOT "/data/tiv/AudioDataSetInfos.txt";
static const std::string AUDIO_SWDL_ACTIVE_FILE = MORVANE_UNIT_ROOT "/tmp/AUDIO_SWDL_ACTIVE";
static const std::vector<std::uint8_t> MARKER_6 = {0x36};
static const std::vector<std::uint8_t> MARKER_V = {0x76};
static const std::string MTD_DEV_DIR = "/dev/mtd/";
static const std::string MTD_PREFIX = "mtd";
