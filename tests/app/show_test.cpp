#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "support/temp_dir.h"

namespace {

const std::string kRoot = MORVANE_TEST_UNIT_ROOT, kDir = kRoot + "/data/tiv/swdl", kFile = kDir + "/VersionInfo.json";
const std::string kPath = kRoot + "/data/tiv//swdl//VersionInfo.json";  // as the tool names it

// Runs a script, where `tool` is the tool, on a fresh simulated unit whose document holds content ("(none)", "(dir)"
// and "(fifo)" stand for no document, a directory and a FIFO there); its exit status and standard output.
std::pair<int, std::string> run(const std::string& content, const std::string& script) {
    TempDir::removeTree(kRoot);
    std::system(("mkdir -p " + kDir + (content == "(dir)" ? " " + kFile : "")).c_str());
    content == "(fifo)" ? (void)mkfifo(kFile.c_str(), 0600) : content[0] != '(' ? writeFile(kFile, content) : void();
    const std::string tool = "exec " MORVANE_TEST_EMULATOR " " MORVANE_TEST_TOOL;
    const int status = std::system(
        ("tool() { (" + tool + " \"$@\" </dev/null 2>/dev/null); }; " + script + " >" + kRoot + "/out").c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(kRoot + "/out")};
}

// Seven NAD records out of BlockID order, block 3 twice (the first one counts), a block not in the block table,
// placeholders for versions never recorded, a blank and a slash in versions.
const std::string kDocument =
    R"({"Audio_DataSet_Version_Info": {"BlockID": 28928, "DataSetName": "SET A", "Version": "0102"}, )"
    R"("GTO_Version_Info": {"Active_System": 1, "System0_Version": "----", "System1_Version": "0101"}, )"
    R"("NAD_Version_Info": [{"BlockID": 4, "System0_Version": "4 a", "System1_Version": "----"}, )"
    R"({"BlockID": 3, "System0_Version": "3/a"}, {"BlockID": 3, "System0_Version": "3b"}, )"
    R"({"BlockID": 9, "System0_Version": "----"}, {"BlockID": 12, "System0_Version": "x"}, )"
    R"({"BlockID": 8, "System0_Version": "8a", "System1_Version": "8b"}, {"BlockID": 5, "System0_Version": "5a"}]})";
const std::string kJson =
    R"({"Audio_DataSet_Version_Info": {"BlockID": 28928, "DataSetName": "SET A", "Version": "0102"}, "Document": ")" +
    std::regex_replace(kPath, std::regex("/"), "\\/") +
    R"(", "GTO_Version_Info": {"Active_System": 1, "System0_Version": null, "System1_Version": "0101"}, )"
    R"("NAD_Version_Info": [{"BlockID": 3, "System0_Version": "3\/a"}, {"BlockID": 4, "System0_Version": "4 a", )"
    R"("System1_Version": null}, {"BlockID": 5, "System0_Version": "5a"}, {"BlockID": 8, "System0_Version": "8a", )"
    R"("System1_Version": "8b"}, {"BlockID": 9, "System0_Version": null}, {"BlockID": 12, "System0_Version": "x"}], )"
    "\"Schema_Version\": 1}\n";
const std::string kShell = "MORVANE_SCHEMA_VERSION='1'\nMORVANE_DOCUMENT='" + kPath +
                           "'\nMORVANE_BLOCK3_SYSTEM0='3/a'\nMORVANE_BLOCK4_SYSTEM0='4 a'\nMORVANE_BLOCK4_SYSTEM1=''\n"
                           "MORVANE_BLOCK5_SYSTEM0='5a'\nMORVANE_BLOCK8_SYSTEM0='8a'\nMORVANE_BLOCK8_SYSTEM1='8b'\n"
                           "MORVANE_BLOCK9_SYSTEM0=''\nMORVANE_BLOCK12_SYSTEM0='x'\nMORVANE_GTO_SYSTEM0=''\n"
                           "MORVANE_GTO_SYSTEM1='0101'\nMORVANE_GTO_ACTIVE_SYSTEM='1'\n"
                           "MORVANE_AUDIO_DATASET_BLOCKID='28928'\nMORVANE_AUDIO_DATASET_NAME='SET A'\n"
                           "MORVANE_AUDIO_DATASET_VERSION='0102'\n";
