#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "updater_fixture.h"

namespace {

using namespace docs;

std::string garbage(unsigned seed) {
    std::minstd_rand generator(seed);
    std::string bytes(64 * 1024, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(generator()); });
    return bytes;
}

const std::string kTenMegabytes(10 * 1024 * 1024, 'v');
const std::string kBrackets(1000000, '[');
const std::string kGood = R"({"Version": "0202"})";
// The document after the update of block 3, slot 0 to "0202": of the valid document, and of the defaults that
// replace a document that could not be used.
const std::string kUpdated = replaced(kValid, R"("0200")", R"("0202")");
const std::string kDefaultsUpdated = document(replaced(kDefaultNAD, "----", "0202"), kDefaultGTO, kDefaultAudio);

// Out-of-range numbers are clamped to the unsigned 32-bit range and keep their low 8 bits, fractions are cut, a
// mistyped System1_Version is taken as empty; none of this rejects the document.
const std::string kOddNumbers = document(
    R"([{"BlockID": 259, "System0_Version": "a"}, {"BlockID": 4.9, "System0_Version": "b", "System1_Version": 5}, )"
    R"({"BlockID": -2, "System0_Version": "c", "System1_Version": "c1"}, {"BlockID": 8, "System0_Version": "d"}, )"
    R"({"BlockID": 1e12, "System0_Version": "e"}, {"BlockID": 1e308, "System0_Version": "f", "Extra": 1}, {"BlockID": 3, "System0_Version": "g"}])",
    replaced(kGTO, R"("Active_System": 1)", R"("Active_System": 123456789012345678901234567890)"), kAudio);
const std::string kOddNumbersUpdated = document(
    R"([{"BlockID": 3, "System0_Version": "0202"}, {"BlockID": 4, "System0_Version": "b", "System1_Version": ""}, )"
    R"({"BlockID": 0, "System0_Version": "c"}, {"BlockID": 8, "System0_Version": "d", "System1_Version": ""}, )"
    R"({"BlockID": 255, "System0_Version": "e"}, {"BlockID": 255, "System0_Version": "f"}, {"BlockID": 3, "System0_Version": "g"}])",
    replaced(kGTO, R"("Active_System": 1)", R"("Active_System": 255)"), kAudio);

using HostileInputTest = UpdaterTest;

// Each hostile document or version file goes through the real tool updating block 3, slot 0.
TEST_F(HostileInputTest, ToolNeitherCrashesNorSavesABrokenDocument) {
    const struct {
        const char* name;
        std::string documentContent, versionFile;
        int exitStatus;
        std::string after;
    } cases[] = {
        {"garbage document", garbage(1), kGood, 0, kDefaultsUpdated},
        {"invalid UTF-8 outside strings", "{\xC3\x28\xFF\xFE: 1}", kGood, 0, kDefaultsUpdated},
        {"10 MB document", kTenMegabytes, kGood, 0, kDefaultsUpdated},
        {"a million nested brackets", R"({"NAD_Version_Info": )" + kBrackets, kGood, 0, kDefaultsUpdated},
        {"huge and fractional numbers", kOddNumbers, kGood, 0, kOddNumbersUpdated},
        {"invalid UTF-8 and NUL bytes in a string",
         replaced(kValid, R"("0410")", std::string("\"\xFF\xFE\xC3\x28\0\x01\"", 8)), kGood, 0,
         replaced(kUpdated, R"("0410")", "\"\xFF\xFE\xC3\x28\\u0000\\u0001\"")},
        {"NUL byte before the version", kValid, std::string("\0{\"Version\": \"1\"}", 17), 1, kValid},
        {"version beyond the largest number", kValid, R"({"Version": 1e99999})", 1, kValid},
        {"invalid UTF-8 version", kValid, "{\"Version\": \"\xC3\x28\xFF\xFE\xED\xA0\x80\"}", 0,
         replaced(kValid, "0200", "\xC3\x28\xFF\xFE\xED\xA0\x80")},
        {"NUL and control bytes in the version", kValid, std::string("{\"Version\": \"1\0\x1F\n2\"}", 20), 0,
         replaced(kValid, "0200", "1\\u0000\\u001f\\n2")},
        {"a 10 MB version", kValid, R"({"Version": ")" + kTenMegabytes + "\"}", 0,
         replaced(kValid, "0200", kTenMegabytes)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(documentPath, c.documentContent);
        writeFile(dir / "hostile.json", c.versionFile);
        const ToolRun result = run({"3", "0", dir / "hostile.json"});
        EXPECT_EQ(result.exitStatus, c.exitStatus) << result.log.substr(0, 2000);
        EXPECT_TRUE(readFile(documentPath) == c.after) << "the document differs from the one expected";
        loadExisting();
        EXPECT_TRUE(logger.entries().empty()) << "a saved document loads cleanly";
    }
}

// Permission bits do not stop root, which reads and replaces such files anyway; anyone else is refused: the version
// file cannot be read, and a document that cannot be read cannot be replaced either.
TEST_F(HostileInputTest, DirectoryOrUnreadableFileInPlaceOfAnInput) {
    const bool root = geteuid() == 0;
    mkdir((dir / "directory.json").c_str(), 0755);
    EXPECT_EQ(run({"3", "0", dir / "directory.json"}).exitStatus, 1);
    EXPECT_EQ(readFile(documentPath), kValid);

    chmod(block.c_str(), 0);
    EXPECT_EQ(run({"3", "0", block}).exitStatus, root ? 0 : 1);
    EXPECT_EQ(readFile(documentPath), root ? kUpdated : kValid);

    SetUp();
    chmod(documentPath.c_str(), 0);
    EXPECT_EQ(run({"3", "0", block}).exitStatus, root ? 0 : 1);
    chmod(documentPath.c_str(), 0644);
    EXPECT_EQ(readFile(documentPath), root ? kUpdated : kValid);
}

}  // namespace
