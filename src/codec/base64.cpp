#include "codec/base64.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char pad_char = '=';

// Classes of a text byte for the decoder: its 6-bit value, the pad, or a
// character that is skipped.
constexpr unsigned char pad_class = 64;
constexpr unsigned char skip_class = 255;

constexpr std::array<unsigned char, 256> make_class_table()
{
    std::array<unsigned char, 256> table{};
    table.fill(skip_class);
    for (unsigned char v = 0; v < 64; ++v)
        table[static_cast<unsigned char>(alphabet[v])] = v;
    table[static_cast<unsigned char>(pad_char)] = pad_class;
    return table;
}

constexpr auto class_table = make_class_table();

// Fast decoding: one table per position in a block gives the character's
// bits already placed in a 24-bit group; OR-ing four entries makes the
// group. Anything but an alphabet character sets bit 24, which sends the
// block to the careful path.
constexpr uint32_t slow_flag = 0x01000000;

// The bits of value v at block position k, laid out so that the low three
// bytes of the group hold the decoded bytes in memory order when stored as
// a little-endian word, or in value order (first byte highest) otherwise.
constexpr uint32_t place(uint32_t v, int k)
{
    uint32_t shifted = v << (18 - 6 * k);
    if constexpr (std::endian::native != std::endian::little)
        return shifted;
    return ((shifted >> 16) & 0xFF) | (shifted & 0xFF00) | ((shifted & 0xFF) << 16);
}

constexpr std::array<std::array<uint32_t, 256>, 4> make_place_tables()
{
    std::array<std::array<uint32_t, 256>, 4> tables{};
    for (int k = 0; k < 4; ++k) {
        for (int c = 0; c < 256; ++c) {
            unsigned char v = class_table[static_cast<size_t>(c)];
            tables[static_cast<size_t>(k)][static_cast<size_t>(c)] =
                v < 64 ? place(v, k) : slow_flag;
        }
    }
    return tables;
}

constexpr auto place_tables = make_place_tables();

// Two characters packed so that one 16-bit store writes them in order.
constexpr uint16_t pack_pair(char first, char second)
{
    auto a = static_cast<uint16_t>(static_cast<unsigned char>(first));
    auto b = static_cast<uint16_t>(static_cast<unsigned char>(second));
    return std::endian::native == std::endian::little ? static_cast<uint16_t>(a | (b << 8))
                                                      : static_cast<uint16_t>((a << 8) | b);
}

// Encoding: 12 input bits give two characters at once.
constexpr std::array<uint16_t, 4096> make_pair_table()
{
    std::array<uint16_t, 4096> table{};
    for (uint32_t v = 0; v < 4096; ++v)
        table[v] = pack_pair(alphabet[v >> 6], alphabet[v & 63]);
    return table;
}

constexpr auto pair_table = make_pair_table();

// Hex: one byte gives its two digits at once.
constexpr std::array<uint16_t, 256> make_hex_table()
{
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<uint16_t, 256> table{};
    for (uint32_t b = 0; b < 256; ++b)
        table[b] = pack_pair(digits[b >> 4], digits[b & 15]);
    return table;
}

constexpr auto hex_table = make_hex_table();

void put_group(unsigned char *out, uint32_t group)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &group, 4); // the fourth byte is overwritten by the next group or slack
    } else {
        out[0] = static_cast<unsigned char>(group >> 16);
        out[1] = static_cast<unsigned char>(group >> 8);
        out[2] = static_cast<unsigned char>(group);
    }
}

// The decoder's walk over a text: a fast path for blocks of four alphabet
// characters, and a careful path, one character at a time, for stray
// characters and padding. The careful path hands back to the fast path
// only on a block boundary, so both see the same blocks.
struct Decoder {
    const unsigned char *text;
    size_t length;
    unsigned char *out;
    size_t pos = 0;
    size_t written = 0;
    size_t counted = 0; // alphabet and "=" characters read so far
    unsigned char block[4] = {};
    int filled = 0;
    int pads = 0;

    void fast_blocks()
    {
        const auto &t0 = place_tables[0];
        const auto &t1 = place_tables[1];
        const auto &t2 = place_tables[2];
        const auto &t3 = place_tables[3];
        size_t p = pos;
        size_t w = written;
        while (p + 4 <= length) {
            uint32_t group = t0[text[p]] | t1[text[p + 1]] | t2[text[p + 2]] | t3[text[p + 3]];
            if (group & slow_flag)
                break;
            put_group(out + w, group);
            p += 4;
            w += 3;
        }
        counted += p - pos;
        pos = p;
        written = w;
    }

