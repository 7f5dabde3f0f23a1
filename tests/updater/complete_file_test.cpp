#include <string>

#include "updater_fixture.h"

namespace {

using namespace docs;

using CompleteFileTest = UpdaterTest;

const std::string kCompleteFile = MORVANE_TEST_UNIT_ROOT "/var/volatile/tmp/CompleteVersionInfo.json";

TEST_F(CompleteFileTest, CMPUpdateWritesOnlyTheCompleteFileWithItsSection) {
    loadExisting();
    EXPECT_TRUE(updater->updateCMPVersionInfo("IOC_1", "WUC/2", "HW_3"));
    EXPECT_EQ(readFile(kCompleteFile),
              document(kNADSeven, kGTO, kAudio, R"({"HWVersion": "HW_3", "IOC": "IOC_1", "WUC": "WUC\/2"})"));
    EXPECT_EQ(readFile(documentPath), kValid);
}

// Any non-zero id selects slot 1, and is then the active system as far as its low 8 bits go.
TEST_F(CompleteFileTest, GTOUpdateSavesTheDocumentAndRefreshesOnlyAnExistingCompleteFile) {
    loadExisting();
    const std::string slot1 = replaced(kValid, "0101", "G2"), active0 = replaced(slot1, "G2", "G0");
    EXPECT_FALSE(updater->updateGTOVersionInfo(1, "G2"));
    EXPECT_EQ(readFile(documentPath), slot1);
    EXPECT_EQ(readFile(kCompleteFile), "") << "never created here";

    writeFile(kCompleteFile, "{}");
    EXPECT_TRUE(updater->updateGTOVersionInfo(256, "G0"));
    EXPECT_EQ(readFile(documentPath), replaced(active0, R"("Active_System": 1)", R"("Active_System": 0)"));
    EXPECT_EQ(readFile(kCompleteFile),
              replaced(readFile(documentPath), R"(, "GTO)", R"(, "CMP_Version_Info": )" + kDefaultCMP + R"(, "GTO)"));

    EXPECT_TRUE(updater->updateGTOVersionInfo(0, "Z"));
    EXPECT_EQ(readFile(documentPath),
              replaced(replaced(active0, R"("Active_System": 1)", R"("Active_System": 0)"), "0100", "Z"));
}

}  // namespace
