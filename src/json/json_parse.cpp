// Byte sources, the scanner's input routine and string decoding, the
// value stack, and the parse entry points.
#include "json/json_parse.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "json/detail/json_internal.hpp"
#include "json/detail/json_parse_context.hpp"
// The generated parser header first: the scanner header needs its types.
#include "json/json.tab.h"
#include "json/json.lex.h"

namespace {

// Value of one hexadecimal digit as the decoder reads it: any byte is
// accepted, and only 0-9 and A-F (either case) give their usual value.
uint32_t hex_digit(char digit)
{
    auto upper = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(digit)));
    auto value = static_cast<unsigned char>(upper - 48);
    return value <= 9 ? value : static_cast<unsigned char>(upper - 55);
}

// The 16-bit unit of the escape \uXXXX at escape.
uint32_t escape_unit(const char *escape)
{
    uint32_t unit = 0;
    for (int i = 2; i < 6; ++i)
        unit = unit * 16 + hex_digit(escape[i]);
    return unit & 0xFFFFu;
}

// The character that a backslash followed by letter stands for.
char short_escape(char letter)
{
    switch (letter) {
    case 'n': return '\n';
    case 't': return '\t';
    case 'r': return '\r';
    case 'b': return '\b';
    case 'f': return '\f';
    default: return letter;
    }
}

// Writes the UTF-8 form of code_point (at most U+10FFFF) at out and returns
// the end. The C1 controls U+007F to U+009F are written as a blank.
char *put_utf8(char *out, uint32_t code_point)
{
    if (code_point < 0x7F) {
        *out++ = static_cast<char>(code_point);
    } else if (code_point <= 0x9F) {
        *out++ = ' ';
    } else if (code_point < 0x800) {
        *out++ = static_cast<char>(0xC0 | (code_point >> 6));
        *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (code_point >> 12));
        *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (code_point >> 18));
        *out++ = static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code_point & 0x3F));
    }
    return out;
}

// Releases what a failed parse built: the gathered entries of every open
// container, every tree still on the stack, or, with an empty stack, the
// completed value in result. Any other value is inside one of those trees
// or already released.
void release_partial(json_parse_context *context)
{
    int32_t end = context->entries_used;
    for (int32_t i = context->depth - 1; i >= 0; --i) {
        json_value *value = context->stack[i];
        if (ub::detail::json_is_container(value)) {
            int32_t start = context->entries_start[i];
            ub::detail::json_release_entries(value->type, context->entries + start, end - start);
            end = start;
        }
    }
    context->entries_used = 0;
    if (context->depth == 0)
        json_value_free(context->result);
    while (context->depth > 0)
        json_value_free(json_pop(context));
    context->result = nullptr;
}

// Frees the arrays of gathered entries and their tags.
void release_entry_arrays(json_parse_context *context)
{
    std::free(context->entries);
    std::free(context->entry_tags);
    context->entries = nullptr;
    context->entry_tags = nullptr;
}

// Room for one more gathered entry and its tag, the arrays doubling; false
// when memory runs out, the arrays then as they were.
bool reserve_entry(json_parse_context *context)
{
    if (context->entries_used < context->entries_capacity)
        return true;
    if (context->entries_capacity > INT32_MAX / 2)
        return false;
    auto capacity = static_cast<size_t>(std::max(context->entries_capacity * 2, 64));
    if (capacity > SIZE_MAX / sizeof(void *))
        return false;
    auto *entries = static_cast<void **>(std::realloc(context->entries, capacity * sizeof(void *)));
    if (entries == nullptr)
        return false;
    context->entries = entries;
    auto *tags =
        static_cast<uint32_t *>(std::realloc(context->entry_tags, capacity * sizeof(uint32_t)));
    if (tags == nullptr)
        return false;
    context->entry_tags = tags;
    context->entries_capacity = static_cast<int32_t>(capacity);
    return true;
}

// The tag of a member name: a hash of its length and its first, middle and
// last eight bytes, which settles almost every comparison of two names
// without reading them again; any of its bits may serve as a filter's.
uint32_t name_tag(const char *name)
{
    size_t length = std::strlen(name);
    auto word = [name](size_t at) {
        uint64_t value = 0;
        std::memcpy(&value, name + at, 8);
        return value;
    };
    uint64_t hash = length;
    if (length < 8) {
        uint64_t head = 0;
        std::memcpy(&head, name, length);
        hash += head * 0x9E3779B97F4A7C15u;
    } else {
        hash += word(0) * 0x9E3779B97F4A7C15u + word((length - 8) / 2) * 0xD6E8FEB86659FD93u +
                word(length - 8) * 0xC2B2AE3D27D4EB4Fu;
    }
    hash ^= hash >> 29;
    hash *= 0xBF58476D1CE4E5B9u;
    return static_cast<uint32_t>(hash >> 32);
}

