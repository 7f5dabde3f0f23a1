#include "utils/file_utils.h"

#include <sys/syscall.h>
#include <zlib.h>

#include <climits>
#include <stdexcept>

#include "helpers.h"

// Every nanosleep of this program lands here (linked with --wrap=nanosleep): pauses are recorded, not slept.
static std::vector<std::pair<long, long>> sleeps;

extern "C" int __wrap_nanosleep(const timespec* request, timespec* /*remaining*/) {
    sleeps.emplace_back(request->tv_sec, request->tv_nsec);
    return 0;
}

// So does every read (libstdc++'s file buffers call this one): the reads of one descriptor fail once a number of
// them have gone through.
static std::pair<int, int> breakingReads{-1, 0};

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
    if (fd == breakingReads.first && breakingReads.second-- <= 0) {
        return errno = EIO, -1;
    }
    return syscall(SYS_read, fd, buffer, size);
}

namespace {

using Files = UtilsTest;
using Directories = UtilsTest;
using Conversions = UtilsTest;
using Bytes = std::vector<uint8_t>;
using namespace std::string_literals;

TEST_F(Files, ExistenceChecksFollowLinksAndTellFilesFromDirectories) {
    shell("touch file; ln -s file file_link; ln -s . dir_link; ln -s missing dangling");
    const std::tuple<std::string, bool, bool> cases[] = {
        {"", true, true},          {"/file", true, false},      {"/file_link", true, false},
        {"/dir_link", true, true}, {"/dangling", false, false}, {"/missing", false, false}};
    for (const auto& [name, exists, isDirectory] : cases) {
        EXPECT_EQ(fileExists(dir.path() + name), exists) << name;
        EXPECT_EQ(directoryExists(dir.path() + name), isDirectory) << name;
    }
}

TEST_F(Files, PrintFileContentLogsTheRestOfAStreamInOneMessageOrABadStream) {
    shell("printf '{\\n  \"a\": 1\\n}\\n' >doc; touch empty");
    // Reading a directory fails, and so does reading this process's memory from its unmapped first page.
    for (const std::string& path : {dir / "doc", dir / "empty", dir / "missing", dir.path(), "/proc/self/mem"s}) {
        printFileContentByPath(&logger, path);
    }
    std::istringstream partlyRead("skipped|kept");
    partlyRead.seekg(8);
    printFileContent(&logger, partlyRead);
    const std::string content = "E printFileContent(#): File Content:\n ";
    const std::string failed = "E printFileContent(#): Reading the stream failed(";
    EXPECT_EQ(logger.logs(),
              (Logs{content + "{\n  \"a\": 1\n}\n", content, "E printFileContent(#): Received a Bad Stream",
                    failed + "Is a directory)", failed + "Input/output error)", content + "kept"}));
}

TEST_F(Files, GetFileSizeGivesMinusOneForAMissingFileAndSizesThatDoNotFit) {
    EXPECT_EQ(getFileSize(dir / "missing", &logger), -1);
    // Sparse files; the last would wrap to a plausible 5 in a 32-bit result.
    for (const long long size : {0LL, 5LL, static_cast<long long>(INT_MAX), 2147483648LL, 4294967301LL}) {
        shell("truncate -s " + std::to_string(size) + " " + std::to_string(size));
        EXPECT_EQ(getFileSize(dir / std::to_string(size), &logger), size <= INT_MAX ? size : -1);
    }
    const std::string refused = " does not fit the result. Returning invalid file size(-1)";
    EXPECT_EQ(logger.logs(), (Logs{"E getFileSize(#): Unable to Open '~/missing' file. Returning invalid file size(-1)",
                                   "E getFileSize(#): '~/2147483648' file size(2147483648)" + refused,
                                   "E getFileSize(#): '~/4294967301' file size(4294967301)" + refused}));
}

TEST_F(Files, CreateAndCopyReplaceTheDestinationAndFailWithoutTouchingIt) {
    writeFile(dir / "old", "content");
    EXPECT_TRUE(createFile(dir / "old") && createFile(dir / "new") && fs::exists(dir / "new"));
    EXPECT_EQ(readFile(dir / "old"), "");
    EXPECT_FALSE(createFile(dir / "missing/new"));
    const std::string binary("line\r\n\0\xff end", 12);
    for (const std::string& content : {std::string(), binary}) {
        writeFile(dir / "source", content);
        writeFile(dir / "copy", "previous, longer content");
        EXPECT_TRUE(copyFile(dir / "source", dir / "copy"));
        EXPECT_EQ(readFile(dir / "copy"), content);
    }
    for (const std::string& source : {dir / "missing", dir.path(), "/proc/self/mem"s}) {
        EXPECT_FALSE(copyFile(source, dir / "copy")) << source;
    }
    EXPECT_EQ(readFile(dir / "copy"), binary);
    writeFile(dir / "source", std::string(10000, 's'));
    breakingReads = {lowestFreeDescriptor(), 1};
    EXPECT_FALSE(copyFile(dir / "source", dir / "copy")) << "a read failed in the middle of the source";
    breakingReads = {-1, 0};
    EXPECT_FALSE(copyFile(dir / "source", dir / "missing/copy"));
    EXPECT_FALSE(copyFile(dir / "source", "/dev/full")) << "a write failed as on a full partition";
}

TEST_F(Files, RemoveFileRemovesFilesAndEmptyDirectoriesAndReportsTheRest) {
    shell("touch file; mkdir -p empty full/inner");
    for (const char* name : {"file", "empty", "missing"}) {
        EXPECT_TRUE(remove_file(&logger, (dir / name).c_str()) && !fs::exists(dir / name)) << name;
    }
    EXPECT_FALSE(remove_file(&logger, (dir / "full").c_str()) || !fs::exists(dir / "full/inner"));
    EXPECT_FALSE(remove_file(&logger, nullptr));
    EXPECT_EQ(logger.logs(), (Logs{"V remove_file: \"~/file\" file deletion successful",
                                   "V remove_file: \"~/empty\" file deletion successful",
                                   "F remove_file: \"~/full\" file deletion failed: Directory not empty"}));
}

TEST_F(Files, ReadLineCountsLinesFromOneFromTheStartAndGivesEmptyPastTheEnd) {
    writeFile(dir / "lines", "first\nsecond\n\nfourth");
    const std::pair<unsigned int, const char*> cases[] = {{1, "first"}, {2, "second"}, {3, ""},     {4, "fourth"},
                                                          {5, ""},      {1000, ""},    {0, "first"}};
    for (const auto& [line, expected] : cases) {
        EXPECT_EQ(readLineFromFile(dir / "lines", line), expected) << line;
    }
    EXPECT_EQ(readLineFromFile(dir / "missing", 1), "");
    std::fstream file(dir / "lines", std::ios::in | std::ios::out);
    EXPECT_EQ(readLine(file, 2, false), "second");
    EXPECT_TRUE(readLine(file, 1, true) == "first" && !file.is_open());
    file.open(dir / "lines");
    file.setstate(std::ios::eofbit);
    EXPECT_EQ(readLine(file, 1, false), "") << "a stream that has failed is not rewound";
}

TEST_F(Directories, CreatorsAcceptAnythingAlreadyThereAndReportWhatFails) {
    shell("touch file; ln -s gone dangling");
    EXPECT_TRUE(createDirectory(dir / "new", &logger) && createDirectory(dir / "new", &logger));
    EXPECT_TRUE(createDirectory(dir / "file", &logger) && fs::is_directory(dir / "new"));
    EXPECT_FALSE(createDirectory(dir / "missing/new", &logger));
    EXPECT_TRUE(createSymlink(dir / "file", dir / "link", &logger));
    EXPECT_TRUE(createSymlink(dir / "file", dir / "dangling", &logger));
    EXPECT_FALSE(createSymlink(dir / "missing", dir / "link2", &logger) || fs::is_symlink(dir / "link2"));
    EXPECT_FALSE(createSymlink(dir / "file", dir / "missing/link", &logger));
    EXPECT_EQ(fs::read_symlink(dir / "link"), dir / "file");
    EXPECT_EQ(fs::read_symlink(dir / "dangling"), "gone");
    EXPECT_EQ(
        logger.logs(),
        (Logs{"E createDirectory(#): \"~/file\" directory already exist\n",
              "E createDirectory(#): createDirectory: Directory creation(~/missing/new) failed due to :No such file "
              "or directory\n",
              "I createSymlink(#): \"~/dangling\" symlink alread exist\n",
              "E createSymlink(#): The source file \"~/missing\" doesn't exist",
              "E createSymlink(#): Symlink creation(~/missing/link) failed due to: No such file or directory\n"}));
}

TEST_F(Directories, ChangeDirectoryMovesTheProcessOrReportsWhyNot) {
    const fs::path saved = fs::current_path();
    EXPECT_TRUE(changeDirectory(&logger, dir.path()) && fs::current_path() == fs::canonical(dir.path()));
    fs::current_path(saved);
    EXPECT_FALSE(changeDirectory(&logger, dir / "missing"));
    EXPECT_EQ(logger.logs(),
              Logs{"E changeDirectory(#): 'chdir' to '~/missing' directory failed dur to 'No such file or directory'"});
}

TEST_F(Directories, DeleteDirectoryContentsRemovesATreeButNothingItsLinksPointTo) {
    shell("mkdir -p out/dir; echo precious >out/file; echo too >out/dir/inner");
    for (const bool removeItself : {false, true}) {
        // Links to a file and a directory outside the tree, absolute and relative, and one to nothing.
        shell("mkdir -p t/a/b; touch t/a/b/c; ln -s $PWD/out/file t/a/f; ln -s ../../../out/dir t/a/b/d; ln -s no t/x");
        EXPECT_TRUE(deleteDirectoryContents(&logger, dir / "t", removeItself));
        EXPECT_TRUE(removeItself ? !fs::exists(dir / "t") : fs::is_empty(dir / "t")) << removeItself;
    }
    EXPECT_EQ(readFile(dir / "out/file") + readFile(dir / "out/dir/inner"), "precious\ntoo\n");
    EXPECT_FALSE(deleteDirectoryContents(&logger, "", true));
    EXPECT_TRUE(deleteDirectoryContents(&logger, dir / "missing", true));
    EXPECT_FALSE(deleteDirectoryContents(&logger, dir / "out/file", true));
    EXPECT_EQ(logger.logs(), (Logs{"F remove_dir: Path is empty\n",
                                   "W Folder doesn't exist to delete but we can still proceed with next step\n",
                                   "F remove_dir: opendir returned an error: Not a directory\n"}));
}

TEST_F(Directories, DeleteDirectoryContentsGoesOnPastEveryEntryItCannotRemove) {
    shell(
        "mkdir locked noread nosearch special; touch removable locked/file nosearch/file; mkfifo special/fifo; "
        "ln -s ../removable locked/link; chmod 777 .; chmod 555 locked; chmod 333 noread; chmod 444 nosearch");
    EXPECT_EQ(runUnprivileged([&] { return deleteDirectoryContents(&logger, dir.path(), false) ? 0 : 1; }), 0);
    EXPECT_FALSE(fs::exists(dir / "removable"));
    EXPECT_TRUE(fs::exists(dir / "locked/file") && fs::exists(dir / "special/fifo"));
    const std::string failed = "E deleteDirectoryContents(#): ", denied = "Permission denied";
    EXPECT_THAT(
        logger.logs(),
        ::testing::UnorderedElementsAre(
            failed + "Removing '~/locked/file' file failed due to '" + denied + "'",
            failed + "Unlinking '~/locked/link' file failed due to '" + denied + "'",
            failed + "Error(Directory not empty) in deleting ~/locked directory",
            "F remove_dir: opendir returned an error: " + denied + "\n", failed + "Removing '~/noread' folder failed",
            "F remove_dir: lstat() failed for ~/nosearch/file file due to: " + denied + "\n",
            failed + "Error(Directory not empty) in deleting ~/nosearch directory", "V remove_dir: nothing to delete\n",
            failed + "Error(Directory not empty) in deleting ~/special directory"));
}

TEST_F(Directories, ListingsGiveNamesInByteOrderAndCountRegularFilesOnly) {
    shell("mkdir sub; touch b a ab B .hidden \303\251t\303\251 '~tilde' sub/nested; ln -s gone link; mkfifo fifo");
    EXPECT_EQ(listFilesinDirectory(dir.path(), &logger),
              (Logs{".hidden", "B", "a", "ab", "b", "fifo", "link", "sub", "~tilde", "\xc3\xa9t\xc3\xa9"}));
    EXPECT_EQ(NumberofFilesinDirectory(&logger, dir.path(), false), 7);
    EXPECT_EQ(NumberofFilesinDirectory(&logger, dir.path(), true), 9);
    EXPECT_TRUE(listFilesinDirectory(dir / "missing", &logger).empty());
    for (const std::string& path : {std::string(), dir / "missing", dir / "a"}) {
        EXPECT_EQ(NumberofFilesinDirectory(&logger, path, true), 0) << path;
    }
    EXPECT_EQ(logger.logs(),
              (Logs{"E listFilesinDirectory(#): Opendir returned an error(No such file or directory) for (~/missing)",
                    "E NumberofFilesinDirectory(#): Received directory path is empty\n",
                    "E NumberofFilesinDirectory(#): Directory '~/missing' doesn't exist",
                    "E NumberofFilesinDirectory(#): opendir returned an error: Not a directory\n"}));
}

TEST_F(Files, GetFileCrcEqualsZlibCrc32OfTheWholeFileOrZeroWithoutOne) {
    EXPECT_EQ(getFileCrc(dir / "missing", &logger), 0u);
    EXPECT_EQ(logger.logs(), Logs{"E getFileCrc(#): image for checksum calculation could not be opened"});
    for (const int size : {0, 1, 4095, 4096, 4097, 3 * 4096 + 17}) {
        shell("head -c " + std::to_string(size) + " /dev/urandom >image");
        const std::string content = readFile(dir / "image");
        const uLong expected = crc32(0L, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(size));
        logger.clear();
        EXPECT_EQ(getFileCrc(dir / "image", &logger), expected) << size;
        EXPECT_EQ(logger.logs(),
                  (Logs{"D getFileCrc(#): Opened device for hash calculation has size: " + std::to_string(size),
                        "D getFileCrc(#): Calculated Checksum: " + toHexString(expected)}));
    }
}

TEST_F(Conversions, HexTextIsLowerCaseWithoutLeadingZerosAndReadTwoDigitsAtATime) {
    for (const auto& [value, text] : std::vector<std::pair<uint32_t, std::string>>{
             {0, "0"}, {0xf, "f"}, {0x100, "100"}, {0xdeadbeef, "deadbeef"}, {0xffffffff, "ffffffff"}}) {
        EXPECT_EQ(toHexString(value), text);
    }
    for (const auto& [text, bytes] : std::vector<std::pair<std::string, Bytes>>{
             {"", {}}, {"0aff1", {10, 255, 1}}, {"zz", {0}}, {"FFfe", {255, 254}}, {"1z", {1}}, {"z1", {0}}}) {
        EXPECT_EQ(hexStringToBytes(text), bytes) << text;
    }
}

TEST_F(Conversions, ExtractNumberReadsTheFirstDecimalNumberWhateverTheLocale) {
    const std::pair<std::string, unsigned> cases[] = {
        {"Version 12.3", 12}, {"abc", 0},      {"7", 7},  {"", 0},           {"x", 0},
        {"ab7", 7},           {"v0042b", 42},  {"-5", 5}, {"4294967296", 0}, {"4294967295", 4294967295u},
        {"ab\0 12"s, 12},     {"12\0 34"s, 12}};
    // An environment naming an unknown locale must not turn the lookup into an exception.
    for (const char* locale : {"C", "xx_NOWHERE.UTF-8"}) {
        setenv("LC_ALL", locale, 1);
        for (const auto& [text, number] : cases) {
            EXPECT_EQ(extractNumber(text), number) << text << " in " << locale;
        }
    }
    unsetenv("LC_ALL");
}

TEST_F(Conversions, SplitToBytesKeepsTheLowEightBitsOfEachFieldAndThrowsForFieldsWithoutDigits) {
    const std::tuple<const char*, char, Bytes> cases[] = {
        {"10.0.255", '.', {10, 0, 255}}, {"1..2", '.', {1, 2}}, {"300", '.', {44}}, {".5", '.', {5}},
        {" 7,+8", ',', {7, 8}},          {"9x.1", '.', {9, 1}}, {"-1", '.', {255}}, {"1:2:3", ':', {1, 2, 3}}};
    for (const auto& [text, delimiter, bytes] : cases) {
        EXPECT_EQ(splitToBytes(text, delimiter), bytes) << text;
    }
    for (const char* text : {"1.2.", "", "a.1", "1.b", "."}) {
        EXPECT_THROW(splitToBytes(text, '.'), std::invalid_argument) << text;
    }
    EXPECT_THROW(splitToBytes("1.99999999999", '.'), std::out_of_range);
}

TEST_F(Conversions, SleepMillisecondsSplitsIntoSecondsAndNanosecondsAndSkipsNonPositivePauses) {
    sleeps.clear();
    for (const int milliseconds : {1500, 1, 999, 1000, 0, -20}) {
        sleepMilliseconds(milliseconds);
    }
    EXPECT_EQ(sleeps, (decltype(sleeps){{1, 500000000}, {0, 1000000}, {0, 999000000}, {1, 0}}));
}

}  // namespace
