// The character codes of texts that cross between native code and Java.
// Native texts are standard UTF-8, and a byte that is not part of a valid
// UTF-8 sequence stands for the Latin-1 character of the same value, so a
// Latin-1 text reads as itself. Java's side is UTF-16. Header-only, and not
// private to the module: the kit's native half, which links no vesk
// library, shares it.
#ifndef JVM_TEXT_CODEC_HPP
#define JVM_TEXT_CODEC_HPP

#include <jni.h>

#include <cstddef>
#include <cstdint>

namespace ub::text {

constexpr uint32_t replacement_character = 0xFFFD;

// One character of a native text and the bytes it takes there.
struct Decoded {
    uint32_t code;
    unsigned size;
};

// The character that starts at text, which is not at its terminator: a
// valid UTF-8 sequence (no overlong form, no surrogate, nothing past
// U+10FFFF), or else the first byte alone as a Latin-1 character. Never
// reads past a terminator: a continuation byte is looked at only after
// the bytes before it matched.
inline Decoded decode_native(const unsigned char *text) noexcept
{
    const unsigned lead = text[0];
    if (lead < 0x80)
        return {lead, 1};
    auto in = [](unsigned byte, unsigned low, unsigned high) {
        return byte >= low && byte <= high;
    };
    if (in(lead, 0xC2, 0xDF) && in(text[1], 0x80, 0xBF))
        return {((lead & 0x1Fu) << 6) | (text[1] & 0x3Fu), 2};
    if (in(lead, 0xE0, 0xEF) &&
        in(text[1], lead == 0xE0 ? 0xA0 : 0x80, lead == 0xED ? 0x9F : 0xBF) &&
        in(text[2], 0x80, 0xBF))
        return {((lead & 0x0Fu) << 12) | ((text[1] & 0x3Fu) << 6) | (text[2] & 0x3Fu), 3};
    if (in(lead, 0xF0, 0xF4) &&
        in(text[1], lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF) &&
        in(text[2], 0x80, 0xBF) && in(text[3], 0x80, 0xBF))
        return {((lead & 0x07u) << 18) | ((text[1] & 0x3Fu) << 12) | ((text[2] & 0x3Fu) << 6) |
                    (text[3] & 0x3Fu),
                4};
    return {lead, 1};
}

// The character of a UTF-16 text at index, which is below length; index
// moves past it. A surrogate pair is one character; a lone surrogate reads
// as U+FFFD.
inline uint32_t decode_utf16(const jchar *units, size_t length, size_t &index) noexcept
{
    const uint32_t unit = units[index++];
    if (unit < 0xD800 || unit > 0xDFFF)
        return unit;
    if (unit <= 0xDBFF && index < length && units[index] >= 0xDC00 && units[index] <= 0xDFFF)
        return 0x10000 + ((unit - 0xD800) << 10) + (units[index++] - 0xDC00u);
    return replacement_character;
}

// Bytes of the character in standard UTF-8.
inline size_t utf8_size(uint32_t code) noexcept
{
    return code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
}

// Writes the character in standard UTF-8 at out; the end of what it wrote.
inline char *put_utf8(uint32_t code, char *out) noexcept
{
    if (code < 0x80) {
        *out++ = static_cast<char>(code);
    } else if (code < 0x800) {
        *out++ = static_cast<char>(0xC0 | (code >> 6));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (code >> 12));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (code >> 18));
        *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (code & 0x3F));
    }
    return out;
}

} // namespace ub::text

#endif