json_value *run_parse(json_parse_context *context)
{
    if (lex_init(context, &context->scanner) != 0)
        return nullptr;
    int status = yyparse(context);
    yylex_destroy(context->scanner);
    context->scanner = nullptr;
    if (status != 0)
        release_partial(context);
    release_entry_arrays(context);
    return status == 0 ? context->result : nullptr;
}

} // namespace

size_t ub::detail::json_decode_text(const char *in, const char *end, char *out)
{
    // Decoding never lengthens the text (six escape bytes give at most
    // three, twelve at most four), so out never passes in. Up to the first
    // backslash or zero byte the bytes are only moved, and most strings
    // have neither.
    const char *start = out;
    auto length = static_cast<size_t>(end - in);
    const char *unchanged = static_cast<const char *>(std::memchr(in, '\\', length));
    if (unchanged == nullptr)
        unchanged = end;
    if (const void *zero = std::memchr(in, '\0', static_cast<size_t>(unchanged - in)))
        unchanged = static_cast<const char *>(zero);
    if (out != in)
        std::memcpy(out, in, static_cast<size_t>(unchanged - in));
    out += unchanged - in;
    in = unchanged;
    // A zero byte inside the token (file input) ends the text as an
    // escaped zero does.
    auto available = [&](size_t count) {
        if (static_cast<size_t>(end - in) < count)
            return false;
        return std::memchr(in, '\0', count) == nullptr;
    };
    while (in < end && *in != '\0') {
        if (*in != '\\') {
            *out++ = *in++;
            continue;
        }
        if (!available(2))
            break; // a backslash at the very end has nothing to escape
        char letter = in[1];
        if (letter != 'u' || !available(6)) {
            // A \u cut short by the end of the token is read like any
            // other escaped letter: the u stands for itself.
            *out++ = short_escape(letter);
            in += 2;
            continue;
        }
        uint32_t unit = escape_unit(in);
        in += 6;
        if (unit == 0)
            break;
        uint32_t code_point = unit;
        if (unit >= 0xD800 && unit <= 0xDFFF) {
            // A high surrogate takes the low one that follows it; any
            // other surrogate stands alone and is replaced.
            code_point = 0xFFFD;
            if (unit <= 0xDBFF && available(6) && in[0] == '\\' && in[1] == 'u') {
                uint32_t low = escape_unit(in);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    code_point = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                    in += 6;
                }
            }
        }
        out = put_utf8(out, code_point);
    }
    *out = '\0';
    return static_cast<size_t>(out - start);
}

char *ub::detail::json_copy_text(const char *text, size_t length)
{
    auto *copy = static_cast<char *>(std::malloc(length + 1));
    if (copy != nullptr) {
        std::memcpy(copy, text, length);
        copy[length] = '\0';
    }
    return copy;
}

int ub::detail::json_build_open(json_parse_context *context, int32_t type)
{
    json_value *container = json_container_open(type);
    if (container == nullptr)
        return JSON_BUILD_NOMEM;
    if (json_push(context, container) != 0) {
        json_value_free(container);
        return JSON_BUILD_TOO_DEEP;
    }
    context->entries_start[context->depth - 1] = context->entries_used;
    if (type == JSON_TYPE_OBJECT)
        std::memset(context->name_bits[context->depth - 1], 0, sizeof context->name_bits[0]);
    return JSON_BUILT;
}

int ub::detail::json_build_close(json_parse_context *context)
{
    json_value *container = json_pop(context);
    int32_t start = context->entries_start[context->depth];
    void **entries = context->entries + start;
    int32_t count = context->entries_used - start;
    context->entries_used = start;
    void **items = json_container_items(container, count);
    if (items == nullptr) {
        json_release_entries(container->type, entries, count);
        json_value_free(container);
        context->result = nullptr;
        return JSON_BUILD_NOMEM;
    }
    if (count > 0)
        std::memcpy(items, entries, sizeof(void *) * static_cast<size_t>(count));
    context->result = container;
    return JSON_BUILT;
}

int ub::detail::json_build_element(json_parse_context *context)
{
    if (!reserve_entry(context)) {
        json_value_free(context->result);
        context->result = nullptr;
        return JSON_BUILD_NOMEM;
    }
    context->entries[context->entries_used++] = context->result;
    return JSON_BUILT;
}

