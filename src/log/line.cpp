// The log line's time prefix and the escapes.
#include "log/detail/line.hpp"

#include <cstdint>

#include "log/verbose.h"

namespace {

// Whether c, a byte below 0x80, is written as it is: printable or a tab.
bool plain_ascii(unsigned char c)
{
    return (c >= 0x20 && c < 0x7F) || c == '\t';
}

// The length of the well-formed UTF-8 sequence that starts at text (left
// bytes, the first one 0x80 or more) and its character in code; 0 when that
// byte starts none: a continuation byte, an overlong form, a surrogate, a
// character past U+10FFFF or a sequence cut short.
size_t utf8_sequence(const unsigned char *text, size_t left, uint32_t &code)
{
    unsigned char lead = text[0];
    size_t length = 0;
    unsigned char low = 0x80; // the second byte's range, narrower after some leads
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || text[1] < low || text[1] > high)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((text[k] & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (text[k] & 0x3Fu);
    }
    return length;
}

// Whether a character past ASCII is written as "\uXXXX": the C1 controls
// (U+0085 ends a line for some readers), the line and paragraph separators,
// and the bidirectional controls, which reorder what a reader shows.
bool escaped_code(uint32_t code)
{
    return (code >= 0x80 && code <= 0x9F) || code == 0x061C || code == 0x200E || code == 0x200F ||
           (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

// Writes a backslash, letter and value in digits hex digits at out (when
// out is not NULL); the characters that takes.
size_t put_hex_escape(char letter, uint32_t value, int digits, char *out)
{
    static const char hex[] = "0123456789ABCDEF";
    if (out != nullptr) {
        out[0] = '\\';
        out[1] = letter;
        for (int k = 0; k < digits; ++k)
            out[2 + k] = hex[value >> (4 * (digits - 1 - k)) & 0xF];
    }
    return 2 + static_cast<size_t>(digits);
}

} // namespace

namespace ub::detail {

char *put_digits(char *out, int value, int width)
{
    for (int k = width - 1; k >= 0; --k) {
        out[k] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

bool plain_date(const struct tm &local)
{
    return local.tm_year + 1900 >= 1000 && local.tm_year + 1900 <= 9999 && local.tm_mon >= 0 &&
           local.tm_mon < 12 && local.tm_mday >= 1 && local.tm_mday <= 31 && local.tm_hour >= 0 &&
           local.tm_hour < 24 && local.tm_min >= 0 && local.tm_min < 60 && local.tm_sec >= 0 &&
           local.tm_sec <= 60;
}

// Written by hand: every line needs one, and printf costs several times as
// much.
int put_prefix(const struct tm &local, char *out)
{
    if (!plain_date(local)) {
        return std::snprintf(out, 64, "%02d/%02d/%d %02d:%02d:%02d: ", local.tm_mday,
                             local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
                             local.tm_sec);
    }
    char *p = put_digits(out, local.tm_mday, 2);
    *p++ = '/';
    p = put_digits(p, local.tm_mon + 1, 2);
    *p++ = '/';
    p = put_digits(p, local.tm_year + 1900, 4);
    *p++ = ' ';
    p = put_digits(p, local.tm_hour, 2);
    *p++ = ':';
    p = put_digits(p, local.tm_min, 2);
    *p++ = ':';
    p = put_digits(p, local.tm_sec, 2);
    *p++ = ':';
    *p++ = ' ';
    return static_cast<int>(p - out);
}

size_t escape_text(const char *text, size_t end, bool continuations, char *out)
{
    auto bytes = reinterpret_cast<const unsigned char *>(text);
    size_t size = 0;
    for (size_t k = 0; k < end;) {
        unsigned char c = bytes[k];
        size_t length = 1;
        size_t written = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            bool kept = plain_ascii(c) ||
                        (c == '\n' && continuations && k + 1 < end && bytes[k + 1] == '\t');
            if (!kept && (c == '\n' || c == '\r')) {
                written = 2;
                if (out != nullptr) {
                    out[size] = '\\';
                    out[size + 1] = c == '\n' ? 'n' : 'r';
                }
            } else if (!kept) {
                written = put_hex_escape('x', c, 2, out != nullptr ? out + size : nullptr);
            }
        } else if ((length = utf8_sequence(bytes + k, end - k, code)) == 0) {
            length = 1;
            written = put_hex_escape('x', c, 2, out != nullptr ? out + size : nullptr);
        } else if (escaped_code(code)) {
            written = put_hex_escape('u', code, 4, out != nullptr ? out + size : nullptr);
        }
        if (written == 0) {
            written = length;
            if (out != nullptr)
                std::memcpy(out + size, text + k, length);
        }
        size += written;
        k += length;
    }
    return size;
}

// Most lines are nothing else, and stop here.
size_t plain_prefix(const char *text, size_t end)
{
    size_t k = 0;
    while (k < end && plain_ascii(static_cast<unsigned char>(text[k])))
        ++k;
    return k;
}

CharBuffer escaped_copy(const char *text)
{
    size_t end = std::strlen(text);
    size_t size = escape_text(text, end, false, nullptr);
    CharBuffer out(static_cast<char *>(std::malloc(size + 1)));
    if (!out)
        return out;
    escape_text(text, end, false, out.get());
    out.get()[size] = '\0';
    return out;
}

} // namespace ub::detail

char *verbose_escape(const char *text) noexcept
{
    return text != nullptr ? ub::detail::escaped_copy(text).release() : nullptr;
}
