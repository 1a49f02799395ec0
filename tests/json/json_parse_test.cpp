#include "json/json.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "json_test_util.hpp"
#include "log/verbose.h"
#include "test_support.h"

namespace {

using json_test::text_of;
using json_test::ValuePtr;

struct Outcome {
    std::string tree; // compact text form, or "<none>"
    std::string err;  // what standard error received
};

Outcome parse_mem(const std::string &text)
{
    testing_support::StderrCapture capture;
    ValuePtr tree(json_parse_mem(text.c_str()));
    std::string err = capture.text();
    return {text_of(tree.get()), err};
}

// The same document read from a file; bytes may include zeros.
Outcome parse_file(const std::string &bytes)
{
    FILE *file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    testing_support::StderrCapture capture;
    ValuePtr tree(json_parse_file(file));
    std::string err = capture.text();
    std::fclose(file);
    return {text_of(tree.get()), err};
}

void expect_both(const std::string &input, const std::string &tree, const std::string &err)
{
    SCOPED_TRACE(input);
    Outcome from_memory = parse_mem(input);
    EXPECT_EQ(from_memory.tree, tree);
    EXPECT_EQ(from_memory.err, err);
    Outcome from_file = parse_file(input);
    EXPECT_EQ(from_file.tree, tree);
    EXPECT_EQ(from_file.err, err);
}

TEST(JsonParse, ErrorMessages)
{
    struct Row {
        const char *input;
        const char *message;
    };
    const Row rows[] = {
        {"", "1 - syntax error, unexpected $end\n"},
        {"  \n\t ", "2 - syntax error, unexpected $end\n"},
        {"{,}", "1 - syntax error, unexpected ',', expecting JSON_STRING\n"},
        {"{}}", "1 - syntax error, unexpected '}', expecting $end\n"},
        {"[{]", "1 - syntax error, unexpected ']', expecting JSON_STRING\n"},
        {"{1:2}", "1 - syntax error, unexpected JSON_INTEGER, expecting JSON_STRING\n"},
        {"{'a' 1}", "1 - syntax error, unexpected JSON_INTEGER, expecting ':'\n"},
        {"{'a':1", "1 - syntax error, unexpected $end, expecting '}' or ','\n"},
        {"{'a':1}}", "1 - syntax error, unexpected '}', expecting $end\n"},
        {"[1", "1 - syntax error, unexpected $end, expecting ',' or ']'\n"},
        {"[1,]", "1 - syntax error, unexpected ']'\n"},
        {"[1 x]", "1 - syntax error, unexpected $undefined, expecting ',' or ']'\n"},
        {"1 2", "1 - syntax error, unexpected JSON_INTEGER, expecting $end\n"},
        {"x", "1 - syntax error, unexpected $undefined\n"},
        {"[,]", "1 - syntax error, unexpected ']'\n"},
        {"[1,,2]", "1 - syntax error, unexpected ','\n"},
        {"{'a':1,}", "1 - syntax error, unexpected '}', expecting JSON_STRING\n"},
        {"{'a':}", "1 - syntax error, unexpected '}'\n"},
        {"True", "1 - syntax error, unexpected $undefined\n"},
        {"1 //c", "1 - syntax error, unexpected $undefined, expecting $end\n"},
        {"[1,\n2,\n x]", "3 - syntax error, unexpected $undefined\n"},
        {"{'a':[1,{'b':\n'c'}\n", "3 - syntax error, unexpected $end, expecting ',' or ']'\n"},
        {"{'k':1,'x':JSON_DATETIME}", "1 - syntax error, unexpected $undefined\n"},
    };
    for (const Row &row : rows)
        expect_both(row.input, "<none>", row.message);
}

// With a sink set, a syntax error's message reaches it and neither standard
// error nor the log; without one, standard error has it again.
class JsonParseSink : public testing_support::TempDirTest {};

TEST_F(JsonParseSink, SyntaxErrorGoesToTheSinkAlone)
{
    std::filesystem::create_directory("log");
    std::vector<std::string> got;
    {
        testing_support::StderrCapture err;
        verbose_set_sink(testing_support::record_diagnostic, &got);
        json_value *value = json_parse_mem("{,}");
        verbose_set_sink(nullptr, nullptr);
        EXPECT_EQ(value, nullptr);
        EXPECT_EQ(err.text(), "");
    }
    EXPECT_EQ(got, std::vector<std::string>{
                       "JSON 2 1 - syntax error, unexpected ',', expecting JSON_STRING\n"});
    EXPECT_TRUE(std::filesystem::is_empty("log"));
    EXPECT_EQ(parse_mem("{,}").err, "1 - syntax error, unexpected ',', expecting JSON_STRING\n");
    EXPECT_EQ(got.size(), 1u);
}

TEST(JsonParse, AcceptedDocuments)
{
    struct Row {
        const char *input;
        const char *tree;
    };
    const Row rows[] = {
        {"42", "42"},
        {"'x'", "\"x\""},
        {"-.5", "-.5"},
        {"undefined", "null"},
        {"{'a':1,'a':2}", "{\"a\":2}"},
        {"{'a':1,'b':2,'a':3}", "{\"a\":3,\"b\":2}"},
        {"{'a':true,'b':undefined}", "{\"a\":1,\"b\":null}"},
        {"[,1]", "[1]"},
        {"[]", "[]"},
        {"{'a':[]}", "{\"a\":[]}"},
        {"[[],[[]],{'k':[1,'2',3.0]}]", "[[],[[]],{\"k\":[1,\"2\",3.0]}]"},
        {"{\"q\":'\\u00e9\\n'}", "{\"q\":\"\xc3\xa9\\n\"}"},
        {"[1] \n // trailing note\n\n", "[1]"},
        {"|[1|2]|", "<none>"},
        {"['\xff']", "[\"\xff\"]"},
    };
    for (const Row &row : rows) {
        if (std::string(row.tree) == "<none>")
            continue;
        expect_both(row.input, row.tree, "");
    }
    // A vertical bar is a blank, so the two values lack their comma.
    EXPECT_EQ(parse_mem("|[1|2]|").err,
              "1 - syntax error, unexpected JSON_INTEGER, expecting ',' or ']'\n");
}

// What standard JSON writers produce reads as every other reader reads it.
TEST(JsonParse, ReadsStandardJson)
{
    struct Row {
        const char *input;
        const char *tree; // as json_test::describe spells it
    };
    const Row rows[] = {
        {"{}", "{}"},
        {"{ // nothing\n |\t}", "{}"},
        {"[{},{'a':{}}]", "[{},{1:a={},},]"},
        {"[1e5,-2.5E-3,1E+2,1.0E-5,0e0]", "[N3:1e5,N7:-2.5E-3,N4:1E+2,N6:1.0E-5,N3:0e0,]"},
        {"'\\r\\n\\b\\f'", "S4:\r\n\b\f"},
        {"'\\u20AC \\uD801\\uDC37 \\u00e9'", "S11:\xe2\x82\xac \xf0\x90\x90\xb7 \xc3\xa9"},
        {"'\\uDC37\\uD801'", "S6:\xef\xbf\xbd\xef\xbf\xbd"},
        {"{\"a\\\"b\\\\c\\u0001\":1}", "{6:a\"b\\c\x01=I1:1,}"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        testing_support::StderrCapture capture;
        ValuePtr tree(json_parse_mem(row.input));
        EXPECT_EQ(capture.text(), "");
        EXPECT_EQ(json_test::describe(tree.get()), row.tree);
    }
}

TEST(JsonParse, ParsedScalarsHoldTheirText)
{
    ValuePtr tree(json_parse_mem("{'a':true,'b':FALSE,'c':undefined,'d':007}"));
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(json_get_type(json_object_find(tree.get(), "a")), JSON_TYPE_BOOLEAN);
    EXPECT_STREQ(json_object_get_string(tree.get(), "a"), "1");
    EXPECT_STREQ(json_object_get_string(tree.get(), "b"), "0");
    json_value *c = json_object_find(tree.get(), "c");
    EXPECT_EQ(json_get_type(c), JSON_TYPE_NULL);
    EXPECT_STREQ(c->payload.text, "null");
    EXPECT_STREQ(json_object_get_string(tree.get(), "d"), "007");
}

TEST(JsonParse, NestingLimitOfTheValueStack)
{
    auto arrays = [](int depth, const std::string &inner) {
        return std::string(depth, '[') + inner + std::string(depth, ']');
    };
    const std::string too_deep = "1 - syntax error, nesting deeper than 128\n";
    expect_both(arrays(128, ""), arrays(128, ""), "");
    expect_both(arrays(127, "7"), arrays(127, "7"), "");
    expect_both(arrays(128, "7"), "<none>", too_deep);
    expect_both(arrays(129, ""), "<none>", too_deep);
    expect_both(arrays(5000, ""), "<none>", too_deep);

    // An object takes one entry and its pending member name one more.
    auto objects = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "{'k':";
        return text + "1" + std::string(depth, '}');
    };
    EXPECT_EQ(parse_mem(objects(63)).err, "");
    EXPECT_EQ(parse_mem(objects(64)).err, too_deep);
}

TEST(JsonParse, FailuresReleaseEverythingBuilt)
{
    // Each stops at a different point of the tree building; the sanitizer
    // and valgrind runs see any value left behind.
    for (const char *input : {"[1,[2,{'a':[3", "{'a':{'b':'c'", "{'a':{'b':[]}} 1", "'s' 2",
                              "[{'a':1},{'b':2},", "{'a':1,'b'"}) {
        SCOPED_TRACE(input);
        EXPECT_EQ(parse_mem(input).tree, "<none>");
    }
}

TEST(JsonParse, FileInputBytes)
{
    // A zero byte ends the input.
    EXPECT_EQ(parse_file(std::string("[1]\0[2", 6)).tree, "[1]");
    EXPECT_EQ(parse_file(std::string("'a\0b' ", 7)).tree, "\"a\"");
    EXPECT_EQ(parse_file(std::string("1 \0 x", 5)).tree, "1");

    Outcome high = parse_file("\xff");
    EXPECT_EQ(high.err, "1 - syntax error, unexpected $undefined\n");

    testing_support::StderrCapture capture;
    EXPECT_EQ(json_parse_file(nullptr), nullptr);
    EXPECT_EQ(json_parse_mem(nullptr), nullptr);
    EXPECT_EQ(capture.text(), "");
}

TEST(JsonParse, ContainersGetTheCapacityTheirGrowthGives)
{
    // Parsed containers start with capacity 2 and grow as adding to them
    // one by one does.
    for (int count : {0, 1, 2, 3, 5, 17, 33, 64, 65, 300}) {
        SCOPED_TRACE(count);
        std::string array = "[";
        std::string object = "{";
        ValuePtr built(json_array_new(2));
        for (int i = 0; i < count; ++i) {
            array += (i > 0 ? "," : "") + std::to_string(i);
            object += (i > 0 ? ",'k" : "'k") + std::to_string(i) + "':" + std::to_string(i);
            json_array_add(built.get(), json_integer_new(i));
        }
        for (const std::string &text : {array + "]", object + "}"}) {
            ValuePtr tree(json_parse_mem(text.c_str()));
            ASSERT_NE(tree, nullptr);
            auto *parsed = reinterpret_cast<json_container *>(tree.get());
            EXPECT_EQ(parsed->count, count);
            EXPECT_EQ(parsed->capacity, reinterpret_cast<json_container *>(built.get())->capacity);
        }
    }
}

TEST(JsonParse, LargeContainersAmongRepeatedNamesAndFailures)
{
    // Containers of 33 entries or more get their item arrays last; one may
    // be replaced by a repeated name, or the parse may fail after it.
    std::string big = "[";
    for (int i = 0; i < 40; ++i)
        big += (i > 0 ? "," : "") + std::to_string(i);
    big += "]";
    std::string wide = "{";
    for (int i = 0; i < 40; ++i)
        wide += (i > 0 ? ",'m" : "'m") + std::to_string(i) + "':" + big;
    wide += "}";
    const std::string document = "{'a':" + big + ",'b':[" + wide + "," + big + "],'a':{'c':" + big +
                                 "},'d':" + wide + ",'a':7,'b':" + big + "}";
    Outcome read = parse_mem(document);
    EXPECT_EQ(read.err, "");
    std::string expected_big = big;
    std::string expected_wide = wide;
    for (std::string *text : {&expected_big, &expected_wide}) {
        for (char &c : *text)
            c = c == '\'' ? '"' : c;
    }
    EXPECT_EQ(read.tree, "{\"a\":7,\"b\":" + expected_big + ",\"d\":" + expected_wide + "}");
    expect_both(document, read.tree, "");
    for (size_t cut : {document.size() - 1, document.size() / 2, big.size() + 10}) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(parse_mem(document.substr(0, cut)).tree, "<none>");
    }
    EXPECT_EQ(parse_mem(document + " x").tree, "<none>");
}

