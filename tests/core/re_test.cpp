#include "core/re.h"

#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

struct MatchCase {
    std::string pattern;
    std::string text;
    int expected;
};

// A class of n copies of c, closed.
std::string class_of(size_t n, const std::string &tail = "")
{
    return "[" + std::string(n, 'a') + tail + "]";
}

const std::string alphabet = "abcdefghijklmnopqrstuvwxyz0123456789"; // 36 literals

TEST(Re, MatchTable)
{
    const MatchCase cases[] = {
        {"\\d+", "ab12", 2},
        {"[a-c]x", "zzbx", 2},
        {"x", "abc", -1},
        {"^ab", "cab", -1},
        {"ab$", "cab", 1},
        {"$", "abc", -1}, // its only match starts at the end
        {"^$", "", 0},
        {"", "x", 0},
        {"", "", -1},
        {"a|b", "xa|b", 1}, // no alternation
        {"a|b", "b", -1},
        {"[a-]", "-", 0},
        {"[-a]", "-", 0},
        {"[a-c]", "-", -1},
        {"[a-c-e]", "d", 0},  // ranges are found while walking
        {"[a-c-e]", "-", -1}, // a '-' in the middle ends the walk
        {"[^0-9]", "12a", 2},
        {"\\.", "a.b", 1},
        {"\\.", "ab", -1},
        {".", "\n", 0},
        {"ab?c", "xac", 1},
        {"ab*c", "abbbc", 0},
        {"ab+c", "ac", -1},
        {"ab+c", "xabbc", 1},
        {"^a*$", "aaa", 0},
        {"^a*$", "aab", -1},
        {"\\w+\\s\\S", "!! ab c", 3},
        {"\\D\\W", "12x-", 2},
        {"\\w",
         "\xe9"
         "a",
         1}, // 8-bit characters are no letters
        {"[\\d]", "a5", 1},
        {"[\\d]", "d", -1},
        {"[\\]]", "x]", 1}, // an escaped ']' does not end the class
        {"[\\.]", "a.", 1},
        {"[]", "abc", -1},
        {"[^]", "abc", 0},
        {"ab\\", "xab", 1}, // a lone backslash ends the pattern
        {"[ab", "xb", 1},   // an open class ends with the pattern
        {"[a\\", "za", 1},
        {"[^", "z", 0},
        {"a^b", "xa^b", 1}, // misplaced anchors and quantifiers are literal
        {"a$b", "a$b", 0},
        {"*a", "x*a", 1},
        {"+", "1+1", 1},
        {"a**", "aa*", 0},
        {"a**", "aa", -1},
        {class_of(38), "xa", 1},
        {class_of(39), "xa", -1}, // class buffer overflow: no match
        {class_of(36, "\\."), "x.", 1},
        {class_of(37, "\\."), "x.", -1},
        {class_of(18) + class_of(19), "aa", 0}, // classes share the buffer
        {class_of(18) + class_of(20), "aa", -1},
        {alphabet, alphabet.substr(0, 29) + "ZZZ", 0}, // cut after 29 objects
        {alphabet, "x" + alphabet.substr(0, 28), -1},
    };
    for (const MatchCase &c : cases) {
        SCOPED_TRACE("pattern '" + c.pattern + "' text '" + c.text + "'");
        EXPECT_EQ(re_match_direct(c.pattern.c_str(), c.text.c_str()), c.expected);
    }
}

TEST(Re, NullArgumentsAndOverflowGiveNoPattern)
{
    EXPECT_EQ(re_compile(class_of(39).c_str()), nullptr);
    EXPECT_EQ(re_compile(nullptr), nullptr);
    EXPECT_EQ(re_matchp(nullptr, "abc"), -1);
    EXPECT_EQ(re_matchp(re_compile("a"), nullptr), -1);
}

TEST(Re, CompiledPatternMatchesManyTexts)
{
    const re_object *pattern = re_compile("^app.*\\.log$");
    ASSERT_NE(pattern, nullptr);
    EXPECT_EQ(re_matchp(pattern, "app-2024.log"), 0);
    EXPECT_EQ(re_matchp(pattern, "app.log.1"), -1);
    EXPECT_EQ(re_matchp(pattern, "my-app.log"), -1);
}

TEST(Re, LongTextDoesNotDeepenTheRecursion)
{
    std::string text(1000000, 'a');
    EXPECT_EQ(re_match_direct("^a*b", (text + "b").c_str()), 0);
    EXPECT_EQ(re_match_direct("a+$", text.c_str()), 0);
    EXPECT_EQ(re_match_direct("^a*a\\d", text.c_str()), -1);
}

// Patterns that make a backtracking matcher try every split of the text
// among the quantified objects: the answer must not depend on doing that.
TEST(Re, QuantifiedRunsNeverTryEverySplit)
{
    std::string stars;
    std::string questions;
    for (int i = 0; i < 13; ++i) {
        stars += "a*";
        questions += "a?";
    }
    const std::string as(40, 'a');
    EXPECT_EQ(re_match_direct((stars + "b").c_str(), as.c_str()), -1);
    EXPECT_EQ(re_match_direct((stars + "b").c_str(), (as + "b").c_str()), 0);
    const std::string thirteen = as.substr(0, 13);
    EXPECT_EQ(re_match_direct((questions + thirteen).c_str(), thirteen.c_str()), 0);
    EXPECT_EQ(re_match_direct("^\\w+\\w+\\w+\\w+\\w+\\w+\\w+\\w+\\w+\\d!", as.c_str()), -1);
    EXPECT_EQ(re_match_direct(".*.*.*.*.*.*.*.*.*.*x", (as + "x").c_str()), 0);
}

TEST(Re, PrintWritesOneLinePerObject)
{
    testing_support::StdoutCapture out;
    re_print(re_compile("^x[a-c]\\d+[^\\]]$"));
    re_print(nullptr);
    EXPECT_EQ(out.text(), "type: BEGIN\n"
                          "type: CHAR 'x'\n"
                          "type: CHAR_CLASS [a-c]\n"
                          "type: DIGIT\n"
                          "type: PLUS\n"
                          "type: INV_CHAR_CLASS [\\]\n"
                          "type: END\n");
}

} // namespace
