#include "core/ub_string.h"

#include <cstdlib>
#include <cstring>

namespace {

// Gives an empty record a copy of length bytes of text; false when memory
// runs out or the length does not fit the record's 32-bit fields.
bool take_first_text(ub_string *string, const char *text, size_t length)
{
    if (length >= INT32_MAX)
        return false;
    char *copy = static_cast<char *>(std::malloc(length + 1));
    if (copy == nullptr)
        return false;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    string->text = copy;
    string->len = static_cast<int32_t>(length);
    string->size = static_cast<int32_t>(length + 1);
    return true;
}

// True when text points into the record's own buffer, which growing may
// move: such a text is copied before the buffer changes.
bool inside_buffer(const ub_string *string, const char *text)
{
    auto start = reinterpret_cast<uintptr_t>(string->text);
    auto at = reinterpret_cast<uintptr_t>(text);
    return string->text != nullptr && at >= start &&
           at < start + static_cast<uintptr_t>(string->size);
}

// Adds length bytes of text at the front or the end of a record that holds
// a text; text does not point into the record's buffer.
int32_t insert_text(ub_string *string, const char *text, size_t length, bool at_front)
{
    if (string_resize_len(string, length) < 0)
        return UB_STRING_NOMEM;
    if (at_front) {
        // Held text and terminator move up first.
        std::memmove(string->text + length, string->text, static_cast<size_t>(string->len) + 1);
        std::memcpy(string->text, text, length);
        string->len += static_cast<int32_t>(length);
    } else {
        std::memcpy(string->text + string->len, text, length);
        string->len += static_cast<int32_t>(length);
        string->text[string->len] = '\0';
    }
    return string->size;
}

// Both growing operations: the first text of an empty record, a copy of a
// text taken from the record itself, or a plain insertion.
int32_t add_text(ub_string *string, const char *text, size_t length, bool at_front)
{
    // Nothing this long fits the 32-bit fields; refused before a copy of
    // length + 1 bytes is sized.
    if (length >= INT32_MAX)
        return UB_STRING_NOMEM;
    if (string->text == nullptr)
        return take_first_text(string, text, length) ? string->size : UB_STRING_NOMEM;
    if (!inside_buffer(string, text))
        return insert_text(string, text, length, at_front);
    char *copy = static_cast<char *>(std::malloc(length + 1));
    if (copy == nullptr)
        return UB_STRING_NOMEM;
    std::memcpy(copy, text, length);
    int32_t result = insert_text(string, copy, length, at_front);
    std::free(copy);
    return result;
}

} // namespace

ub_string *string_init(ub_string *string, const char *text) noexcept
{
    if (string != nullptr && text != nullptr)
        take_first_text(string, text, std::strlen(text));
    return string;
}

ub_string *string_new(const char *text) noexcept
{
    auto *string = static_cast<ub_string *>(std::calloc(1, sizeof(ub_string)));
    if (string == nullptr)
        return nullptr;
    if (text != nullptr && !take_first_text(string, text, std::strlen(text))) {
        std::free(string);
        return nullptr;
    }
    return string;
}

void string_free(ub_string *string) noexcept
{
    if (string == nullptr)
        return;
    std::free(string->text);
    std::free(string);
}

int32_t string_resize_len(ub_string *string, size_t length) noexcept
{
    if (length >= INT32_MAX)
        return UB_STRING_NOMEM;
    size_t size = static_cast<size_t>(string->size);
    size_t free_room = size - static_cast<size_t>(string->len);
    if (length < free_room)
        return static_cast<int32_t>(length);
    // Both terms are below 2^31, so their sum fits even a 32-bit size_t,
    // but twice the sum may not: the capacity field's limit is applied
    // before doubling.
    size_t sum = size + length;
    size_t capacity = sum > INT32_MAX / 2 ? INT32_MAX : 2 * sum;
    if (capacity == 0)
        capacity = 1; // an empty record asked for no room still gets the terminator
    if (capacity - static_cast<size_t>(string->len) <= length)
        return UB_STRING_NOMEM;
    char *grown = static_cast<char *>(std::realloc(string->text, capacity));
    if (grown == nullptr)
        return UB_STRING_NOMEM;
    // A record that had no text now holds the empty text.
    if (string->text == nullptr)
        grown[0] = '\0';
    string->text = grown;
    string->size = static_cast<int32_t>(capacity);
    return static_cast<int32_t>(length);
}

int32_t string_resize(ub_string *string, const char *text) noexcept
{
    return string_resize_len(string, std::strlen(text));
}

int32_t string_append_len(ub_string *string, const char *text, size_t length) noexcept
{
    if (string == nullptr || text == nullptr)
        return 0;
    return add_text(string, text, length, false);
}

int32_t string_append(ub_string *string, const char *text) noexcept
{
    if (string == nullptr || text == nullptr)
        return 0;
    return string_append_len(string, text, std::strlen(text));
}

int32_t string_prepend(ub_string *string, const char *text) noexcept
{
    if (string == nullptr || text == nullptr)
        return 0;
    return add_text(string, text, std::strlen(text), true);
}

char *string_get_text(const ub_string *string) noexcept
{
    return string->text;
}