    // One character on the careful path; true when a padded block ends
    // the decoding.
    bool careful_char()
    {
        unsigned char cls = class_table[text[pos++]];
        if (cls == skip_class)
            return false;
        ++counted;
        if (cls == pad_class) {
            ++pads;
            cls = 0;
        }
        block[filled++] = cls;
        if (filled < 4)
            return false;
        filled = 0;
        b64_decodeblock(block, out + written);
        written += 3;
        return pads > 0;
    }

    // Decodes up to the end of the text or the first padded block; true
    // when a padded block stopped it.
    bool run()
    {
        while (pos < length) {
            if (filled == 0) {
                fast_blocks();
                if (pos >= length)
                    break;
            }
            if (careful_char())
                return true;
        }
        return false;
    }

    void count_rest()
    {
        for (; pos < length; ++pos)
            counted += class_table[text[pos]] != skip_class;
    }
};

// The table's decoder shape takes a writable text (hex decoding changes it);
// Base64 decoding only reads it.
int32_t b64_decode_text(char *text, unsigned char **out) noexcept
{
    return b64_decode(text, out);
}

bool valid_bytes(const unsigned char *bytes, int32_t length)
{
    return length >= 0 && (length == 0 || bytes != nullptr);
}

} // namespace

const ub_str_decoder_entry ub_str_decoders[] = {
    {"raw", ub_rawdup},
    {"b64", b64_decode_text},
    {"hex", ub_hex2bin},
    {nullptr, nullptr},
};

const ub_str_encoder_entry ub_str_encoders[] = {
    {"raw", ub_rawdup2},
    {"b64", b64_encode},
    {"hex", ub_bin2hex},
    {nullptr, nullptr},
};

int32_t base64_get_encodedLen(int32_t n) noexcept
{
    // 4 * ceil(n / 3) computed without overflow; the product 8 * n of the
    // textbook formula wraps from 2^28 bytes on.
    constexpr int32_t largest = INT32_MAX / 4 * 3;
    if (n < 0 || n > largest)
        return -1;
    return (n / 3 + (n % 3 != 0)) * 4;
}

int32_t b64_encode(const unsigned char *bytes, int32_t length, char **out) noexcept
{
    if (bytes == nullptr || out == nullptr || length <= 0)
        return CODEC_ERR_INPUT;
    int32_t size = base64_get_encodedLen(length);
    if (size < 0)
        return CODEC_ERR_INPUT;
    auto *text = static_cast<char *>(std::malloc(static_cast<size_t>(size) + 1));
    if (text == nullptr)
        return CODEC_ERR_NOMEM;
    size_t n = static_cast<size_t>(length);
    size_t in = 0;
    char *dst = text;
    for (; in + 3 <= n; in += 3, dst += 4) {
        uint32_t group =
            (uint32_t{bytes[in]} << 16) | (uint32_t{bytes[in + 1]} << 8) | bytes[in + 2];
        std::memcpy(dst, &pair_table[group >> 12], 2);
        std::memcpy(dst + 2, &pair_table[group & 0xFFF], 2);
    }
    if (in < n) {
        uint32_t b0 = bytes[in];
        uint32_t b1 = in + 1 < n ? bytes[in + 1] : 0;
        dst[0] = alphabet[b0 >> 2];
        dst[1] = alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        dst[2] = in + 1 < n ? alphabet[(b1 & 15) << 2] : pad_char;
        dst[3] = pad_char;
        dst += 4;
    }
    *dst = '\0';
    *out = text;
    return size;
}

int32_t b64_decode(const char *text, unsigned char **out) noexcept
{
    if (text == nullptr || out == nullptr)
        return CODEC_ERR_INPUT;
    size_t length = std::strlen(text);
    // Room for every character being an alphabet character, plus slack
    // for the fast path's whole-word stores.
    size_t capacity = length / 4 * 3 + 4;
    if (capacity - 4 > INT32_MAX)
        return CODEC_ERR_NOMEM;
    auto *buffer = static_cast<unsigned char *>(std::malloc(capacity));
    if (buffer == nullptr)
        return CODEC_ERR_NOMEM;
    Decoder decoder{reinterpret_cast<const unsigned char *>(text), length, buffer};
    bool padded = decoder.run();
    decoder.count_rest(); // the length rule covers the whole text, after a pad too
    if (decoder.counted == 0 || decoder.counted % 4 != 0 || decoder.pads >= 3) {
        std::free(buffer);
        return decoder.counted == 0 || decoder.counted % 4 != 0 ? CODEC_ERR_INPUT
                                                                : CODEC_ERR_PADDING;
    }
    size_t kept = decoder.written - (padded ? static_cast<size_t>(decoder.pads) : 0);
    if (kept < capacity / 2) {
        void *smaller = std::realloc(buffer, kept);
        if (smaller != nullptr)
            buffer = static_cast<unsigned char *>(smaller);
    }
    *out = buffer;
    return static_cast<int32_t>(kept);
}

