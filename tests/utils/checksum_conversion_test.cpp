#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

#include "log_checks.h"
#include "scratch.h"
#include "support/recording_logger.h"
#include "utils/file_utils.h"

namespace {

// Every nanosleep of this program lands here (linked with --wrap=nanosleep): the requested pauses are recorded,
// not slept.
std::vector<timespec> requestedSleeps;

}  // namespace

extern "C" int __wrap_nanosleep(const timespec* request, timespec* /*remaining*/) {
    requestedSleeps.push_back(*request);
    return 0;
}

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

using namespace log_levels;

TEST(Checksum, GetFileCrcEqualsZlibCrc32OfTheWholeFile) {
    scratch::Dir dir;
    for (const std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 3u * 4096u + 17u}) {
        std::string content(size, '\0');
        unsigned int state = static_cast<unsigned int>(size) * 2654435761u;
        for (char& byte : content) {
            state = state * 1103515245u + 12345u;
            byte = static_cast<char>(state >> 23);
        }
        const uLong expected = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(content.data()),
                                     static_cast<uInt>(content.size()));
        const std::string path = dir / ("image" + std::to_string(size));
        scratch::writeFile(path, content);
        RecordingLogger logger;
        EXPECT_EQ(getFileCrc(path, &logger), expected) << size;
        EXPECT_THAT(logger.entries(),
                    ElementsAre(Logged(DEBUG, "getFileCrc",
                                       "Opened device for hash calculation has size: " + std::to_string(size)),
                                Logged(DEBUG, "getFileCrc", "Calculated Checksum: " + toHexString(expected))))
            << size;
    }
}

TEST(Checksum, GetFileCrcOfAnUnopenableFileIsZero) {
    scratch::Dir dir;
    RecordingLogger logger;
    EXPECT_EQ(getFileCrc(dir / "missing", &logger), 0u);
    EXPECT_THAT(logger.entries(),
                ElementsAre(Logged(ERROR, "getFileCrc", "image for checksum calculation could not be opened")));
}

TEST(Conversions, ToHexStringIsLowerCaseWithoutLeadingZeros) {
    const struct {
        uint32_t value;
        const char* expected;
    } cases[] = {{0, "0"}, {0xf, "f"}, {255, "ff"}, {0x100, "100"}, {0xdeadbeef, "deadbeef"}, {0xffffffff, "ffffffff"}};
    for (const auto& c : cases) {
        EXPECT_EQ(toHexString(c.value), c.expected) << c.value;
    }
}

TEST(Conversions, ExtractNumberReadsTheFirstDecimalNumber) {
    const struct {
        std::string text;
        unsigned int expected;
    } cases[] = {
        {"Version 12.3", 12},
        {"abc", 0},
        {"7", 7},
        {"", 0},
        {"x", 0},
        {"ab7", 7},
        {"v0042b", 42},
        {"-5", 5},
        {"4294967295", 4294967295u},
        {"4294967296", 0},  // too large to read
        {std::string("ab\0 12", 6), 12},
        {std::string("12\0 34", 6), 12},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(extractNumber(c.text), c.expected) << c.text;
    }
}

TEST(Conversions, ExtractNumberSurvivesAnUnknownEnvironmentLocale) {
    setenv("LC_ALL", "xx_NOWHERE.UTF-8", 1);
    EXPECT_EQ(extractNumber("release 31"), 31u);
    unsetenv("LC_ALL");
}

TEST(Conversions, HexStringToBytesTakesTwoDigitsAtATime) {
    const struct {
        const char* text;
        std::vector<uint8_t> expected;
    } cases[] = {
        {"", {}},  {"0aff1", {10, 255, 1}}, {"zz", {0}}, {"FFfe", {255, 254}}, {"1z", {1}}, {"z1", {0}}, {"00", {0}},
        {"7", {7}}};
    for (const auto& c : cases) {
        EXPECT_THAT(hexStringToBytes(c.text), ElementsAreArray(c.expected)) << c.text;
    }
}

