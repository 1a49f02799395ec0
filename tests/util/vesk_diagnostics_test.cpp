#include "util/vesk_utils.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using testing_support::ScopedTimeZone;

std::string blanks(size_t count)
{
    return std::string(count, ' ');
}

std::string dump(const std::string &bytes, int length)
{
    char *text = vesk_hexlog(bytes.data(), length);
    std::string result = text;
    std::free(text);
    return result;
}

TEST(VeskHexlog, RowsOfSixteenWithAlignedPrintableColumn)
{
    const std::string row1 = "0123456789abcdef", row2 = "ghijklmnopqrstuv";
    const std::string hex1 = "30 31 32 33 34 35 36 37 38 39 61 62 63 64 65 66 ";
    const std::string hex2 = "67 68 69 6A 6B 6C 6D 6E 6F 70 71 72 73 74 75 76 ";
    const struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"", ""},
        {"A", "41 " + blanks(15 * 3) + blanks(5) + "A"},
        {"A\n\x7F", "41 0A 7F " + blanks(13 * 3) + blanks(5) + "A.."},
        {row1, hex1 + blanks(5) + row1},
        {row1 + "g", hex1 + blanks(5) + row1 + "\n67 " + blanks(15 * 3) + blanks(5) + "g"},
        {row1 + row2 + "w", hex1 + blanks(5) + row1 + "\n" + hex2 + blanks(5) + row2 + "\n77 " +
                                blanks(15 * 3) + blanks(5) + "w"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes.size());
        EXPECT_EQ(dump(c.bytes, static_cast<int>(c.bytes.size())), c.text);
    }
    EXPECT_EQ(dump("abc", -1), "");
    char *none = vesk_hexlog(nullptr, 4);
    EXPECT_STREQ(none, "");
    std::free(none);
}

TEST(VeskHexlog, PrintableColumnShowsOnlyBlankToTilde)
{
    const std::string bytes("\x00\x1F\x20\x7E\x7F\x80\xFF", 7);
    char column[8];
    std::memset(column, 'z', sizeof column);
    EXPECT_EQ(vesk_hexlog_ascii(bytes.data(), column, 7), 7);
    EXPECT_STREQ(column, ".. ~...");
    EXPECT_EQ(dump(bytes, 7), "00 1F 20 7E 7F 80 FF " + blanks(9 * 3) + blanks(5) + ".. ~...");
    EXPECT_EQ(vesk_hexlog_ascii(bytes.data(), column, 0), 0);
    EXPECT_EQ(vesk_hexlog_ascii(nullptr, column, 1), -1);
}

// The numbers and time of the file VERSION, as the build took them.
TEST(VeskVersion, BuildTimeInLocalTimeInOneSharedBuffer)
{
    const testing_support::Release release = testing_support::read_release(VESK_VERSION_FILE);
    const std::string numbers = release.version + " r" + std::to_string(release.revision);
    const char *first = nullptr;
    {
        ScopedTimeZone zone("<-03>3");
        std::vector<const char *> seen(8);
        std::vector<std::thread> threads;
        for (auto &slot : seen)
            threads.emplace_back([&slot] { slot = vesk_version(); });
        for (auto &thread : threads)
            thread.join();
        first = seen[0];
        for (const char *text : seen)
            EXPECT_EQ(text, first);
        EXPECT_EQ(first, numbers + " (" + testing_support::clock_text(release.time, -3) + ")");
    }
    ScopedTimeZone zone("UTC");
    EXPECT_EQ(vesk_version(), first);
    EXPECT_EQ(first, numbers + " (" + testing_support::clock_text(release.time, 0) + ")");
}

TEST(VeskGetTime, ClockTextCutToTheBuffer)
{
    ScopedTimeZone zone("<-03>3");
    char buffer[16];
    EXPECT_EQ(vesk_getTime(1710509182, buffer, sizeof buffer), buffer);
    EXPECT_STREQ(buffer, "10:26:22");
    std::memset(buffer, 'z', sizeof buffer);
    vesk_getTime(1710509182, buffer, 6);
    EXPECT_EQ(std::string(buffer, 7), std::string("10:26\0z", 7));
    vesk_getTime(0, buffer, 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(vesk_getTime(0, nullptr, 8), nullptr);
}

} // namespace
