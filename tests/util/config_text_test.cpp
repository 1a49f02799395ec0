#include "util/vesk_utils.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using testing_support::write_file;

struct SplitCase {
    std::string text;
    int max_fields;
    std::vector<std::string> expected;
};

TEST(ConfigText, TokenizerSplitsWithinTheFieldArray)
{
    const SplitCase cases[] = {
        {"red;green;blue", 10, {"red", "green", "blue"}},
        {"red;green;blue", 2, {"red", "green;blue"}},
        {"red;green\r\nblue;black", 10, {"red", "green", "black"}},
        {"red;green\r\n", 2, {"red", "green\r\n"}}, // the last field keeps the rest
        {"a;", 10, {"a", ""}},
        {"", 10, {""}},
        {"a;b", 1, {"a;b"}},
    };
    for (const SplitCase &c : cases) {
        SCOPED_TRACE(c.text + " / " + std::to_string(c.max_fields));
        std::string buffer = c.text;
        // Exactly max_fields slots on the heap, so a write past them is caught.
        std::vector<char *> fields(static_cast<size_t>(c.max_fields));
        int count = tokenizer(';', buffer.data(), fields.data(), c.max_fields);
        ASSERT_EQ(count, static_cast<int>(c.expected.size()));
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(fields[static_cast<size_t>(i)], c.expected[static_cast<size_t>(i)]);
    }
    char text[] = "a;b";
    char *field = nullptr;
    EXPECT_EQ(tokenizer(';', text, &field, 0), 0);
    EXPECT_EQ(tokenizer(';', nullptr, &field, 1), 0);
    EXPECT_EQ(field, nullptr);
}

TEST(ConfigText, IsNumberAcceptsOnlyDigitsAndPoints)
{
    EXPECT_EQ(isNumber("1.2.3"), 1);
    EXPECT_EQ(isNumber("0123456789"), 1);
    EXPECT_EQ(isNumber(""), 1);
    EXPECT_EQ(isNumber("-5"), 0);
    EXPECT_EQ(isNumber("1e3"), 0);
    EXPECT_EQ(isNumber("1 2"), 0);
    EXPECT_EQ(isNumber(nullptr), 0);
}

TEST(ConfigText, ByteOrderMarkIsTheFirstMatchingRow)
{
    const unsigned char utf8[] = {0xEF, 0xBB, 0xBF, 0x41};
    const unsigned char none[] = {0x41, 0x42, 0x43, 0x44};
    const unsigned char utf32le[] = {0xFF, 0xFE, 0x00, 0x00};
    const unsigned char utf32be[] = {0x00, 0x00, 0xFE, 0xFF};
    ASSERT_NE(ub_get_BOM(utf8), nullptr);
    EXPECT_STREQ(ub_get_BOM(utf8)->name, "UTF-8");
    EXPECT_EQ(ub_get_BOM(none), nullptr);
    EXPECT_STREQ(ub_get_BOM(utf32le)->name, "UTF-16(LE)");
    EXPECT_STREQ(ub_get_BOM(utf32be)->name, "UTF-32(BE)");
    EXPECT_EQ(ub_get_BOM(nullptr), nullptr);
}

TEST(ConfigText, PurgeZerosRemovesTheLeadingRun)
{
    const struct {
        const char *text, *expected;
        int removed;
    } cases[] = {{"000", "", 3}, {"0012", "12", 2}, {"0.5", ".5", 1}, {"100", "100", 0}};
    for (const auto &c : cases) {
        std::string text = c.text;
        EXPECT_EQ(purgeZeros(text.data()), c.removed) << c.text;
        EXPECT_STREQ(text.c_str(), c.expected);
    }
    EXPECT_EQ(purgeZeros(nullptr), 0);
}

class ConfigIni : public testing_support::TempDirTest {
protected:
    void TearDown() override
    {
        for (const char *&value : values)
            if (value != nullptr && value != vesk_empty_text)
                std::free(const_cast<char *>(value));
        TempDirTest::TearDown();
    }
    const char *keys[4] = {"PORT", "HOST", "USER", nullptr};
    const char *values[3] = {nullptr, nullptr, nullptr};
};

TEST_F(ConfigIni, ReadsTheLastValueOfEachKey)
{
    write_file("a.ini", "PORTX=2\r\nPORT=1\r\nHOST=a=b \nPORT=9000\n");
    static const char callers_own[] = "81";
    values[0] = callers_own; // replaced, never released
    ASSERT_EQ(get_config_ini("a.ini", keys, values), 0);
    EXPECT_STREQ(values[0], "9000"); // the copy for PORT=1 is released
    EXPECT_STREQ(values[1], "a=b ");
    EXPECT_EQ(values[2], vesk_empty_text);
}

TEST_F(ConfigIni, MissingOrEmptyFileLeavesTheValues)
{
    EXPECT_EQ(get_config_ini("missing.ini", keys, values), 1);
    write_file("empty.ini", "");
    EXPECT_EQ(get_config_ini("empty.ini", keys, values), 0);
    EXPECT_EQ(values[0], nullptr);
    EXPECT_EQ(get_config_ini("empty.ini", nullptr, values), -1);
}

TEST_F(ConfigIni, LongLinesComeInPieces)
{
    std::string long_value(3000, 'v');
    std::string long_key(3000, 'K');
    write_file("long.ini", "PORT=" + long_value + "\n" + long_key + "=1\nHOST=h\n");
    keys[2] = long_key.c_str(); // longer than any piece: never matches
    ASSERT_EQ(get_config_ini("long.ini", keys, values), 0);
    EXPECT_EQ(std::string(values[0]), long_value.substr(0, 2047 - 5));
    EXPECT_STREQ(values[1], "h");
    EXPECT_EQ(values[2], vesk_empty_text);
}

} // namespace