int ub::detail::json_build_member(json_parse_context *context, char *name)
{
    json_pop(context); // the place the value took while it was read
    int32_t object = context->depth - 1;
    uint32_t tag = name_tag(name);
    // Most names are new to their object: one bit of their tag says so
    // without a look at the names gathered so far.
    uint64_t &bits = context->name_bits[object][(tag >> 6) & 3];
    uint64_t bit = uint64_t{1} << (tag & 63);
    json_member *member = nullptr;
    for (int32_t i = context->entries_start[object]; (bits & bit) != 0 && i < context->entries_used;
         ++i) {
        auto *gathered = static_cast<json_member *>(context->entries[i]);
        if (context->entry_tags[i] == tag && std::strcmp(gathered->name, name) == 0) {
            member = gathered;
            break;
        }
    }
    bits |= bit;
    if (member != nullptr) {
        json_value_free(member->value);
        member->value = context->result;
        std::free(name);
        return JSON_BUILT;
    }
    if (reserve_entry(context) && (member = json_member_adopt(name, context->result)) != nullptr) {
        context->entry_tags[context->entries_used] = tag;
        context->entries[context->entries_used++] = member;
        return JSON_BUILT;
    }
    std::free(name);
    json_value_free(context->result);
    context->result = nullptr;
    return JSON_BUILD_NOMEM;
}

json_parse_context *json_parse_context_new(const json_source *source) noexcept
{
    if (source == nullptr)
        return nullptr;
    auto *context = static_cast<json_parse_context *>(std::calloc(1, sizeof(json_parse_context)));
    if (context != nullptr)
        context->source = *source;
    return context;
}

void json_parse_context_free(json_parse_context *context) noexcept
{
    if (context == nullptr)
        return;
    release_partial(context);
    release_entry_arrays(context);
    std::free(context);
}

int32_t json_fd_next_char(json_source *source) noexcept
{
    int byte = std::getc(source->file);
    if (byte == EOF)
        return -1;
    // The count stops at the largest 32-bit value rather than wrap.
    if (source->position < INT32_MAX)
        ++source->position;
    return byte;
}

int32_t json_mem_next_char(json_source *source) noexcept
{
    // The position indexes the text: past the largest 32-bit index the text
    // ends here instead of wrapping to a negative index.
    if (source->position == INT32_MAX)
        return -1;
    auto byte = static_cast<unsigned char>(source->text[source->position]);
    // The position stays on the terminator, so that asking again can never
    // read past the text.
    if (byte == 0)
        return -1;
    ++source->position;
    return byte;
}

void json_input(char *buffer, int *count, int max, json_parse_context *context) noexcept
{
    json_source *source = &context->source;
    int filled = 0;
    *count = 0;
    if (context->source_ended != 0 || max <= 0)
        return;
    if (source->next_char == json_fd_next_char) {
        filled = static_cast<int>(std::fread(buffer, 1, static_cast<size_t>(max), source->file));
        context->source_ended = filled < max;
        // The count stops at the largest 32-bit value rather than wrap.
        source->position =
            filled > INT32_MAX - source->position ? INT32_MAX : source->position + filled;
    } else {
        for (int32_t byte = 0; filled < max && (byte = source->next_char(source)) >= 0;)
            buffer[filled++] = static_cast<char>(byte);
        context->source_ended = filled < max;
    }
    *count = filled;
}

void clean_string_len(char *text, size_t length) noexcept
{
    if (text == nullptr || length == 0)
        return;
    // The closing quote goes; the opening one stays where the parser never
    // looks.
    text[length - 1] = '\0';
    if (length > 1)
        ub::detail::json_decode_text(text + 1, text + length - 1, text + 1);
}

void clean_string(char *text) noexcept
{
    if (text != nullptr)
        clean_string_len(text, std::strlen(text));
}

int json_push(json_parse_context *context, json_value *value) noexcept
{
    if (context->depth >= JSON_STACK_SIZE)
        return -1;
    context->stack[context->depth++] = value;
    return 0;
}

json_value *json_current(const json_parse_context *context) noexcept
{
    return context->depth > 0 ? context->stack[context->depth - 1] : nullptr;
}

json_value *json_pop(json_parse_context *context) noexcept
{
    return context->depth > 0 ? context->stack[--context->depth] : nullptr;
}

json_value *json_parse_file(FILE *file) noexcept
{
    if (file == nullptr)
        return nullptr;
    json_parse_context context{};
    context.source.next_char = json_fd_next_char;
    context.source.file = file;
    return run_parse(&context);
}

json_value *json_parse_mem(const char *text) noexcept
{
    if (text == nullptr)
        return nullptr;
    json_parse_context context{};
    context.source.next_char = json_mem_next_char;
    context.source.text = text;
    return run_parse(&context);
}

json_value *json_clone(json_value *value) noexcept
{
    if (value == nullptr)
        return nullptr;
    char *text = json_serialize(value);
    if (text == nullptr)
        return nullptr;
    json_value *copy = json_parse_mem(text);
    std::free(text);
    return copy;
}
