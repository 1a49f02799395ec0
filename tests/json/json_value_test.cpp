#include "json/json.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "json_test_util.hpp"

namespace {

using json_test::text_of;
using json_test::ValuePtr;

const json_container *as_container(const json_value *value)
{
    return reinterpret_cast<const json_container *>(value);
}

TEST(JsonValue, ConstructorsCopyTheirText)
{
    char text[] = "abc";
    ValuePtr s(json_string_new(text));
    text[0] = 'x';
    EXPECT_STREQ(json_get_string(s.get()), "abc");

    ValuePtr negative(json_integer_new(-7));
    EXPECT_EQ(json_get_type(negative.get()), JSON_TYPE_INTEGER);
    EXPECT_STREQ(json_get_string(negative.get()), "-7");
    ValuePtr number(json_number_new(1.5));
    EXPECT_STREQ(json_get_string(number.get()), "1.500000");
    // A text of 30 characters or more is cut to 29.
    ValuePtr huge(json_number_new(1e40));
    EXPECT_EQ(std::strlen(json_get_string(huge.get())), 29u);

    ValuePtr when(json_unixtime_new(1700000000));
    EXPECT_EQ(json_get_unixtime(when.get()), 1700000000);
    int32_t seconds = -5;
    ValuePtr also(json_value_new(JSON_TYPE_DATETIME, &seconds));
    EXPECT_EQ(json_get_unixtime(also.get()), -5);

    int target = 0;
    ValuePtr pointer(json_value_new(JSON_TYPE_POINTER, &target));
    EXPECT_EQ(pointer->payload.pointer, &target);

    ValuePtr array(json_array_new(3));
    EXPECT_EQ(json_value_new(JSON_TYPE_ARRAY, array.get()), array.get());
    // A container comes back as given, whatever its kind; nothing is read
    // through the pointer, so a short text is safe under the sanitizers.
    EXPECT_EQ(json_value_new(JSON_TYPE_OBJECT, array.get()), array.get());
    char *tiny = static_cast<char *>(std::malloc(1));
    EXPECT_EQ(json_value_new(JSON_TYPE_ARRAY, tiny), reinterpret_cast<json_value *>(tiny));
    std::free(tiny);
    EXPECT_EQ(json_value_new(10, "x"), nullptr);
    EXPECT_EQ(json_value_new(JSON_TYPE_STRING, nullptr), nullptr);
}

TEST(JsonValue, GettersByType)
{
    ValuePtr yes(json_value_new(JSON_TYPE_BOOLEAN, "1"));
    EXPECT_EQ(json_get_boolean(yes.get()), 1);
    EXPECT_EQ(json_get_int(yes.get()), 0);
    EXPECT_STREQ(json_get_string(yes.get()), "1");
    // Only "1" and "0" read back as booleans.
    ValuePtr word(json_value_new(JSON_TYPE_BOOLEAN, "true"));
    EXPECT_EQ(json_get_boolean(word.get()), 0);

    ValuePtr three(json_value_new(JSON_TYPE_INTEGER, "3"));
    EXPECT_EQ(json_get_double(three.get()), 0.0);
    EXPECT_EQ(json_get_int(three.get()), 3);
    ValuePtr decimal(json_value_new(JSON_TYPE_NUMBER, "2.75"));
    EXPECT_EQ(json_get_int(decimal.get()), 2);
    EXPECT_DOUBLE_EQ(json_get_double(decimal.get()), 2.75);
    ValuePtr digits(json_string_new("12abc"));
    EXPECT_EQ(json_get_int(digits.get()), 12);
    ValuePtr beyond(json_value_new(JSON_TYPE_INTEGER, "99999999999"));
    EXPECT_EQ(json_get_int(beyond.get()), INT32_MAX);

    ValuePtr null_value(json_value_new(JSON_TYPE_NULL, "null"));
    EXPECT_STREQ(json_get_string(null_value.get()), "");
    EXPECT_EQ(json_get_type(nullptr), JSON_TYPE_NULL);
    EXPECT_STREQ(json_get_string(nullptr), "");
    EXPECT_EQ(json_get_unixtime(nullptr), 0);
    EXPECT_EQ(json_get_unixtime(three.get()), 0);

    std::vector<std::string> names;
    for (unsigned int type = 0; type <= 10; ++type)
        names.push_back(json_type2txt(type));
    EXPECT_EQ(names, (std::vector<std::string>{"INTEGER", "NUMBER", "BOOLEAN", "STRING", "ARRAY",
                                               "OBJECT", "NULL", "POINTER", "DATETIME", "NULL",
                                               "### tipo invalido ###"}));
}

TEST(JsonValue, ContainersGrowFromOneByDoubling)
{
    ValuePtr array(json_array_new(0));
    EXPECT_EQ(as_container(array.get())->capacity, 1);
    std::vector<int32_t> capacities;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(json_array_add(array.get(), json_integer_new(i)), i + 1);
        capacities.push_back(as_container(array.get())->capacity);
    }
    // Growth happens before an add once count reaches half the capacity.
    EXPECT_EQ(capacities, (std::vector<int32_t>{2, 4, 8, 8, 16}));
    EXPECT_EQ(json_array_length(array.get()), 5);

