#include "json/json.h"

#include <cstdio>
#include <random>
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

// Texts and names are written so that any JSON reader reads their bytes
// back; the tree is left as it was.
TEST(JsonSerialize, EscapesForStrictReaders)
{
    struct Row {
        const char *stored;
        const char *written; // between the quotes
    };
    const Row rows[] = {
        {"a\"b", "a\\\"b"},
        {"back\\n", "back\\\\n"},
        {"\n\t\r\b\f", "\\n\\t\\r\\b\\f"},
        {"\x01\x1f \x7f", "\\u0001\\u001f \x7f"},
        {"\xc3\xa9\xff/'", "\xc3\xa9\xff/'"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.stored);
        const std::string quoted = std::string("\"") + row.written + "\"";
        ValuePtr value(json_string_new(row.stored));
        EXPECT_EQ(text_of(value.get()), quoted);
        ValuePtr object(json_object_new(1));
        json_object_add(object.get(), row.stored, json_integer_new(1));
        EXPECT_EQ(text_of(object.get()), "{" + quoted + ":1}");
        EXPECT_NE(json_object_find(object.get(), row.stored), nullptr);
    }
    ub_string *out = string_new("");
    EXPECT_EQ(json_serialize_scape(out, "\\\"x\n\x02"), 4);
    EXPECT_STREQ(string_get_text(out), "\\\\\\\"x\\n\\u0002");
    string_free(out);

    // The name adjustment is still there for callers who want it.
    char name[] = "a\"b\"";
    adjust_string(name);
    EXPECT_STREQ(name, "a b ");
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

// Random trees of every kind the text form carries: texts and names of any
// bytes but zero, standard numbers, parsed-style booleans, empty and
// nested containers.
class TreeMaker {
public:
    json_value *tree(int depth)
    {
        int kind = pick(depth > 0 ? 8 : 6);
        if (kind < 6)
            return scalar(kind);
        int32_t count = pick(5);
        json_value *container = kind == 6 ? json_array_new(count) : json_object_new(count);
        for (int32_t i = 0; i < count; ++i) {
            if (kind == 6)
                json_array_add(container, tree(depth - 1));
            else
                json_object_add(container, text().c_str(), tree(depth - 1));
        }
        return container;
    }

private:
    int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

    std::string digits(int most)
    {
        std::string out(1, static_cast<char>('1' + pick(9)));
        for (int n = pick(most); n > 0; --n)
            out += static_cast<char>('0' + pick(10));
        return out;
    }

    std::string text()
    {
        static const char special[] = "\"\\/\n\r\t\b\f\x01\x1f\x7f\x80\xc3\xa9\xff u'{}";
        std::string out;
        for (int n = pick(12); n > 0; --n)
            out +=
                pick(2) != 0 ? special[pick(sizeof special - 1)] : static_cast<char>(1 + pick(255));
        return out;
    }

    json_value *scalar(int kind)
    {
        switch (kind) {
        case 0:
            return json_value_new(JSON_TYPE_INTEGER, ((pick(2) ? "-" : "") + digits(12)).c_str());
        case 1: {
            // A fraction, an exponent or both: a NUMBER has one.
            std::string number = (pick(2) ? "-" : "") + (pick(3) ? digits(3) : "0");
            int parts = 1 + pick(3);
            if (parts & 1)
                number += "." + digits(4);
            if (parts & 2)
                number += std::string(pick(2) ? "e" : "E") + "+-"[pick(2)] + digits(2);
            return json_value_new(JSON_TYPE_NUMBER, number.c_str());
        }
        case 2: return json_value_new(JSON_TYPE_BOOLEAN, pick(2) ? "1" : "0");
        case 3: return json_value_new(JSON_TYPE_NULL, "null");
        default: return json_string_new(text().c_str());
        }
    }

    std::mt19937 random_{20240601};
};

class JsonRoundTrip : public testing_support::TempDirTest {};

TEST_F(JsonRoundTrip, GeneratedTreesReadBackAndPassAStrictReader)
{
    TreeMaker maker;
    std::string texts;
    for (int i = 0; i < 400; ++i) {
        ValuePtr tree(maker.tree(i % 5));
        std::string text = text_of(tree.get());
        SCOPED_TRACE(text);
        ValuePtr back(json_parse_mem(text.c_str()));
        // A BOOLEAN comes back as the INTEGER of its text.
        EXPECT_EQ(json_test::describe(back.get()), json_test::describe(tree.get()));
        EXPECT_EQ(text.find('\n'), std::string::npos);
        texts += text + "\n";
    }
#if defined(VESK_PYTHON)
    testing_support::write_file("texts", texts);
    testing_support::ChildResult python =
        testing_support::run_child(VESK_PYTHON, {VESK_STRICT_READER, "texts"}, dir());
    EXPECT_EQ(python.status, 0) << python.err_text;
#endif
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
