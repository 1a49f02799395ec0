// The compact serializer and the indented debug listing.
#include "json/json.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "json/detail/json_internal.hpp"
#include "platform/platform.h"

namespace {

using ub::detail::json_as_container;

// Bytes a JSON text cannot hold as they are: the double quote, the
// backslash and the controls below 0x20 (the terminating zero among them,
// which ends every run).
bool needs_escape(unsigned char byte)
{
    return byte < 0x20 || byte == '"' || byte == '\\';
}

bool append(ub_string *out, const char *text, size_t length)
{
    return string_append_len(out, text, length) >= 0;
}

bool append(ub_string *out, const char *text)
{
    return append(out, text, std::strlen(text));
}

// A DATETIME reads back as a STRING holding the local date and time; a
// time the platform cannot convert is written as null.
bool append_datetime(ub_string *out, int32_t seconds)
{
    struct tm local {};
    if (platform_localtime(static_cast<time_t>(seconds), &local) != 0)
        return append(out, "null");
    char text[64];
    int length = std::snprintf(text, sizeof text, "\"%04d-%02d-%02d %02d:%02d:%02d\"",
                               local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                               local.tm_hour, local.tm_min, local.tm_sec);
    return append(out, text, static_cast<size_t>(length));
}

bool append_pointer(ub_string *out, const void *pointer)
{
    char text[32];
    int length = std::snprintf(text, sizeof text, "%" PRIdPTR, reinterpret_cast<intptr_t>(pointer));
    return append(out, text, static_cast<size_t>(length));
}

// A text between double quotes, escaped for any JSON reader.
bool append_quoted(ub_string *out, const char *text)
{
    return append(out, "\"", 1) && json_serialize_scape(out, text) >= 0 && append(out, "\"", 1);
}

bool serialize_value(json_value *value, ub_string *out);

bool serialize_array(json_container *array, ub_string *out)
{
    if (!append(out, "[", 1))
        return false;
    for (int32_t i = 0; i < array->count; ++i) {
        if (i > 0 && !append(out, ",", 1))
            return false;
        if (!serialize_value(static_cast<json_value *>(array->items[i]), out))
            return false;
    }
    return append(out, "]", 1);
}

bool serialize_object(json_container *object, ub_string *out)
{
    if (!append(out, "{", 1))
        return false;
    for (int32_t i = 0; i < object->count; ++i) {
        auto *member = static_cast<json_member *>(object->items[i]);
        if (i > 0 && !append(out, ",", 1))
            return false;
        if (!append_quoted(out, member->name) || !append(out, ":", 1))
            return false;
        if (!serialize_value(member->value, out))
            return false;
    }
    return append(out, "}", 1);
}

bool serialize_value(json_value *value, ub_string *out)
{
    switch (value->type) {
    case JSON_TYPE_INTEGER:
    case JSON_TYPE_NUMBER:
    case JSON_TYPE_BOOLEAN:
        return append(out, value->payload.text);
    case JSON_TYPE_STRING:
        return append_quoted(out, value->payload.text);
    case JSON_TYPE_ARRAY:
        return value->payload.items == nullptr ? append(out, "[]", 2)
                                               : serialize_array(json_as_container(value), out);
    case JSON_TYPE_OBJECT:
        return value->payload.items == nullptr ? append(out, "{}", 2)
                                               : serialize_object(json_as_container(value), out);
    case JSON_TYPE_NULL:
        return append(out, "null", 4);
    case JSON_TYPE_POINTER:
        return append_pointer(out, value->payload.pointer);
    case JSON_TYPE_DATETIME:
        return append_datetime(out, value->payload.seconds);
    default:
        return true;
    }
}

// The text form in a new growable string; NULL when memory runs out.
ub_string *serialize_to_string(json_value *value)
{
    ub_string *out = string_new("");
    if (out == nullptr)
        return nullptr;
    if (json_serialize_in(value, out) != 0) {
        string_free(out);
        return nullptr;
    }
    return out;
}

} // namespace

char *json_serialize(json_value *value) noexcept
{
    if (value == nullptr)
        return strdup("null");
    ub_string *out = serialize_to_string(value);
    if (out == nullptr)
        return nullptr;
    // The buffer came from malloc: it goes to the caller without a copy.
    char *text = out->text;
    out->text = nullptr;
    string_free(out);
    return text;
}

