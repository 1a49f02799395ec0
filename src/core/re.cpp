#include "core/re.h"

#include <bit>
#include <climits>
#include <cstdint>
#include <cstddef>
#include <cstdio>

namespace {

// The one compiled pattern. Classes are stored from position 1 of the
// class buffer, each followed by a zero; position 0 stays zero, so the
// character before every class text is a zero (a leading '-' relies on it).
re_object compiled[RE_MAX_OBJECTS];
char class_buffer[RE_MAX_CLASS_CHARS];

// Indexed by type.
const char *const type_names[] = {
    "UNUSED",         "DOT",       "BEGIN", "END",        "QUESTIONMARK",
    "STAR",           "PLUS",      "CHAR",  "CHAR_CLASS", "INV_CHAR_CLASS",
    "DIGIT",          "NOT_DIGIT", "ALPHA", "NOT_ALPHA",  "WHITESPACE",
    "NOT_WHITESPACE", "BRANCH",
};

// Highest class-buffer position an escape pair may start at, and that a
// plain character or the closing zero may take.
constexpr int last_pair_start = RE_MAX_CLASS_CHARS - 2;
constexpr int last_position = RE_MAX_CLASS_CHARS - 1;

// Character tests on signed 8-bit characters.
bool matchdigit(char c)
{
    return c >= '0' && c <= '9';
}

bool matchalpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool matchalphanum(char c)
{
    return c == '_' || matchalpha(c) || matchdigit(c);
}

bool matchwhitespace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The escape letters that name a character set.
bool ismetachar(char c)
{
    return c == 's' || c == 'S' || c == 'w' || c == 'W' || c == 'd' || c == 'D';
}

// c against the escape \e: a set for the metacharacters, e itself otherwise.
bool matchmetachar(char c, char e)
{
    switch (e) {
    case 'd': return matchdigit(c);
    case 'D': return !matchdigit(c);
    case 'w': return matchalphanum(c);
    case 'W': return !matchalphanum(c);
    case 's': return matchwhitespace(c);
    case 'S': return !matchwhitespace(c);
    default: return c == e;
    }
}

// Whether str starts a range x-y holding c; a '-' never matches a range.
// Bounds compare as signed bytes, whatever the platform's char is.
bool matchrange(char c, const char *str)
{
    auto value = [](char x) { return static_cast<signed char>(x); };
    return c != '-' && str[0] != '\0' && str[0] != '-' && str[1] == '-' && str[2] != '\0' &&
           value(c) >= value(str[0]) && value(c) <= value(str[2]);
}

// c against a class text. Ranges are found while walking, so each character
// of a range is also tried on its own; a '-' stands for itself only first
// or last in the class.
bool matchcharclass(char c, const char *str)
{
    for (; *str != '\0'; ++str) {
        if (matchrange(c, str))
            return true;
        if (*str == '\\') {
            ++str;
            if (*str == '\0')
                return false;
            if (matchmetachar(c, *str) || (c == *str && !ismetachar(c)))
                return true;
        } else if (c == *str) {
            return c != '-' || str[-1] == '\0' || str[1] == '\0';
        }
    }
    return false;
}

bool matchone(const re_object &p, char c)
{
    switch (p.type) {
    case RE_DOT: return true;
    case RE_CHAR_CLASS: return matchcharclass(c, p.u.class_text);
    case RE_INV_CHAR_CLASS: return !matchcharclass(c, p.u.class_text);
    case RE_DIGIT: return matchdigit(c);
    case RE_NOT_DIGIT: return !matchdigit(c);
    case RE_ALPHA: return matchalphanum(c);
    case RE_NOT_ALPHA: return !matchalphanum(c);
    case RE_WHITESPACE: return matchwhitespace(c);
    case RE_NOT_WHITESPACE: return !matchwhitespace(c);
    default: return c == p.u.ch;
    }
}

// Matching runs the pattern as a set of states over the text, one
// character at a time, so the time is bounded by the text length times the
// pattern length; trying every way of repeating each quantified object in
// turn takes exponential time on patterns such as a*a*a*...b. A match is
// found exactly when some such way exists.
//
// Bit i (i < 32) of a state set: the objects from i on are still to match.
// Bit 32 + i: object i, quantified with +, has matched once and may repeat.
using States = uint64_t;

constexpr int repeat_bit = 32;

constexpr States bit(int index)
{
    return States{1} << index;
}

// Whether the object at i is a $ that ends the pattern (so it carries no
// quantifier): it matches the end of the text and consumes nothing.
bool is_final_end(const re_object *pattern, int i)
{
    return pattern[i].type == RE_END && pattern[i + 1].type == RE_UNUSED;
}

bool is_quantifier(uint8_t type)
{
    return type == RE_QUESTIONMARK || type == RE_STAR || type == RE_PLUS;
}

// Adds to set every state reachable without consuming a character; true
// when one of them completes the match (at_end: the text is used up).
bool close_states(const re_object *pattern, States &set, bool at_end)
{
    for (States todo = set; todo != 0;) {
        const int b = std::countr_zero(todo);
        todo &= ~bit(b);
        States next = 0;
        if (b >= repeat_bit) {
            next = bit(b - repeat_bit + 2);
        } else if (pattern[b].type == RE_UNUSED) {
            return true;
        } else if (pattern[b + 1].type == RE_QUESTIONMARK || pattern[b + 1].type == RE_STAR) {
            next = bit(b + 2);
        } else if (is_final_end(pattern, b) && at_end) {
            return true;
        }
        todo |= next & ~set;
        set |= next;
    }
    return false;
}

// The states after consuming c from set.
States step_states(const re_object *pattern, States set, char c)
{
    States next = 0;
    for (; set != 0; set &= set - 1) {
        const int b = std::countr_zero(set);
        const int i = b >= repeat_bit ? b - repeat_bit : b;
        const uint8_t quantifier =
            b >= repeat_bit ? static_cast<uint8_t>(RE_PLUS) : pattern[i + 1].type;
        if (is_final_end(pattern, i) || !matchone(pattern[i], c))
            continue;
        if (b >= repeat_bit || quantifier == RE_PLUS)
            next |= bit(repeat_bit + i);
        else if (quantifier == RE_STAR)
            next |= bit(i);
        else
            next |= bit(quantifier == RE_QUESTIONMARK ? i + 2 : i + 1);
    }
    return next;
}

// Whether the objects from pattern on match at the start of text.
bool matchpattern(const re_object *pattern, const char *text)
{
    // Leading objects that take exactly one character each need no states.
    for (; pattern[0].type != RE_UNUSED && !is_quantifier(pattern[1].type) &&
           !is_final_end(pattern, 0);
         ++pattern, ++text) {
        if (*text == '\0' || !matchone(pattern[0], *text))
            return false;
    }
    States set = bit(0);
    for (;; ++text) {
        if (close_states(pattern, set, *text == '\0'))
            return true;
        if (*text == '\0')
            return false;
        set = step_states(pattern, set, *text);
        if (set == 0)
            return false;
    }
}

uint8_t escape_type(char e)
{
    switch (e) {
    case 'd': return RE_DIGIT;
    case 'D': return RE_NOT_DIGIT;
    case 'w': return RE_ALPHA;
    case 'W': return RE_NOT_ALPHA;
    case 's': return RE_WHITESPACE;
    case 'S': return RE_NOT_WHITESPACE;
    default: return RE_CHAR;
    }
}

uint8_t plain_type(char c)
{
    switch (c) {
    case '^': return RE_BEGIN;
    case '$': return RE_END;
    case '.': return RE_DOT;
    case '*': return RE_STAR;
    case '+': return RE_PLUS;
    case '?': return RE_QUESTIONMARK;
    default: return RE_CHAR;
    }
}

// Copies the class that starts after '[' (and '^') into the class buffer
// from *position on. The pattern position after the class (after its ']',
// or at the end of the pattern for an open class), or NULL on overflow.
const char *compile_class(const char *pattern, int *position)
{
    int pos = *position;
    for (; *pattern != ']' && *pattern != '\0'; ++pattern) {
        if (*pattern == '\\') {
            if (pattern[1] == '\0') { // a lone backslash ends the pattern
                ++pattern;
                break;
            }
            if (pos > last_pair_start)
                return nullptr;
            class_buffer[pos++] = *pattern++;
        } else if (pos > last_position) {
            return nullptr;
        }
        class_buffer[pos++] = *pattern;
    }
    if (pos > last_position)
        return nullptr;
    class_buffer[pos++] = '\0';
    *position = pos;
    return *pattern == ']' ? pattern + 1 : pattern;
}

// Compiles the object at pattern into *object; the pattern position after
// it, or NULL on class-buffer overflow. A lone backslash compiles to
// RE_UNUSED, which ends the pattern.
const char *compile_object(const char *pattern, re_object *object, int *position)
{
    object->u.ch = *pattern;
    if (*pattern == '\\') {
        object->u.ch = pattern[1];
        if (pattern[1] == '\0') {
            object->type = RE_UNUSED;
            return pattern + 1;
        }
        object->type = escape_type(pattern[1]);
        return pattern + 2;
    }
    if (*pattern != '[') {
        object->type = plain_type(*pattern);
        return pattern + 1;
    }
    ++pattern;
    object->type = RE_CHAR_CLASS;
    if (*pattern == '^') {
        object->type = RE_INV_CHAR_CLASS;
        ++pattern;
    }
    object->u.class_text = class_buffer + *position;
    return compile_class(pattern, position);
}

} // namespace

