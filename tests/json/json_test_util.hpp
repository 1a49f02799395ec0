// Small helpers shared by the JSON test files.
#ifndef TESTS_JSON_JSON_TEST_UTIL_HPP
#define TESTS_JSON_JSON_TEST_UTIL_HPP

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "json/json.h"

namespace json_test {

struct ValueDeleter {
    void operator()(json_value *value) const { json_value_free(value); }
};
using ValuePtr = std::unique_ptr<json_value, ValueDeleter>;

// The compact text form, or "<none>" when value is NULL.
inline std::string text_of(json_value *value)
{
    if (value == nullptr)
        return "<none>";
    char *text = json_serialize(value);
    std::string out = text;
    std::free(text);
    return out;
}

// The tree spelled out without the serializer: kind letters, texts with
// their lengths, members in order. A BOOLEAN spells as the INTEGER of its
// text, which is what its text form reads back as.
inline std::string describe(const json_value *value)
{
    if (value == nullptr)
        return "<none>";
    auto quoted = [](const char *text) { return std::to_string(std::strlen(text)) + ":" + text; };
    const auto *container = reinterpret_cast<const json_container *>(value);
    std::string out;
    switch (value->type) {
    case JSON_TYPE_ARRAY:
        out = "[";
        for (int32_t i = 0; i < container->count; ++i)
            out += describe(static_cast<const json_value *>(container->items[i])) + ",";
        return out + "]";
    case JSON_TYPE_OBJECT:
        out = "{";
        for (int32_t i = 0; i < container->count; ++i) {
            const auto *member = static_cast<const json_member *>(container->items[i]);
            out += quoted(member->name) + "=" + describe(member->value) + ",";
        }
        return out + "}";
    case JSON_TYPE_BOOLEAN: return "I" + quoted(value->payload.text);
    default:
        // One letter per type number: INTEGER, NUMBER, BOOLEAN, STRING, ...
        return "INBSAOLPDZ"[value->type] + quoted(value->payload.text);
    }
}

} // namespace json_test

#endif