    ValuePtr object(json_object_new(-5));
    EXPECT_EQ(as_container(object.get())->capacity, 1);
    json_object_add(object.get(), "a", json_integer_new(1));
    EXPECT_EQ(as_container(object.get())->capacity, 2);
}

TEST(JsonValue, ReusedContainersKeepTheirCapacity)
{
    // Emptied by the inner release and filled again, over and over: the
    // capacity stays what one cycle gives (1 grows to 2 once, 8 needs none).
    const struct {
        int32_t initial;
        int32_t steady;
    } cases[] = {{1, 2}, {8, 8}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.initial);
        ValuePtr array(json_array_new(c.initial));
        ValuePtr object(json_object_new(c.initial));
        for (int cycle = 0; cycle < 1000; ++cycle) {
            ASSERT_EQ(json_array_add(array.get(), json_integer_new(cycle)), 1);
            ASSERT_EQ(json_object_add(object.get(), "k", json_integer_new(cycle)), 1);
            json_array_free(array.get());
            json_object_free(object.get());
        }
        EXPECT_EQ(as_container(array.get())->capacity, c.steady);
        EXPECT_EQ(as_container(object.get())->capacity, c.steady);
    }
}

TEST(JsonValue, TextsAndNamesAreHeapCopiesOfTheirOwn)
{
    json_value *parsed = json_parse_mem("{\"name\": \"parsed\", \"n\": 12}");
    ASSERT_NE(parsed, nullptr);
    json_value *made = json_string_new("made");
    json_value *built = json_object_new(1);
    json_object_add(built, "old", json_integer_new(1));

    // Replacing a text or a name: free the old one, put a malloc'd one in place.
    for (json_value *value : {made, json_object_find(parsed, "n")}) {
        std::free(value->payload.text);
        value->payload.text = strdup("7");
    }
    for (json_value *object : {built, parsed}) {
        auto *member = static_cast<json_member *>(as_container(object)->items[0]);
        std::free(member->name);
        member->name = strdup("renamed");
    }
    EXPECT_EQ(text_of(made), "\"7\"");
    EXPECT_EQ(text_of(built), "{\"renamed\":1}");
    EXPECT_EQ(text_of(parsed), "{\"renamed\":\"parsed\",\"n\":7}");

    // Taking a text out: it outlives the value it came from.
    char *taken[2] = {made->payload.text, json_object_find(parsed, "renamed")->payload.text};
    made->payload.text = nullptr;
    json_object_find(parsed, "renamed")->payload.text = nullptr;
    json_value_free(made);
    json_value_free(parsed);
    json_value_free(built);
    EXPECT_STREQ(taken[0], "7");
    EXPECT_STREQ(taken[1], "parsed");
    std::free(taken[0]);
    std::free(taken[1]);
}

TEST(JsonValue, ArrayRemoveAndIndex)
{
    ValuePtr array(json_array_new(2));
    for (int i = 1; i <= 3; ++i)
        json_array_add(array.get(), json_integer_new(i));
    EXPECT_EQ(json_array_remove(array.get(), 3), nullptr);
    EXPECT_EQ(json_array_remove(array.get(), -1), nullptr);
    ValuePtr first(json_array_remove(array.get(), 0));
    EXPECT_STREQ(json_get_string(first.get()), "1");
    EXPECT_EQ(text_of(array.get()), "[2,3]");
    EXPECT_STREQ(json_get_string(json_array_index(array.get(), 1)), "3");
    EXPECT_EQ(json_array_index(array.get(), 2), nullptr);

    ValuePtr object(json_object_new(1));
    ValuePtr loose(json_integer_new(9));
    EXPECT_EQ(json_array_add(object.get(), loose.get()), JSON_ERR_NULL);
    EXPECT_EQ(json_array_add(nullptr, loose.get()), JSON_ERR_NULL);
    EXPECT_EQ(json_array_add(array.get(), nullptr), JSON_ERR_NULL);
    EXPECT_EQ(json_array_remove(object.get(), 0), nullptr);
    EXPECT_EQ(json_array_index(nullptr, 0), nullptr);
}