void b64_decodeblock(const unsigned char in[4], unsigned char out[3]) noexcept
{
    out[0] = static_cast<unsigned char>((in[0] << 2) | (in[1] >> 4));
    out[1] = static_cast<unsigned char>((in[1] << 4) | (in[2] >> 2));
    out[2] = static_cast<unsigned char>((in[2] << 6) | in[3]);
}

unsigned char *hex2bin(char *text) noexcept
{
    if (text == nullptr)
        return nullptr;
    size_t count = std::strlen(text) / 2;
    auto *bytes = static_cast<unsigned char *>(std::malloc(count > 0 ? count : 1));
    if (bytes == nullptr)
        return nullptr;
    auto digit = [](char &c) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A'); // the caller's text is upper-cased in place
        unsigned code = static_cast<unsigned char>(c);
        return code > 64 ? code - 55 : code - 48;
    };
    for (size_t k = 0; k < count; ++k) {
        unsigned high = digit(text[2 * k]);
        unsigned low = digit(text[2 * k + 1]);
        bytes[k] = static_cast<unsigned char>(16 * high + low);
    }
    return bytes;
}

char *bin2hex(const unsigned char *bytes, int32_t length) noexcept
{
    if (!valid_bytes(bytes, length))
        return nullptr;
    size_t n = static_cast<size_t>(length);
    auto *text = static_cast<char *>(std::malloc(2 * n + 1));
    if (text == nullptr)
        return nullptr;
    for (size_t k = 0; k < n; ++k)
        std::memcpy(text + 2 * k, &hex_table[bytes[k]], 2);
    text[2 * n] = '\0';
    return text;
}

int32_t ub_rawdup(char *text, unsigned char **out) noexcept
{
    if (text == nullptr || out == nullptr)
        return CODEC_ERR_INPUT;
    size_t length = std::strlen(text);
    if (length > INT32_MAX)
        return CODEC_ERR_INPUT;
    auto *copy = static_cast<unsigned char *>(std::malloc(length + 1));
    if (copy == nullptr)
        return CODEC_ERR_NOMEM;
    std::memcpy(copy, text, length + 1);
    *out = copy;
    return static_cast<int32_t>(length);
}

int32_t ub_hex2bin(char *text, unsigned char **out) noexcept
{
    if (text == nullptr || out == nullptr)
        return CODEC_ERR_INPUT;
    size_t count = std::strlen(text) / 2;
    if (count > INT32_MAX)
        return CODEC_ERR_INPUT;
    unsigned char *bytes = hex2bin(text);
    if (bytes == nullptr)
        return CODEC_ERR_NOMEM;
    *out = bytes;
    return static_cast<int32_t>(count);
}

int32_t ub_rawdup2(const unsigned char *bytes, int32_t length, char **out) noexcept
{
    if (out == nullptr || !valid_bytes(bytes, length))
        return CODEC_ERR_INPUT;
    size_t n = static_cast<size_t>(length);
    auto *copy = static_cast<char *>(std::malloc(n + 1));
    if (copy == nullptr)
        return CODEC_ERR_NOMEM;
    if (n > 0)
        std::memcpy(copy, bytes, n);
    copy[n] = '\0';
    *out = copy;
    return 0;
}

int32_t ub_bin2hex(const unsigned char *bytes, int32_t length, char **out) noexcept
{
    if (out == nullptr || !valid_bytes(bytes, length))
        return CODEC_ERR_INPUT;
    char *text = bin2hex(bytes, length);
    if (text == nullptr)
        return CODEC_ERR_NOMEM;
    *out = text;
    return 0;
}

int32_t ub_str_decoder(char *text, unsigned char **out, const char *codec) noexcept
{
    if (out == nullptr)
        return CODEC_ERR_INPUT;
    *out = nullptr;
    for (const ub_str_decoder_entry *entry = ub_str_decoders; codec != nullptr && entry->name;
         ++entry) {
        if (std::strcmp(entry->name, codec) == 0)
            return entry->decoder(text, out);
    }
    return 0;
}

int32_t ub_str_encoder(const unsigned char *bytes, int32_t length, char **out,
                       const char *codec) noexcept
{
    if (out == nullptr)
        return CODEC_ERR_INPUT;
    *out = nullptr;
    for (const ub_str_encoder_entry *entry = ub_str_encoders; codec != nullptr && entry->name;
         ++entry) {
        if (std::strcmp(entry->name, codec) == 0)
            return entry->encoder(bytes, length, out);
    }
    return 0;
}