TEST(JsonParse, FileAndMemoryAgreeAcrossTheReadersBlocks)
{
    // A file's first block holds 16,383 bytes: each tail starts a few bytes
    // before its end, after lines of padding, and must read as the same
    // text in memory reads.
    const char *tails[] = {
        "'"
        "abcdefgh"
        "'",
        "-1234.5678e-9",
        "'x\\u00e9\\uD801\\uDC37y'",
        "true",
        "undefined",
        "'a\nb\nc'",
        "1 // note",
        "1 // note\n",
        "1 x",
        "'open",
        "{'k':[1,2]}",
        "{'k':}",
    };
    const size_t block = 16383;
    for (size_t before : {1, 2, 3, 5, 9, 14}) {
        std::string head;
        while (head.size() + 80 < block - before)
            head += std::string(78, ' ') + "\n";
        head += std::string(block - before - head.size(), ' ');
        for (const char *tail : tails) {
            const std::string text = "[" + head + tail + "]";
            SCOPED_TRACE(std::to_string(before) + ": " + tail);
            Outcome from_memory = parse_mem(text);
            Outcome from_file = parse_file(text);
            EXPECT_EQ(from_file.tree, from_memory.tree);
            EXPECT_EQ(from_file.err, from_memory.err);
        }
    }
    // A string longer than any block makes the buffer grow.
    const std::string longest = "['" + std::string(100000, 'y') + "\n\\n']";
    Outcome from_memory = parse_mem(longest);
    EXPECT_EQ(from_memory.tree.size(), 100008u);
    expect_both(longest, from_memory.tree, "");
}