TEST(JsonValue, ObjectReplacesInPlace)
{
    ValuePtr object(json_object_new(2));
    EXPECT_EQ(json_object_add(object.get(), "x", json_integer_new(1)), 1);
    EXPECT_EQ(json_object_add(object.get(), "y", json_integer_new(2)), 2);
    // The first value of x is released (the sanitizer build would see a leak).
    EXPECT_EQ(json_object_add(object.get(), "x", json_string_new("again")), 2);
    EXPECT_EQ(text_of(object.get()), "{\"x\":\"again\",\"y\":2}");
    EXPECT_EQ(json_object_length(object.get()), 2);

    // Setting a member to the value it holds keeps the value alive.
    json_value *held = json_object_find(object.get(), "y");
    EXPECT_EQ(json_object_add(object.get(), "y", held), 2);
    EXPECT_STREQ(json_get_string(json_object_find(object.get(), "y")), "2");

    EXPECT_EQ(json_object_get_int(object.get(), "y"), 2);
    EXPECT_STREQ(json_object_get_string(object.get(), "missing"), "");
    EXPECT_EQ(json_object_get_int(object.get(), "missing"), 0);
    EXPECT_EQ(json_object_find(object.get(), nullptr), nullptr);
    EXPECT_STREQ(json_object_get_string(nullptr, "x"), "");

    ValuePtr array(json_array_new(1));
    ValuePtr loose(json_integer_new(1));
    EXPECT_EQ(json_object_add(array.get(), "a", loose.get()), JSON_ERR_NULL);
    EXPECT_EQ(json_object_add(object.get(), nullptr, loose.get()), JSON_ERR_NULL);
}

TEST(JsonValue, ObjectRemoveCodes)
{
    ValuePtr object(json_object_new(2));
    for (const char *name : {"a", "b", "c"})
        json_object_add(object.get(), name, json_string_new(name));
    EXPECT_EQ(json_object_remove(object.get(), "b"), 1);
    EXPECT_EQ(json_object_remove(object.get(), "b"), 0);
    EXPECT_EQ(text_of(object.get()), "{\"a\":\"a\",\"c\":\"c\"}");
    EXPECT_EQ(json_object_remove(nullptr, "a"), JSON_ERR_NULL);
    ValuePtr array(json_array_new(1));
    EXPECT_EQ(json_object_remove(array.get(), "a"), JSON_ERR_TYPE);
}

int stop_on_second(const char *, json_value *, void *user)
{
    return ++*static_cast<int *>(user) == 2;
}

int count_elements(json_value *, void *user)
{
    ++*static_cast<int *>(user);
    return 0;
}

// Drops the last element of the array given as the user value.
int drop_last(json_value *, void *user)
{
    auto *array = static_cast<json_value *>(user);
    json_value_free(json_array_remove(array, json_array_length(array) - 1));
    return 0;
}

TEST(JsonValue, IteratorsAndTheirCodes)
{
    ValuePtr object(json_object_new(2));
    for (const char *name : {"a", "b", "c"})
        json_object_add(object.get(), name, json_integer_new(1));
    int calls = 0;
    EXPECT_EQ(json_object_iter(object.get(), stop_on_second, &calls), 1);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(json_object_iter(object.get(), nullptr, &calls), JSON_ERR_NULL);

    ValuePtr array(json_array_new(2));
    for (int i = 0; i < 4; ++i)
        json_array_add(array.get(), json_integer_new(i));
    calls = 0;
    EXPECT_EQ(json_array_iter(array.get(), count_elements, &calls), 4);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(json_array_iter(object.get(), count_elements, &calls), JSON_ERR_TYPE);
    // A walk that no call stopped reports the count the calls left: five
    // elements, three calls, two left.
    json_array_add(array.get(), json_integer_new(4));
    EXPECT_EQ(json_array_iter(array.get(), drop_last, array.get()), 2);
    EXPECT_EQ(json_array_length(array.get()), 2);
    EXPECT_EQ(json_object_iter(array.get(), stop_on_second, &calls), JSON_ERR_TYPE);

    // The inner release leaves an empty container that can be freed again.
    json_object_free(object.get());
    EXPECT_EQ(json_object_length(object.get()), 0);
    EXPECT_EQ(json_object_iter(object.get(), stop_on_second, &calls), 0);
    json_array_free(array.get());
    EXPECT_EQ(json_array_iter(array.get(), count_elements, &calls), 0);
}

