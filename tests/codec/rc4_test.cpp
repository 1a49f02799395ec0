#include "codec/rc4.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<unsigned char>;

std::string hex(const unsigned char *bytes, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t k = 0; k < n; ++k) {
        text += digits[bytes[k] >> 4];
        text += digits[bytes[k] & 15];
    }
    return text;
}

struct KeystreamRow {
    size_t offset;
    const char *bytes;
};

// RFC 6229 test vectors: keystream (the encryption of zero bytes) at
// chosen offsets.
void expect_keystream(const Bytes &key, const std::vector<KeystreamRow> &rows)
{
    Bytes zeros(4112, 0);
    Bytes stream(zeros.size());
    ASSERT_EQ(rc4encode(key.data(), static_cast<int>(key.size()), zeros.data(),
                        static_cast<int32_t>(zeros.size()), stream.data()),
              static_cast<int32_t>(zeros.size()));
    unsigned char state[RC4_STATE_SIZE];
    ASSERT_EQ(KSA_in(static_cast<int>(key.size()), key.data(), state), 0);
    Bytes by_parts(zeros.size());
    PRGA(state, zeros.data(), static_cast<int32_t>(zeros.size()), by_parts.data());
    EXPECT_EQ(by_parts, stream);
    for (const KeystreamRow &row : rows) {
        SCOPED_TRACE(row.offset);
        EXPECT_EQ(hex(stream.data() + row.offset, 16), row.bytes);
    }
}

TEST(Rc4, MatchesPublishedKeystreams)
{
    expect_keystream({1, 2, 3, 4, 5}, {{0, "b2396305f03dc027ccc3524a0a1118a8"},
                                       {16, "6982944f18fc82d589c403a47a0d0919"},
                                       {240, "28cb1132c96ce286421dcaadb8b69eae"},
                                       {256, "1cfcf62b03eddb641d77dfcf7f8d8c93"},
                                       {1008, "45129048e6a0ed0b56b490338f078da5"},
                                       {1024, "30abbcc7c20b01609f23ee2d5f6bb7df"},
                                       {4096, "ff25b58995996707e51fbdf08b34d875"}});
    expect_keystream({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
                     {{0, "9ac7cc9a609d1ef7b2932899cde41b97"},
                      {16, "5248c4959014126a6e8a84f11d1a9e1c"},
                      {240, "065902e4b620f6cc36c8589f66432f2b"},
                      {256, "d39d566bc6bce3010768151549f3873f"},
                      {1008, "e7a72574f8782ae26aabcf9ebcd66065"},
                      {1024, "bdf0324e6083dcc6d3cedd3ca8c53c16"},
                      {4096, "a36a4c301ae8ac13610ccbc12256cacc"}});
}

TEST(Rc4, EntryPointsAgreeAndWorkInPlace)
{
    // A key byte above 127 checks that key bytes are taken as unsigned.
    const char key[] = "Key\xe9";
    const char text[] = "Plaintext with some length to it";
    const auto *plain = reinterpret_cast<const unsigned char *>(text);
    int32_t n = static_cast<int32_t>(std::strlen(text));
    Bytes by_text(n), by_bin(n), by_encode(n), by_decode(n);
    EXPECT_EQ(rc4(key, text, by_text.data()), 0);
    EXPECT_EQ(rc4bin(key, plain, n, by_bin.data()), n);
    EXPECT_EQ(
        rc4encode(reinterpret_cast<const unsigned char *>(key), 4, plain, n, by_encode.data()), n);
    EXPECT_EQ(
        rc4decode(reinterpret_cast<const unsigned char *>(key), 4, plain, n, by_decode.data()), n);
    EXPECT_EQ(by_text, by_bin);
    EXPECT_EQ(by_text, by_encode);
    EXPECT_EQ(by_text, by_decode);

    unsigned char state[RC4_STATE_SIZE];
    ASSERT_EQ(KSA(key, state), 0);
    Bytes by_parts(n);
    PRGA(state, plain, n, by_parts.data());
    EXPECT_EQ(by_parts, by_text);

    Bytes buffer = by_text; // decrypting in place gives the plain text back
    EXPECT_EQ(rc4bin(key, buffer.data(), n, buffer.data()), n);
    EXPECT_EQ(std::string(buffer.begin(), buffer.end()), text);

    const unsigned char wiki_key[] = {'K', 'e', 'y'};
    Bytes out(9);
    rc4encode(wiki_key, 3, reinterpret_cast<const unsigned char *>("Plaintext"), 9, out.data());
    EXPECT_EQ(hex(out.data(), out.size()), "bbf316e8d940af0ad3");
}

TEST(Rc4, EmptyDataDoesNothingAndBadArgumentsFail)
{
    unsigned char out[4] = {7, 7, 7, 7};
    const unsigned char key[] = {1};
    EXPECT_EQ(rc4encode(key, 1, out, 0, out), 0);
    EXPECT_EQ(rc4bin("k", nullptr, 0, nullptr), 0);
    EXPECT_EQ(rc4("k", "", out), 0);
    EXPECT_EQ(out[0], 7);
    // An empty key has no keystream.
    EXPECT_EQ(rc4encode(key, 0, out, 4, out), -1);
    EXPECT_EQ(rc4bin("", out, 4, out), -1);
    EXPECT_EQ(KSA("", out), -1);
    EXPECT_EQ(rc4encode(key, 1, nullptr, 4, out), -1);
    EXPECT_EQ(rc4encode(key, 1, out, -1, out), -1);
    EXPECT_EQ(rc4(nullptr, "x", out), -1);
    EXPECT_EQ(out[0], 7);
}

} // namespace