TEST(Conversions, SplitToBytesKeepsTheLowEightBitsOfEachField) {
    const struct {
        const char* text;
        char delimiter;
        std::vector<uint8_t> expected;
    } cases[] = {
        {"10.0.255", '.', {10, 0, 255}}, {"1..2", '.', {1, 2}}, {"300", '.', {44}}, {".5", '.', {5}},
        {" 7,+8", ',', {7, 8}},          {"9x.1", '.', {9, 1}}, {"-1", '.', {255}}, {"1:2:3", ':', {1, 2, 3}},
    };
    for (const auto& c : cases) {
        EXPECT_THAT(splitToBytes(c.text, c.delimiter), ElementsAreArray(c.expected)) << c.text;
    }
}

TEST(Conversions, SplitToBytesThrowsForFieldsItCannotConvert) {
    for (const char* text : {"1.2.", "", "a.1", "1.b", "."}) {
        try {
            splitToBytes(text, '.');
            ADD_FAILURE() << "no exception for \"" << text << "\"";
        } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), "stoi") << text;
        }
    }
    EXPECT_THROW(splitToBytes("1.99999999999", '.'), std::out_of_range);
}

TEST(Sleeps, SleepMillisecondsSplitsIntoSecondsAndNanoseconds) {
    requestedSleeps.clear();
    for (const int milliseconds : {1500, 1, 999, 1000, 0, -20}) {
        sleepMilliseconds(milliseconds);
    }
    ASSERT_EQ(requestedSleeps.size(), 4u);
    const struct {
        time_t seconds;
        long nanoseconds;
    } expected[] = {{1, 500000000}, {0, 1000000}, {0, 999000000}, {1, 0}};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(requestedSleeps[i].tv_sec, expected[i].seconds) << i;
        EXPECT_EQ(requestedSleeps[i].tv_nsec, expected[i].nanoseconds) << i;
    }
}

// Fails to open a given number of times (errno ECONNREFUSED), then reports the connection state 7.
class FlakySocket : public NamedSocket {
  public:
    explicit FlakySocket(int failures) : failures_(failures) {}
    int isOpen() override { return connected_ ? 7 : 0; }
    int open(const std::string& name, int arg1, int arg2, int arg3) override {
        calls.push_back(name + " " + std::to_string(arg1) + " " + std::to_string(arg2) + " " + std::to_string(arg3));
        if (failures_-- > 0) {
            errno = ECONNREFUSED;
            return -1;
        }
        connected_ = true;
        return 0;
    }
    std::vector<std::string> calls;

  private:
    int failures_;
    bool connected_ = false;
};

TEST(Sockets, OpenSocketRetriesWithItsPauseUntilConnected) {
    requestedSleeps.clear();
    FlakySocket socket(2);
    RecordingLogger logger;
    EXPECT_EQ(openSocket(&socket, "swdl", &logger, 2500), 7);
    EXPECT_THAT(socket.calls, ElementsAre("swdl 1 5 0", "swdl 1 5 0", "swdl 1 5 0"));
    const auto refused = Logged(ERROR, "openSocket", "Failed in opening swdl socket because: Connection refused");
    EXPECT_THAT(logger.entries(),
                ElementsAre(refused, refused, Logged(VERBOSE, "openSocket", "\"swdl\" connection Successful")));
    ASSERT_EQ(requestedSleeps.size(), 2u);
    EXPECT_EQ(requestedSleeps[1].tv_sec, 2);
    EXPECT_EQ(requestedSleeps[1].tv_nsec, 500000000L);
}

TEST(Sockets, OpenSocketWithoutPauseOrAlreadyConnectedDoesNotSleep) {
    requestedSleeps.clear();
    FlakySocket connected(0);
    connected.open("warmup", 0, 0, 0);
    connected.calls.clear();
    RecordingLogger logger;
    EXPECT_EQ(openSocket(&connected, "swdl", &logger, 100), 7);
    EXPECT_THAT(connected.calls, IsEmpty());
    EXPECT_THAT(logger.entries(), IsEmpty());
    FlakySocket flaky(3);
    EXPECT_EQ(openSocket(&flaky, "swdl", &logger, 0), 7);
    EXPECT_EQ(flaky.calls.size(), 4u);
    EXPECT_THAT(requestedSleeps, IsEmpty());
}

}  // namespace
