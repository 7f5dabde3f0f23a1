#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "simulated_unit.h"
#include "support/recording_logger.h"
#include "updater/update_version_info.h"

namespace {

std::string garbage(std::size_t size, unsigned seed) {
    std::minstd_rand generator(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(generator() & 0xFF);
    }
    return bytes;
}

const std::string kTenMegabytes(10 * 1024 * 1024, 'v');
const std::string kMillionBrackets(1000000, '[');
const std::string kBlock4 = R"({"BlockID": 4, "System0_Version": "0201", "System1_Version": "0201"})";

// The document after the update of block 4, slot 1 to "0202": on the valid document, and on the defaults that
// replace a document that could not be used.
const std::string kUpdated = docs::saved(
    docs::replaced(docs::kNADSeven, kBlock4, R"({"BlockID": 4, "System0_Version": "0201", "System1_Version": "0202"})"),
    docs::kGTO, docs::kAudio);
const std::string kDefaultsUpdated =
    docs::saved(docs::replaced(docs::kDefaultNAD, R"("System1_Version": "----"})", R"("System1_Version": "0202"})"),
                docs::kDefaultGTO, docs::kDefaultAudio);

// Runs the real tool on hostile documents and version files of a simulated unit.
class HostileInputTest : public SimulatedUnitTest {
  protected:
    void SetUp() override {
        SimulatedUnitTest::SetUp();
        writeFile(goodVersion, R"({"Version": "0202"})");
    }

    ToolRun run(const std::vector<std::string>& args) {
        const ToolRun result = runTool(MORVANE_TEST_TOOL, args);
        EXPECT_EQ(result.signal, 0) << "the tool was ended by a signal";
        EXPECT_EQ(TempDir::entries(root + "/data/tiv/swdl"), std::vector<std::string>{"VersionInfo.json"})
            << "a save left a temporary file";
        return result;
    }

    // What the updater reports when it loads the document on disk: nothing for a document it saved itself.
    std::vector<std::string> messagesOnLoad() {
        RecordingLogger logger;
        RAROV_UpdateVersionInfo updater(&logger, document);
        return logger.texts();
    }

    // The version of a block that exists once, as a fresh load of the document on disk sees it.
    std::string versionOfBlock3() {
        RecordingLogger logger;
        RAROV_UpdateVersionInfo updater(&logger, document);
        return updater.returnVersionInfo(3);
    }

    const std::string goodVersion = flash / "good.json";
};

TEST_F(HostileInputTest, UnusableDocumentsAreReplacedByDefaultsPlusTheUpdate) {
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"binary garbage", garbage(64 * 1024, 1)},
        {"binary garbage after a brace", "{" + garbage(64 * 1024, 2)},
        {"NUL bytes only", std::string(4096, '\0')},
        {"a NUL byte between members", docs::replaced(docs::kValid, ", ", std::string(", \0", 3))},
        {"invalid UTF-8 outside strings", "{\xC3\x28\xFF\xFE: 1}"},
        {"10 MB of text", kTenMegabytes},
        {"a million nested brackets", R"({"NAD_Version_Info": )" + kMillionBrackets},
        {"a number beyond the largest one",
         docs::replaced(docs::kValid, R"("Active_System": 1)", R"("Active_System": 1e99999)")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(document, c.content);
        const ToolRun result = run({"4", "1", goodVersion});
        EXPECT_EQ(result.exitStatus, 0) << result.log.substr(0, 2000);
        EXPECT_EQ(readFile(document), kDefaultsUpdated);
    }
}

TEST_F(HostileInputTest, OddButUsableDocumentsKeepWhatTheyHold) {
    // Out-of-range numbers are clamped to the unsigned 32-bit range and keep their low 8 bits; bytes inside strings
    // are kept as they are, whatever they are.
    const std::string oddNumbers =
        docs::replaced(docs::replaced(docs::kValid, R"("BlockID": 3,)", R"("BlockID": 1e308,)"),
                       R"("Active_System": 1)", R"("Active_System": 123456789012345678901234567890)");
    const std::string oddBytes =
        docs::replaced(docs::kValid, R"("0200")", std::string("\"\xFF\xFE\xC3\x28\0\x01\"", 8));
    const struct {
        const char* name;
        std::string content;
        std::string after;
    } cases[] = {
        {"huge numbers", oddNumbers,
         docs::replaced(docs::replaced(kUpdated, R"("BlockID": 3,)", R"("BlockID": 255,)"), R"("Active_System": 1)",
                        R"("Active_System": 255)")},
        {"invalid UTF-8 and NUL bytes in a version", oddBytes,
         docs::replaced(kUpdated, R"("0200")", "\"\xFF\xFE\xC3\x28\\u0000\\u0001\"")},
        {"10 MB of padding in an unknown member", R"({"Padding": ")" + kTenMegabytes + "\", " + docs::kValid.substr(1),
         kUpdated},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(document, c.content);
        const ToolRun result = run({"4", "1", goodVersion});
        EXPECT_EQ(result.exitStatus, 0) << result.log.substr(0, 2000);
        EXPECT_EQ(readFile(document), c.after);
        EXPECT_EQ(messagesOnLoad(), std::vector<std::string>());
    }
}

