#include "codec/rc4.h"

#include <bit>
#include <cstddef>
#include <cstring>

namespace {

// One RC4 state in the width the keystream loop runs fastest with: loads
// and stores of whole words avoid partial-register stalls on byte arrays.
struct WideState {
    uint32_t s[RC4_STATE_SIZE];
};

void wide_schedule(WideState &state, const unsigned char *key, int key_length)
{
    for (uint32_t k = 0; k < RC4_STATE_SIZE; ++k)
        state.s[k] = k;
    uint32_t j = 0;
    int n = 0;
    for (uint32_t i = 0; i < RC4_STATE_SIZE; ++i) {
        uint32_t si = state.s[i];
        j = (j + si + key[n]) & 0xFF;
        state.s[i] = state.s[j];
        state.s[j] = si;
        if (++n == key_length)
            n = 0;
    }
}

// The keystream step of PRGA on the wide state. After a lead-in that
// brings i to a multiple of 8, eight steps run on the slots i+1 .. i+8,
// which never wrap, so their addresses are fixed offsets; the next S[i] is
// loaded right after the store to S[j] (the only store it may depend on).
// Eight keystream bytes are gathered into one word and XOR-ed with eight
// input bytes at once; the input is read before the output is written, so
// in-place use is safe.
void wide_stream(WideState &state, const unsigned char *input, size_t length, unsigned char *output)
{
    uint32_t *s = state.s;
    uint32_t i = 0;
    uint32_t j = 0;
    auto next = [&]() -> uint32_t {
        i = (i + 1) & 0xFF;
        uint32_t si = s[i];
        j = (j + si) & 0xFF;
        uint32_t sj = s[j];
        s[i] = sj;
        s[j] = si;
        return s[(si + sj) & 0xFF];
    };
    size_t p = 0;
    for (; p < length && ((i + 1) & 7) != 0; ++p)
        output[p] = static_cast<unsigned char>(input[p] ^ next());
    for (; p + 8 <= length; p += 8) {
        uint32_t *slots = s + ((i + 1) & 0xFF);
        uint64_t stream = 0;
        uint32_t si = slots[0];
#pragma GCC unroll 8
        for (unsigned k = 0; k < 8; ++k) {
            j = (j + si) & 0xFF;
            uint32_t sj = s[j];
            s[j] = si;
            uint32_t following = k < 7 ? slots[k + 1] : 0;
            slots[k] = sj;
            uint64_t byte = s[(si + sj) & 0xFF];
            stream |=
                std::endian::native == std::endian::little ? byte << (8 * k) : byte << (56 - 8 * k);
            si = following;
        }
        i = (i + 8) & 0xFF;
        uint64_t block;
        std::memcpy(&block, input + p, 8);
        block ^= stream;
        std::memcpy(output + p, &block, 8);
    }
    for (; p < length; ++p)
        output[p] = static_cast<unsigned char>(input[p] ^ next());
}

bool valid_call(const unsigned char *key, int key_length, const void *input, int32_t length,
                const void *output)
{
    return key != nullptr && key_length >= 1 && length >= 0 &&
           (length == 0 || (input != nullptr && output != nullptr));
}

} // namespace

void swap(unsigned char *a, unsigned char *b) noexcept
{
    unsigned char t = *a;
    *a = *b;
    *b = t;
}

int KSA_in(int key_length, const unsigned char *key, unsigned char *state) noexcept
{
    if (key == nullptr || state == nullptr || key_length < 1)
        return -1;
    for (int k = 0; k < RC4_STATE_SIZE; ++k)
        state[k] = static_cast<unsigned char>(k);
    unsigned j = 0;
    for (int i = 0; i < RC4_STATE_SIZE; ++i) {
        j = (j + state[i] + key[i % key_length]) & 0xFF;
        swap(&state[i], &state[j]);
    }
    return 0;
}

int KSA(const char *key, unsigned char *state) noexcept
{
    if (key == nullptr)
        return -1;
    size_t length = std::strlen(key);
    if (length > INT32_MAX)
        return -1;
    return KSA_in(static_cast<int>(length), reinterpret_cast<const unsigned char *>(key), state);
}

void PRGA(unsigned char *state, const unsigned char *input, int32_t length,
          unsigned char *output) noexcept
{
    if (state == nullptr || input == nullptr || output == nullptr)
        return;
    unsigned i = 0;
    unsigned j = 0;
    for (int32_t p = 0; p < length; ++p) {
        i = (i + 1) & 0xFF;
        j = (j + state[i]) & 0xFF;
        swap(&state[i], &state[j]);
        output[p] = static_cast<unsigned char>(input[p] ^ state[(state[i] + state[j]) & 0xFF]);
    }
}

int32_t rc4encode(const unsigned char *key, int key_length, const unsigned char *input,
                  int32_t length, unsigned char *output) noexcept
{
    if (!valid_call(key, key_length, input, length, output))
        return -1;
    if (length == 0)
        return 0;
    WideState state;
    wide_schedule(state, key, key_length);
    wide_stream(state, input, static_cast<size_t>(length), output);
    return length;
}

int32_t rc4decode(const unsigned char *key, int key_length, const unsigned char *input,
                  int32_t length, unsigned char *output) noexcept
{
    return rc4encode(key, key_length, input, length, output);
}

int32_t rc4bin(const char *key, const unsigned char *input, int32_t length,
               unsigned char *output) noexcept
{
    if (key == nullptr)
        return -1;
    size_t key_length = std::strlen(key);
    if (key_length > INT32_MAX)
        return -1;
    return rc4encode(reinterpret_cast<const unsigned char *>(key), static_cast<int>(key_length),
                     input, length, output);
}

int rc4(const char *key, const char *input, unsigned char *output) noexcept
{
    if (input == nullptr)
        return -1;
    size_t length = std::strlen(input);
    if (length > INT32_MAX)
        return -1;
    int32_t done = rc4bin(key, reinterpret_cast<const unsigned char *>(input),
                          static_cast<int32_t>(length), output);
    return done < 0 ? -1 : 0;
}