const std::string kSwVersions =
    "block3-system0 3/a\nblock5-system0 5a\nblock8-system0 8a\nblock8-system1 8b\n"
    "block12-system0 x\ngto-system1 0101\naudio-dataset 0102\n";

// Each row: what stands at the document's place, the script, its status and its whole standard output. Nothing is
// ever written beside the document, not even the lock file, and the document stays as it was.
TEST(ShowTest, EachFormPrintsTheRecordsOrNothingWithItsStatus) {
    const std::string gtoArray =
                          std::regex_replace(kDocument, std::regex(R"(("GTO_Version_Info": )(\{[^}]*\}))"), "$1[$2]"),
                      audioNumber = std::regex_replace(kDocument, std::regex(R"(\{"BlockID": 28928[^}]*\})"), "7");
    // clang-format off
    const struct {
        std::string document, script;
        int status;
        std::string output;
    } cases[] = {
        {kDocument, "tool --show=json", 0, kJson}, {kDocument, "tool --show=shell", 0, kShell},
        {kDocument, "tool --show=sw-versions", 0, kSwVersions},
        {kDocument, "tool --show | grep -e block4 -e audio", 0,
         "  block4-system0  4 a\n  block4-system1  (not recorded)\n  audio-dataset   0102 (SET A)\n"},
        {"(none)", "tool --show=sw-versions", 2, ""}, {"(none)", "tool --show=json | jq -c .NAD_Version_Info[1]", 0,
         "{\"BlockID\":4,\"System0_Version\":null,\"System1_Version\":null}\n"},
        {"", "tool --show=json", 3, ""}, {"(dir)", "tool --show=shell", 3, ""}, {"(fifo)", "tool --show", 3, ""},
        {kDocument.substr(0, 200), "tool --show=json", 3, ""}, {gtoArray, "tool --show=json", 3, ""},
        {audioNumber, "tool --show=sw-versions", 3, ""},
        {"{\"NAD_Version_Info\": \"" + std::string(20 << 20, 'x') + "\"}", "tool --show=shell", 3, ""},
        {kDocument, "tool --shows", 1, ""}, {kDocument, "tool --show=xml", 1, ""}, {kDocument, "tool --show 0", 1, ""},
        {kDocument, "tool --help | head -c 15", 0, "Usage: morvane "},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script + " on " + c.document.substr(0, 40));
        EXPECT_EQ(run(c.document, c.script), std::make_pair(c.status, c.output));
        EXPECT_TRUE(c.document[0] == '(' || readFile(kFile) == c.document) << "the document was changed";
        EXPECT_EQ(TempDir::entries(kDir).size() + (c.document == "(none)"), c.status == 1 ? 2u : 1u);
    }
    TempDir::removeTree(kRoot);
}

// Whatever bytes a version holds, `eval` of the shell form gives it back and runs nothing; a NUL byte, which no
// shell variable can hold, leaves its line out, and sw-versions leaves out versions with blanks or control bytes.
TEST(ShowTest, HostileVersionsSurviveEvalAndNeverBreakALine) {
    std::string every, escaped;
    for (int byte = 1; byte < 256; ++byte) {
        every += static_cast<char>(byte);
    }
    every += "'$(touch " + kRoot + "/ran)`touch " + kRoot + "/ran`'";
    for (const char c : every) {
        char code[8];
        const bool plain = static_cast<unsigned char>(c) >= ' ' && c != '"' && c != '\\';
        std::snprintf(code, sizeof code, plain ? "%c" : "\\u%04x", static_cast<unsigned char>(c));
        escaped += code;
    }
    const std::string document =
        std::regex_replace(std::regex_replace(kDocument, std::regex("3/a"), escaped), std::regex("5a"), "a\\u0000b");
    EXPECT_EQ(run(document,
                  "eval \"$(tool --show=shell)\" && printf '%s|%s' \"$MORVANE_BLOCK3_SYSTEM0\" "
                  "\"${MORVANE_BLOCK5_SYSTEM0-unset}\""),
              std::make_pair(0, every + "|unset"));
    EXPECT_NE(access((kRoot + "/ran").c_str(), F_OK), 0) << "eval ran a command from a version";
    EXPECT_EQ(run(document, "tool --show=sw-versions").second, kSwVersions.substr(kSwVersions.find("block8")));
    TempDir::removeTree(kRoot);
}

}  // namespace
