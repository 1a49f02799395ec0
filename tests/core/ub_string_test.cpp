#include "core/ub_string.h"

#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace {

struct StringDeleter {
    void operator()(ub_string *string) const { string_free(string); }
};
using StringPtr = std::unique_ptr<ub_string, StringDeleter>;

TEST(UbString, NewCopiesOrStartsEmpty)
{
    char source[] = "ab";
    StringPtr s(string_new(source));
    source[0] = 'x';
    EXPECT_STREQ(string_get_text(s.get()), "ab");
    EXPECT_EQ(s->size, 3);
    EXPECT_EQ(s->len, 2);

    StringPtr empty(string_new(nullptr));
    EXPECT_EQ(string_get_text(empty.get()), nullptr);
    EXPECT_EQ(empty->size, 0);
    EXPECT_EQ(empty->len, 0);
    // The first text of an empty record is taken as string_init takes it.
    EXPECT_EQ(string_append(empty.get(), "abc"), 4);
    EXPECT_STREQ(string_get_text(empty.get()), "abc");
    EXPECT_EQ(empty->len, 3);

    StringPtr front(string_new(nullptr));
    EXPECT_EQ(string_prepend(front.get(), "xy"), 3);
    EXPECT_STREQ(string_get_text(front.get()), "xy");

    ub_string record{};
    EXPECT_EQ(string_init(&record, "hello"), &record);
    EXPECT_EQ(record.size, 6);
    std::free(record.text);
    string_free(nullptr);
}

TEST(UbString, AppendGrowsByDoublingAndReturnsCapacity)
{
    StringPtr s(string_new("ab"));
    EXPECT_EQ(string_append(s.get(), "cd"), 10);
    EXPECT_EQ(s->len, 4);
    EXPECT_STREQ(string_get_text(s.get()), "abcd");

    // Exactly full: size - len is 1, so one more character must grow it.
    StringPtr full(string_new("xyz"));
    ASSERT_EQ(full->size - full->len, 1);
    EXPECT_EQ(string_append(full.get(), ""), 4);
    EXPECT_EQ(string_append(full.get(), "w"), 2 * (4 + 1));
    EXPECT_STREQ(string_get_text(full.get()), "xyzw");
    EXPECT_EQ(full->text[full->len], '\0');

    EXPECT_EQ(string_append(nullptr, "a"), 0);
    EXPECT_EQ(string_append(s.get(), nullptr), 0);
    EXPECT_STREQ(string_get_text(s.get()), "abcd");
}

TEST(UbString, PrependMovesTextAndTerminator)
{
    StringPtr s(string_new("world"));
    int32_t size = string_prepend(s.get(), "hello ");
    EXPECT_EQ(size, 2 * (6 + 6));
    EXPECT_STREQ(string_get_text(s.get()), "hello world");
    EXPECT_EQ(s->len, 11);
    EXPECT_EQ(s->text[11], '\0');
    EXPECT_EQ(string_prepend(s.get(), nullptr), 0);
}

TEST(UbString, ManyAppendsKeepTheInvariant)
{
    StringPtr s(string_new(""));
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        std::string piece = std::to_string(i) + ",";
        string_append(s.get(), piece.c_str());
        expected += piece;
        ASSERT_LT(s->len, s->size);
    }
    EXPECT_EQ(string_get_text(s.get()), expected);
    EXPECT_EQ(static_cast<size_t>(s->len), expected.size());
}

TEST(UbString, TextFromItsOwnBufferSurvivesGrowth)
{
    StringPtr s(string_new("abc"));
    EXPECT_GT(string_append(s.get(), s->text), 0);
    EXPECT_STREQ(string_get_text(s.get()), "abcabc");
    EXPECT_GT(string_prepend(s.get(), s->text + 4), 0);
    EXPECT_STREQ(string_get_text(s.get()), "bcabcabc");
}

TEST(UbString, AppendLenTakesBytesNotTerminatedText)
{
    StringPtr s(string_new("["));
    const char bytes[] = {'x', 'y', 'z'};
    string_append_len(s.get(), bytes, 2);
    EXPECT_STREQ(string_get_text(s.get()), "[xy");
    EXPECT_EQ(string_resize_len(s.get(), static_cast<size_t>(INT32_MAX)), UB_STRING_NOMEM);
    EXPECT_STREQ(string_get_text(s.get()), "[xy");

    // Room made in an empty record holds the empty text.
    StringPtr empty(string_new(nullptr));
    EXPECT_EQ(string_resize(empty.get(), "abc"), 3);
    EXPECT_EQ(empty->size, 6);
    EXPECT_STREQ(string_get_text(empty.get()), "");
}

TEST(UbString, SizesThatDoNotFitAreRefusedUnchanged)
{
    // A record near the 2 GiB capacity limit (its buffer is never touched):
    // twice its size plus the request would pass a 32-bit size_t.
    char small[16] = "";
    ub_string near_limit{INT32_MAX - 10, INT32_MAX - 11, small};
    EXPECT_EQ(string_resize_len(&near_limit, size_t{1} << 30), UB_STRING_NOMEM);
    EXPECT_EQ(near_limit.size, INT32_MAX - 10);
    EXPECT_EQ(near_limit.len, INT32_MAX - 11);
    EXPECT_EQ(near_limit.text, small);

    // A length running past the record's own buffer is refused before any
    // copy of it is made.
    StringPtr s(string_new("abc"));
    EXPECT_EQ(string_append_len(s.get(), s->text, SIZE_MAX), UB_STRING_NOMEM);
    EXPECT_EQ(string_append_len(s.get(), "x", static_cast<size_t>(INT32_MAX)), UB_STRING_NOMEM);
    EXPECT_STREQ(string_get_text(s.get()), "abc");
    EXPECT_EQ(s->size, 4);
}

} // namespace
