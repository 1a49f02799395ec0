#include "json/json.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "json_test_util.hpp"
#include "test_support.h"

namespace {

using json_test::text_of;
using json_test::ValuePtr;

std::string listing(const json_value *value, int depth = 0)
{
    testing::internal::CaptureStdout();
    json_show_value_in(value, depth);
    return testing::internal::GetCapturedStdout();
}

TEST(JsonSerialize, WorkedExample)
{
    ValuePtr object(json_object_new(2));
    json_value *y = json_array_new(2);
    json_array_add(y, json_string_new("a"));
    json_array_add(y, json_value_new(JSON_TYPE_NULL, "anything"));
    json_object_add(object.get(), "x", json_integer_new(5));
    json_object_add(object.get(), "y", y);
    EXPECT_EQ(text_of(object.get()), "{\"x\":5,\"y\":[\"a\",null]}");

    ValuePtr empty_array(json_array_new(0));
    ValuePtr empty_object(json_object_new(0));
    EXPECT_EQ(text_of(empty_array.get()), "[]");
    EXPECT_EQ(text_of(empty_object.get()), "{}");
    char *null_text = json_serialize(nullptr);
    EXPECT_STREQ(null_text, "null");
    std::free(null_text);
}

TEST(JsonSerialize, EscapesOnlyQuoteAndBackslash)
{
    struct Row {
        const char *stored;
        const char *written;
    };
    const Row rows[] = {
        {"a\"b", "\"a\\\"b\""},
        {"line\nbreak", "\"line\nbreak\""},
        {"back\\n", "\"back\\\\n\""},
        {"\xff\x01\t", "\"\xff\x01\t\""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.stored);
        ValuePtr value(json_string_new(row.stored));
        EXPECT_EQ(text_of(value.get()), row.written);
    }
    ub_string *out = string_new("");
    EXPECT_EQ(json_serialize_scape(out, "\\\"x\\"), 3);
    EXPECT_STREQ(string_get_text(out), "\\\\\\\"x\\\\");
    string_free(out);
}

TEST(JsonSerialize, MemberNamesAreAdjustedNotEscaped)
{
    ValuePtr object(json_object_new(2));
    json_object_add(object.get(), "a\"b", json_integer_new(1));
    json_object_add(object.get(), "c\\b", json_integer_new(2));
    EXPECT_EQ(text_of(object.get()), "{\"a b\":1,\"c\\b\":2}");
    // The stored name keeps the space.
    EXPECT_NE(json_object_find(object.get(), "a b"), nullptr);
    EXPECT_EQ(json_object_find(object.get(), "a\"b"), nullptr);
}

TEST(JsonSerialize, ScalarsAsStored)
{
    testing_support::ScopedTimeZone utc("UTC");
    ValuePtr array(json_array_new(4));
    json_array_add(array.get(), json_value_new(JSON_TYPE_BOOLEAN, "1"));
    json_array_add(array.get(), json_value_new(JSON_TYPE_BOOLEAN, "true"));
    json_array_add(array.get(), json_number_new(2));
    json_array_add(array.get(), json_value_new(JSON_TYPE_NUMBER, ".5"));
    json_array_add(array.get(), json_value_new(JSON_TYPE_POINTER, reinterpret_cast<void *>(255)));
    json_array_add(array.get(), json_unixtime_new(0));
    json_array_add(array.get(), json_unixtime_new(-86400));
#if defined(_WIN32)
    // Windows' C runtime converts no time before 1970: that date is null.
    const char *before_1970 = "null";
#else
    const char *before_1970 = "\"1969-12-31 00:00:00\"";
#endif
    EXPECT_EQ(text_of(array.get()),
              std::string("[1,true,2.000000,.5,255,\"1970-01-01 00:00:00\",") + before_1970 + "]");

    // Type 9 writes nothing, which can leave a text the reader rejects.
    ValuePtr object(json_object_new(1));
    json_object_add(object.get(), "k", json_value_new(JSON_TYPE_NULL2, "x"));
    EXPECT_EQ(text_of(object.get()), "{\"k\":}");
}

TEST(JsonSerialize, LocalTimeFollowsTheZone)
{
    testing_support::ScopedTimeZone zone("BRT3");
    ValuePtr when(json_unixtime_new(0));
    EXPECT_EQ(text_of(when.get()), "\"1969-12-31 21:00:00\"");
}

class JsonSerializeFile : public testing_support::TempDirTest {};

TEST_F(JsonSerializeFile, WritesAndCounts)
{
    EXPECT_EQ(json_serialize_file(nullptr, "null.json"), 4);
    EXPECT_EQ(testing_support::read_file("null.json"), "null");

    ValuePtr array(json_array_new(2));
    json_array_add(array.get(), json_string_new("\xc3\xa9"));
    EXPECT_EQ(json_serialize_file(array.get(), "a.json"), 6);
    EXPECT_EQ(testing_support::read_file("a.json"), "[\"\xc3\xa9\"]");
    // Truncated when it exists.
    EXPECT_EQ(json_serialize_file(nullptr, "a.json"), 4);
    EXPECT_EQ(testing_support::read_file("a.json"), "null");

    EXPECT_EQ(json_serialize_file(array.get(), "missing-dir/a.json"), -1);
    EXPECT_EQ(json_serialize_file(array.get(), nullptr), -1);
}

TEST(JsonShow, ListsEveryType)
{
    ValuePtr pointer(json_value_new(JSON_TYPE_POINTER, reinterpret_cast<void *>(255)));
    EXPECT_EQ(listing(pointer.get()), "POINTER: FF\n");
    ValuePtr when(json_unixtime_new(0));
    EXPECT_EQ(listing(when.get()), "DATETIME: 0\n");
    ValuePtr s(json_string_new("s"));
    EXPECT_EQ(listing(s.get(), 2), "\t\tSTRING: s\n");
    ValuePtr null_value(json_value_new(JSON_TYPE_NULL, "null"));
    EXPECT_EQ(listing(null_value.get()), "NULL: NULL\n");
    ValuePtr nine(json_value_new(JSON_TYPE_NULL2, "x"));
    EXPECT_EQ(listing(nine.get(), 1), "\tNULL: ");
    EXPECT_EQ(listing(nullptr), "");

    testing::internal::CaptureStdout();
    EXPECT_EQ(json_isert_tabs(3), 3);
    EXPECT_EQ(json_isert_tabs(-2), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\t\t\t");
}

TEST(JsonShow, ParsedDocumentListing)
{
    ValuePtr tree(json_parse_mem("{'a':1,'b':[true,null]}"));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(listing(tree.get()), "OBJECT: \n"
                                   "\tKEY: a\n"
                                   "\t\tINTEGER: 1\n"
                                   "\tKEY: b\n"
                                   "\t\tARRAY: \n"
                                   "\t\t\tBOOLEAN: 1\n"
                                   "\t\t\tNULL: NULL\n");
}

} // namespace
