#include <sys/stat.h>

#include <string>

#include "updater_fixture.h"

namespace {

// The updater of these tests is built for the simulated unit, so its complete version file lives there.
class CompleteFileTest : public UpdaterTest {
  protected:
    void SetUp() override {
        TempDir::removeTree(root);
        for (const char* dir : {"", "/var", "/var/volatile", "/var/volatile/tmp"}) {
            mkdir((root + dir).c_str(), 0755);
        }
    }
    void TearDown() override { TempDir::removeTree(root); }

    const std::string root = MORVANE_TEST_UNIT_ROOT;
    const std::string completeFile = root + "/var/volatile/tmp/CompleteVersionInfo.json";
};

TEST_F(CompleteFileTest, CMPUpdateWritesTheCompleteFileWithItsSection) {
    load(docs::kValid);
    EXPECT_TRUE(updater->updateCMPVersionInfo("IOC_1", "WUC/2", "HW_3"));
    EXPECT_EQ(readFile(completeFile), docs::saved(docs::kNADSeven, docs::kGTO, docs::kAudio,
                                                  R"({"HWVersion": "HW_3", "IOC": "IOC_1", "WUC": "WUC\/2"})"));
    EXPECT_EQ(readFile(documentPath), docs::kValid) << "the version document is not written";
}

TEST_F(CompleteFileTest, GTOUpdateSavesTheDocumentAndRefreshesOnlyAnExistingCompleteFile) {
    load(docs::kValid);
    const std::string gto = R"({"Active_System": 1, "System0_Version": "0100", "System1_Version": "G2"})";
    EXPECT_FALSE(updater->updateGTOVersionInfo(1, "G2"));
    EXPECT_EQ(readFile(documentPath), docs::saved(docs::kNADSeven, gto, docs::kAudio));
    struct stat status;
    EXPECT_NE(stat(completeFile.c_str(), &status), 0) << "never created here";

    writeFile(completeFile, "{}");
    EXPECT_TRUE(updater->updateGTOVersionInfo(256, "G0"));  // any non-zero id selects slot 1; 256 keeps 0 as active
    const std::string gto2 = R"({"Active_System": 0, "System0_Version": "0100", "System1_Version": "G0"})";
    EXPECT_EQ(readFile(completeFile), docs::saved(docs::kNADSeven, gto2, docs::kAudio, docs::kDefaultCMP));
    EXPECT_EQ(readFile(documentPath), docs::saved(docs::kNADSeven, gto2, docs::kAudio));

    EXPECT_TRUE(updater->updateGTOVersionInfo(0, "Z"));
    EXPECT_NE(readFile(documentPath).find(R"("GTO_Version_Info": {"Active_System": 0, "System0_Version": "Z")"),
              std::string::npos);
}

}  // namespace
