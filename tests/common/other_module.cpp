#include "common/block_table.h"

// A second module of its own, to show that each module builds its own copy of the constants.
const std::string* otherModuleVersionInfoFile() {
    return &VERSION_INFO_FILE;
}
const std::map<int, int>* otherModuleBlockTable() {
    return &expectedBlockIDs;
}