int json_serialize_file(json_value *value, const char *path) noexcept
{
    if (path == nullptr)
        return -1;
    FILE *file = std::fopen(path, "w");
    if (file == nullptr)
        return -1;
    int written;
    if (value == nullptr) {
        written = std::fprintf(file, "%s", "null");
    } else {
        ub_string *out = serialize_to_string(value);
        written = out == nullptr ? JSON_ERR_NOMEM : std::fprintf(file, "%s", out->text);
        string_free(out);
    }
    if (std::fclose(file) != 0 && written >= 0)
        written = -1;
    return written;
}

int json_serialize_in(json_value *value, ub_string *out) noexcept
{
    if (value == nullptr || out == nullptr)
        return 0;
    return serialize_value(value, out) ? 0 : JSON_ERR_NOMEM;
}

int32_t json_serialize_scape(ub_string *out, const char *text) noexcept
{
    if (out == nullptr || text == nullptr)
        return 0;
    int32_t added = 0;
    // Runs of bytes that need no escape are appended whole: everything from
    // 0x20 up but the double quote and the backslash, so bytes from 0x80
    // up are written unchanged.
    for (;;) {
        const char *run = text;
        while (!needs_escape(static_cast<unsigned char>(*text)))
            ++text;
        if (text > run && !append(out, run, static_cast<size_t>(text - run)))
            return JSON_ERR_NOMEM;
        if (*text == '\0')
            return added;
        char escaped[6] = {'\\', *text};
        size_t length = 2;
        switch (*text) {
        case '\n': escaped[1] = 'n'; break;
        case '\t': escaped[1] = 't'; break;
        case '\r': escaped[1] = 'r'; break;
        case '\b': escaped[1] = 'b'; break;
        case '\f': escaped[1] = 'f'; break;
        case '"':
        case '\\': break;
        default: {
            static const char hex[] = "0123456789abcdef";
            auto byte = static_cast<unsigned char>(*text);
            escaped[1] = 'u';
            escaped[2] = '0';
            escaped[3] = '0';
            escaped[4] = hex[byte >> 4];
            escaped[5] = hex[byte & 0xF];
            length = 6;
        }
        }
        if (!append(out, escaped, length))
            return JSON_ERR_NOMEM;
        ++added;
        ++text;
    }
}

void adjust_string(char *text) noexcept
{
    if (text == nullptr)
        return;
    for (; (text = std::strchr(text, '"')) != nullptr; ++text)
        *text = ' ';
}

void json_show_value(const json_value *value) noexcept
{
    json_show_value_in(value, 0);
}

void json_show_value_in(const json_value *value, int depth) noexcept
{
    if (value == nullptr)
        return;
    json_isert_tabs(depth);
    std::printf("%s: ", json_type2txt(static_cast<unsigned int>(value->type)));
    switch (value->type) {
    case JSON_TYPE_INTEGER:
    case JSON_TYPE_NUMBER:
    case JSON_TYPE_BOOLEAN:
    case JSON_TYPE_STRING:
        std::printf("%s\n", value->payload.text);
        break;
    case JSON_TYPE_ARRAY: {
        std::printf("\n");
        const json_container *array = json_as_container(value);
        for (int32_t i = 0; array->items != nullptr && i < array->count; ++i)
            json_show_value_in(static_cast<const json_value *>(array->items[i]), depth + 1);
        break;
    }
    case JSON_TYPE_OBJECT: {
        std::printf("\n");
        const json_container *object = json_as_container(value);
        for (int32_t i = 0; object->items != nullptr && i < object->count; ++i) {
            auto *member = static_cast<const json_member *>(object->items[i]);
            json_isert_tabs(depth + 1);
            std::printf("KEY: %s\n", member->name);
            json_show_value_in(member->value, depth + 2);
        }
        break;
    }
    case JSON_TYPE_NULL:
        std::printf("NULL\n");
        break;
    case JSON_TYPE_POINTER:
        std::printf("%" PRIXPTR "\n", reinterpret_cast<uintptr_t>(value->payload.pointer));
        break;
    case JSON_TYPE_DATETIME:
        std::printf("%ld\n", static_cast<long>(value->payload.seconds));
        break;
    default:
        break;
    }
}

int json_isert_tabs(int n) noexcept
{
    int written = 0;
    for (; written < n; ++written)
        std::fputc('\t', stdout);
    return written;
}