TEST_F(HostileInputTest, UnreadableVersionFilesFailWithoutTouchingTheDocument) {
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"binary garbage", garbage(64 * 1024, 3)},
        {"NUL bytes only", std::string(4096, '\0')},
        {"a NUL byte before the object", std::string("\0{\"Version\": \"1\"}", 17)},
        {"10 MB of text", kTenMegabytes},
        {"a million nested brackets", R"({"Version": )" + kMillionBrackets},
        {"a number beyond the largest one", R"({"Version": 1e99999})"},
        {"a huge number instead of a string", R"({"Version": 1e308})"},
        {"an empty file", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(flash / "hostile.json", c.content);
        const ToolRun result = run({"3", "0", flash / "hostile.json"});
        EXPECT_EQ(result.exitStatus, 1) << result.log.substr(0, 2000);
        EXPECT_EQ(readFile(document), docs::kValid);
    }
}

TEST_F(HostileInputTest, OddVersionStringsAreStoredByteForByte) {
    const struct {
        const char* name;
        std::string content;
        std::string version;
    } cases[] = {
        {"invalid UTF-8", "{\"Version\": \"\xC3\x28\xFF\xFE\xED\xA0\x80\"}", "\xC3\x28\xFF\xFE\xED\xA0\x80"},
        {"raw NUL and control bytes", std::string("{\"Version\": \"1\0\x1F\n2\"}", 20), std::string("1\0\x1F\n2", 5)},
        {"10 MB of blank lines before the object", std::string(10 * 1024 * 1024, '\n') + R"({"Version": "0203"})",
         "0203"},
        {"a 10 MB version", R"({"Version": ")" + kTenMegabytes + "\"}", kTenMegabytes},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        writeFile(flash / "odd.json", c.content);
        const ToolRun result = run({"3", "0", flash / "odd.json"});
        EXPECT_EQ(result.exitStatus, 0) << result.log.substr(0, 2000);
        EXPECT_EQ(versionOfBlock3(), c.version);
        EXPECT_EQ(messagesOnLoad(), std::vector<std::string>());
    }
}

TEST_F(HostileInputTest, DirectoryInPlaceOfTheVersionFileFails) {
    mkdir((flash / "directory.json").c_str(), 0755);
    const ToolRun result = run({"4", "1", flash / "directory.json"});
    EXPECT_EQ(result.exitStatus, 1) << result.log;
    EXPECT_EQ(readFile(document), docs::kValid);
}

TEST_F(HostileInputTest, UnreadableFilesFollowTheRightsOfTheUser) {
    // Permission bits do not stop root, which reads and replaces such files anyway; anyone else is refused: the
    // version file cannot be read, and a document that cannot be read cannot be replaced either.
    const bool root = geteuid() == 0;
    writeFile(flash / "locked.json", R"({"Version": "0202"})");
    chmod((flash / "locked.json").c_str(), 0);
    const ToolRun lockedVersion = run({"4", "1", flash / "locked.json"});
    EXPECT_EQ(lockedVersion.exitStatus, root ? 0 : 1) << lockedVersion.log;
    EXPECT_EQ(readFile(document), root ? kUpdated : docs::kValid);

    SetUp();
    chmod(document.c_str(), 0);
    const ToolRun lockedDocument = run({"4", "1", goodVersion});
    chmod(document.c_str(), 0644);
    EXPECT_EQ(lockedDocument.exitStatus, root ? 0 : 1) << lockedDocument.log;
    EXPECT_EQ(readFile(document), root ? kUpdated : docs::kValid);
}

}  // namespace
