#include <string>
#include <vector>

#include "updater_fixture.h"

namespace {

using namespace docs;

using ToolRunTest = UpdaterTest;

enum class Before { Valid, Missing, Directory, NoDirectory };  // what stands where the document belongs

// Each command-line form with what it must end with: exit status, error messages in order (one ending in "*" is
// matched by its start: the line tag of the argument check is the source's own, and the unit tests pin the rest) and
// the document left on disk.
TEST_F(ToolRunTest, EveryCommandLineFormEndsWithItsStatusMessagesAndDocument) {
    const std::string usage =
        "main(58): Usage: morvane BlockID SystemID Path_to_VersionFile DataSetName[Optional] \nExiting";
    const std::string failed = "main(69): Updating Version Information failed";
    const std::string read = "RAROV_UpdateVersionInfo(75): Error in reading the Version file";
    const std::string empty = dir / "empty.json", path = root + "/data/tiv//swdl//VersionInfo.json";
    const std::string block4 = replaced(kValid, R"("System1_Version": "0201")", R"("System1_Version": "0202")");
    const struct {
        std::vector<std::string> args;
        int exitStatus;
        std::vector<std::string> errors;
        std::string after;
        Before before = Before::Valid;
    } cases[] = {
        {{"4", "1", block}, 0, {}, block4},
        {{" 4", "257", block}, 0, {}, block4},  // blanks before the id are skipped, 257 is slot 1
        {{"4abc", "+1", block}, 0, {}, block4},
        {{"abc", "xyz", block, "SET_B"}, 0, {}, replaced(kValid, R"(A", "Version": "0102)", R"(B", "Version": "0202)")},
        {{"4", "1", block}, 0, {read}, kDefaultsAndBlock4, Before::Missing},
        {{}, 1, {usage, failed}, kValid},
        {{"4", "1", block, "SET", "extra"}, 1, {usage, failed}, kValid},
        {{"4", "-1", block}, 1, {"assignVersionInfo(230): Invalid SystemID = 255", failed}, kValid},
        {{"2", "0", block}, 1, {"updateVersionforBlock(272): The received blockID: 2 *", failed}, kValid},
        {{"4", "0", empty}, 1, {"updateVersionforBlock(265): The Version Information file *", failed}, kValid},
        {{"abc", "0", block}, 1, {"main(*"}, kValid},
        {{"", "0", block}, 1, {"main(*"}, kValid},
        {{"99999999999", "0", block}, 1, {"main(*"}, kValid},
        {{"4", "x", block}, 1, {"main(*"}, kValid},
        {{"4", "1", block},
         1,
         {"RAROV_UpdateVersionInfo(89): Reading the Version file(" + path + ") failed(Is a directory)"},
         "",
         Before::Directory},
        {{"4", "1", block},
         1,
         {read, "dumpJSONContent(462): Opening the file stream(" + path + ") failed(No such file or directory)...!",
          "writeToFile(473): Dumping JSON Content to '" + path + "' file failed"},
         "",
         Before::NoDirectory},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        SetUp();
        writeFile(empty, R"({"Version": ""})");
        if (c.before != Before::Valid) {
            unlink(documentPath.c_str());
        }
        if (c.before == Before::Directory) {
            mkdir(documentPath.c_str(), 0755);
        }
        if (c.before == Before::NoDirectory) {
            rmdir((root + "/data/tiv/swdl").c_str());
        }
        const ToolRun result = run(c.args);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << result.log;
        const auto texts = errors(result);
        ASSERT_EQ(texts.size(), c.errors.size()) << result.log;
        for (size_t i = 0; i < texts.size(); ++i) {
            const std::string& expected = c.errors[i];
            const size_t length = expected.back() == '*' ? expected.size() - 1 : std::string::npos;
            EXPECT_EQ(texts[i].substr(0, length), expected.substr(0, length));
        }
        EXPECT_EQ(readFile(documentPath), c.after);
    }
}

}  // namespace
