// Small helpers shared by the JSON test files.
#ifndef TESTS_JSON_JSON_TEST_UTIL_HPP
#define TESTS_JSON_JSON_TEST_UTIL_HPP

#include <cstdlib>
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

} // namespace json_test

#endif