TEST(JsonValue, ParameterLists)
{
    char *pairs[] = {const_cast<char *>("a"),
                     const_cast<char *>("1"),
                     const_cast<char *>("b"),
                     const_cast<char *>("2"),
                     const_cast<char *>("a"),
                     const_cast<char *>("3"),
                     nullptr};
    ValuePtr object(json_object_new_list(pairs));
    EXPECT_EQ(text_of(object.get()), "{\"a\":\"3\",\"b\":\"2\"}");
    EXPECT_EQ(json_object_new_list(nullptr), nullptr);

    char *more[] = {const_cast<char *>("c"), const_cast<char *>("4"), nullptr};
    EXPECT_EQ(json_object_add_list(object.get(), more), 1);
    EXPECT_EQ(json_object_add_list(nullptr, more), JSON_ERR_NULL);

    EXPECT_STREQ(json_get_list_param(pairs, "b"), "2");
    EXPECT_STREQ(json_get_list_param(pairs, "z"), "");
    EXPECT_EQ(json_get_list_param(nullptr, "b"), nullptr);
    EXPECT_EQ(json_get_list_param(pairs, nullptr), nullptr);
}

TEST(JsonValue, MakeListParamFillsDefaultsFromTheTree)
{
    ValuePtr object(json_object_new(2));
    json_object_add(object.get(), "port", json_string_new("443"));
    json_object_add(object.get(), "nested", json_array_new(1));
    char *table[] = {const_cast<char *>("port"),
                     const_cast<char *>("80"),
                     const_cast<char *>("host"),
                     const_cast<char *>("localhost"),
                     const_cast<char *>("nested"),
                     const_cast<char *>("x"),
                     nullptr};
    EXPECT_EQ(json_make_list_param(object.get(), table), 3);
    EXPECT_EQ(table[1], json_object_get_string(object.get(), "port"));
    EXPECT_STREQ(table[3], "localhost");
    EXPECT_STREQ(table[5], "");

    // A key without a value slot ends the list: nothing is written past it.
    char *odd[] = {const_cast<char *>("port"), nullptr};
    EXPECT_EQ(json_make_list_param(object.get(), odd), 0);
    EXPECT_EQ(odd[1], nullptr);

    ValuePtr array(json_array_new(1));
    EXPECT_EQ(json_make_list_param(array.get(), table), JSON_ERR_TYPE);
    EXPECT_EQ(json_make_list_param(nullptr, table), JSON_ERR_NULL);
}

} // namespace

// The sanitizer and leak runs check that every entry of a large container
// is released once.
TEST(JsonValue, LargeContainersReleaseEveryEntry)
{
    json_value *array = json_array_new(0);
    json_value *object = json_object_new(0);
    for (int32_t i = 0; i < 5000; ++i) {
        std::string name = "k" + std::to_string(i);
        ASSERT_EQ(json_array_add(array, json_integer_new(i)), i + 1);
        ASSERT_EQ(json_object_add(object, name.c_str(), json_string_new(name.c_str())), i + 1);
    }
    ASSERT_EQ(json_array_add(array, object), 5001);
    EXPECT_STREQ(json_object_get_string(json_array_index(array, 5000), "k4999"), "k4999");
    json_array_free(array);
    EXPECT_EQ(json_array_length(array), 0);
    json_value_free(array);
}

// Records are shared between threads: a tree built on one thread is released
// on another, threads end while their records live on, and later trees,
// built from the records given back, come out whole.
TEST(JsonValue, TreesCrossThreadsAndRecordsComeBack)
{
    const char *document = "{\"a\":[1,2.5,\"x\",null,{\"b\":true}],\"c\":{\"d\":[[],{}]}}";
    json_value *first = json_parse_mem(document);
    char *expected = json_serialize(first);
    json_value_free(first);
    ASSERT_NE(expected, nullptr);
    for (int round = 0; round < 20; ++round) {
        std::vector<json_value *> trees(2000);
        std::thread builder([&] {
            for (auto &tree : trees)
                tree = json_parse_mem(document);
        });
        builder.join();
        std::thread releaser([&] {
            for (json_value *tree : trees) {
                char *text = json_serialize(tree);
                ASSERT_NE(text, nullptr);
                EXPECT_STREQ(text, expected);
                std::free(text);
                json_value_free(tree);
            }
        });
        releaser.join();
        json_value *again = json_parse_mem(document);
        char *text = json_serialize(again);
        EXPECT_STREQ(text, expected);
        std::free(text);
        json_value_free(again);
    }
    std::free(expected);
}