TEST(JsonParse, FileReadsFromTheCurrentPosition)
{
    FILE *file = std::tmpfile();
    std::fputs("garbage{'a':[1,2]}", file);
    std::fseek(file, 7, SEEK_SET);
    ValuePtr tree(json_parse_file(file));
    EXPECT_EQ(text_of(tree.get()), "{\"a\":[1,2]}");
    std::fclose(file);
}

TEST(JsonClone, RoundTripsAndItsLosses)
{
    testing_support::ScopedTimeZone utc("UTC");
    ValuePtr original(json_parse_mem("{'s':'a\\\"b\\\\c','n':-1.25,'i':3,'a':[null,[]]}"));
    ASSERT_NE(original, nullptr);
    ValuePtr copy(json_clone(original.get()));
    EXPECT_EQ(text_of(copy.get()), text_of(original.get()));
    EXPECT_NE(copy.get(), original.get());

    ValuePtr lossy(json_object_new(4));
    json_object_add(lossy.get(), "b", json_value_new(JSON_TYPE_BOOLEAN, "1"));
    json_object_add(lossy.get(), "t", json_unixtime_new(0));
    json_object_add(lossy.get(), "p",
                    json_value_new(JSON_TYPE_POINTER, reinterpret_cast<void *>(255)));
    ValuePtr back(json_clone(lossy.get()));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(json_get_type(json_object_find(back.get(), "b")), JSON_TYPE_INTEGER);
    EXPECT_EQ(json_get_type(json_object_find(back.get(), "t")), JSON_TYPE_STRING);
    EXPECT_STREQ(json_object_get_string(back.get(), "t"), "1970-01-01 00:00:00");
    EXPECT_EQ(json_get_type(json_object_find(back.get(), "p")), JSON_TYPE_INTEGER);
    EXPECT_STREQ(json_object_get_string(back.get(), "p"), "255");

    // Empty objects and names that need escapes come back whole, and the
    // original keeps its names.
    json_value *holder = json_object_new(1);
    json_object_add(holder, "q\"\\\n", json_object_new(1));
    ValuePtr with_empty(holder);
    ValuePtr same(json_clone(with_empty.get()));
    ASSERT_NE(same, nullptr);
    EXPECT_NE(json_object_find(same.get(), "q\"\\\n"), nullptr);
    EXPECT_NE(json_object_find(with_empty.get(), "q\"\\\n"), nullptr);
    EXPECT_EQ(json_clone(nullptr), nullptr);
}

} // namespace