const re_object *re_compile(const char *pattern) noexcept
{
    if (pattern == nullptr)
        return nullptr;
    int position = 1;
    int count = 0;
    while (*pattern != '\0' && count < RE_MAX_OBJECTS - 1) {
        pattern = compile_object(pattern, &compiled[count], &position);
        if (pattern == nullptr)
            return nullptr;
        if (compiled[count].type == RE_UNUSED)
            break;
        ++count;
    }
    compiled[count].type = RE_UNUSED;
    compiled[count].u.ch = '\0';
    return compiled;
}

int re_matchp(const re_object *pattern, const char *text) noexcept
{
    if (pattern == nullptr || text == nullptr)
        return -1;
    if (pattern[0].type == RE_BEGIN)
        return matchpattern(pattern + 1, text) ? 0 : -1;
    // Positions up to the terminator are tried, but a match that starts at
    // the end of the text does not count, nor one past INT_MAX.
    for (size_t index = 0;; ++index) {
        if (matchpattern(pattern, text + index))
            return text[index] != '\0' && index <= INT_MAX ? static_cast<int>(index) : -1;
        if (text[index] == '\0')
            return -1;
    }
}

int re_match_direct(const char *pattern, const char *text) noexcept
{
    return re_matchp(re_compile(pattern), text);
}

void re_print(const re_object *pattern) noexcept
{
    if (pattern == nullptr)
        return;
    for (int i = 0; i < RE_MAX_OBJECTS && pattern[i].type != RE_UNUSED; ++i) {
        const re_object &object = pattern[i];
        std::printf("type: %s", object.type <= RE_BRANCH ? type_names[object.type] : "?");
        if (object.type == RE_CHAR_CLASS || object.type == RE_INV_CHAR_CLASS) {
            std::printf(" [");
            const char *text = object.u.class_text;
            for (int j = 0; j < RE_MAX_CLASS_CHARS && text[j] != '\0' && text[j] != ']'; ++j)
                std::printf("%c", text[j]);
            std::printf("]");
        } else if (object.type == RE_CHAR) {
            std::printf(" '%c'", object.u.ch);
        }
        std::printf("\n");
    }
}
