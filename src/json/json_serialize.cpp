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
constexpr bool needs_escape(unsigned char byte)
{
    return byte < 0x20 || byte == '"' || byte == '\\';
}

struct EscapeTable {
    bool escaped[256];
    constexpr EscapeTable() : escaped()
    {
        for (int byte = 0; byte < 256; ++byte)
            escaped[byte] = needs_escape(static_cast<unsigned char>(byte));
    }
};
constexpr EscapeTable escape_table;

// Appends to a growable string through a staging block, so that the many
// short pieces of a text form cost a few stores each; the string grows a
// block at a time. A failed growth is remembered and ends the writing.
class Output {
public:
    explicit Output(ub_string *out) : out_(out) {}
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    bool ok() const { return ok_; }

    void put(char byte)
    {
        if (used_ == sizeof block_)
            flush();
        block_[used_++] = byte;
    }

    void put(const char *text, size_t length)
    {
        if (length > sizeof block_ - used_) {
            flush();
            if (length >= sizeof block_) {
                ok_ = ok_ && string_append_len(out_, text, length) >= 0;
                return;
            }
        }
        std::memcpy(block_ + used_, text, length);
        used_ += length;
    }

    void put(const char *text) { put(text, std::strlen(text)); }

    // Writes what is staged to the string; false once anything failed.
    bool flush()
    {
        if (used_ > 0)
            ok_ = ok_ && string_append_len(out_, block_, used_) >= 0;
        used_ = 0;
        return ok_;
    }

private:
    ub_string *out_;
    size_t used_ = 0;
    bool ok_ = true;
    char block_[4096];
};

// Writes text escaped for any JSON reader; the number of escapes.
int32_t put_escaped(Output &out, const char *text)
{
    int32_t added = 0;
    for (;;) {
        // Runs of bytes that need no escape go out whole: everything from
        // 0x20 up but the double quote and the backslash, so bytes from
        // 0x80 up are written unchanged.
        const char *run = text;
        while (!escape_table.escaped[static_cast<unsigned char>(*text)])
            ++text;
        out.put(run, static_cast<size_t>(text - run));
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
        out.put(escaped, length);
        ++added;
        ++text;
    }
}

// A text between double quotes, escaped for any JSON reader.
void put_quoted(Output &out, const char *text)
{
    out.put('"');
    put_escaped(out, text);
    out.put('"');
}

// A DATETIME reads back as a STRING holding the local date and time; a
// time the platform cannot convert is written as null.
void put_datetime(Output &out, int32_t seconds)
{
    struct tm local {};
    if (platform_localtime(static_cast<time_t>(seconds), &local) != 0) {
        out.put("null", 4);
        return;
    }
    char text[64];
    int length =
        std::snprintf(text, sizeof text, "\"%04d-%02d-%02d %02d:%02d:%02d\"", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    out.put(text, static_cast<size_t>(length));
}

void put_pointer(Output &out, const void *pointer)
{
    char text[32];
    int length = std::snprintf(text, sizeof text, "%" PRIdPTR, reinterpret_cast<intptr_t>(pointer));
    out.put(text, static_cast<size_t>(length));
}

void put_value(Output &out, const json_value *value)
{
    switch (value->type) {
    case JSON_TYPE_INTEGER:
    case JSON_TYPE_NUMBER:
    case JSON_TYPE_BOOLEAN: out.put(value->payload.text); break;
    case JSON_TYPE_STRING: put_quoted(out, value->payload.text); break;
    case JSON_TYPE_ARRAY: {
        const json_container *array = json_as_container(value);
        out.put('[');
        for (int32_t i = 0; array->items != nullptr && i < array->count; ++i) {
            if (i > 0)
                out.put(',');
            put_value(out, static_cast<const json_value *>(array->items[i]));
        }
        out.put(']');
        break;
    }
    case JSON_TYPE_OBJECT: {
        const json_container *object = json_as_container(value);
        out.put('{');
        for (int32_t i = 0; object->items != nullptr && i < object->count; ++i) {
            auto *member = static_cast<const json_member *>(object->items[i]);
            if (i > 0)
                out.put(',');
            put_quoted(out, member->name);
            out.put(':');
            put_value(out, member->value);
        }
        out.put('}');
        break;
    }
    case JSON_TYPE_NULL: out.put("null", 4); break;
    case JSON_TYPE_POINTER: put_pointer(out, value->payload.pointer); break;
    case JSON_TYPE_DATETIME: put_datetime(out, value->payload.seconds); break;
    default: break;
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
    Output output(out);
    put_value(output, value);
    return output.flush() ? 0 : JSON_ERR_NOMEM;
}

int32_t json_serialize_scape(ub_string *out, const char *text) noexcept
{
    if (out == nullptr || text == nullptr)
        return 0;
    Output output(out);
    int32_t added = put_escaped(output, text);
    return output.flush() ? added : JSON_ERR_NOMEM;
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
    case JSON_TYPE_STRING: std::printf("%s\n", value->payload.text); break;
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
    case JSON_TYPE_NULL: std::printf("NULL\n"); break;
    case JSON_TYPE_POINTER:
        std::printf("%" PRIXPTR "\n", reinterpret_cast<uintptr_t>(value->payload.pointer));
        break;
    case JSON_TYPE_DATETIME: std::printf("%ld\n", static_cast<long>(value->payload.seconds)); break;
    default: break;
    }
}

int json_isert_tabs(int n) noexcept
{
    int written = 0;
    for (; written < n; ++written)
        std::fputc('\t', stdout);
    return written;
}
