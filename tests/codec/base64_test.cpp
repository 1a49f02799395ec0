#include "codec/base64.h"

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<unsigned char>;

const unsigned char *data_of(const std::string &text)
{
    return reinterpret_cast<const unsigned char *>(text.data());
}

std::string encode(const std::string &bytes)
{
    char *text = nullptr;
    int32_t n = b64_encode(data_of(bytes), static_cast<int32_t>(bytes.size()), &text);
    if (n < 0)
        return "error " + std::to_string(n);
    std::string result(text);
    std::free(text);
    EXPECT_EQ(static_cast<size_t>(n), result.size());
    return result;
}

// The decoded bytes as a string, or "error <code>".
std::string decode(const std::string &text)
{
    unsigned char *bytes = nullptr;
    int32_t n = b64_decode(text.c_str(), &bytes);
    if (n < 0) {
        EXPECT_EQ(bytes, nullptr);
        return "error " + std::to_string(n);
    }
    std::string result(reinterpret_cast<char *>(bytes), static_cast<size_t>(n));
    std::free(bytes);
    return result;
}

TEST(Base64, Rfc4648VectorsBothWays)
{
    const std::pair<std::string, std::string> rows[] = {
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {std::string("\0\xff\xfe", 3), "AP/+"},
    };
    for (const auto &[bytes, text] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(encode(bytes), text);
        EXPECT_EQ(decode(text), bytes);
    }
    EXPECT_EQ(encode(""), "error -1");
    char *untouched = nullptr;
    EXPECT_EQ(b64_encode(nullptr, 3, &untouched), CODEC_ERR_INPUT);
    EXPECT_EQ(untouched, nullptr);
}

TEST(Base64, EncodedLengthStaysWithinSignedThirtyTwoBits)
{
    EXPECT_EQ(base64_get_encodedLen(0), 0);
    EXPECT_EQ(base64_get_encodedLen(1), 4);
    EXPECT_EQ(base64_get_encodedLen(3), 4);
    EXPECT_EQ(base64_get_encodedLen(4), 8);
    EXPECT_EQ(base64_get_encodedLen(1 << 28), 357913944); // 8 * n would wrap here
    EXPECT_EQ(base64_get_encodedLen(1610612733), 2147483644);
    EXPECT_EQ(base64_get_encodedLen(1610612734), -1);
    EXPECT_EQ(base64_get_encodedLen(-1), -1);
    char *text = nullptr;
    unsigned char byte = 0;
    EXPECT_EQ(b64_encode(&byte, 1610612734, &text), CODEC_ERR_INPUT); // refused before reading
    EXPECT_EQ(text, nullptr);
}

TEST(Base64, DecodeEdgeCases)
{
    const std::pair<std::string, std::string> rows[] = {
        {"QUJD", "ABC"},
        {"QUI=", "AB"},
        {"QQ==", "A"},
        {"QQ==QUJDREVG", "A"},            // a padded block ends the decoding
        {"QUI=Q===", "AB"},               // what follows a padded block is not looked at
        {"A=BC", std::string("\0\0", 2)}, // "=" counts as 0 wherever it stands
        {" Q\tU\r\nJ D\n", "ABC"},        // stray characters are skipped
        {"QUJ", "error -1"},
        {"QUJDR", "error -1"},
        {"QUJDRE", "error -1"},
        {"QUJDREV", "error -1"},
        {"QQ==Q", "error -1"}, // the count covers the text after the pad too
        {"", "error -1"},
        {"*** \n", "error -1"},
        {"Q===", "error -3"},
        {"====", "error -3"},
        {"QUJDQ===QUJD", "error -3"},
    };
    for (const auto &[text, expected] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(decode(text), expected);
    }
    unsigned char *out = nullptr;
    EXPECT_EQ(b64_decode(nullptr, &out), CODEC_ERR_INPUT);
}

TEST(Base64, RandomRoundTripsAndStrayCharactersAnywhere)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(random() % 1001, '\0');
        for (char &c : bytes)
            c = static_cast<char>(random());
        SCOPED_TRACE(bytes.size());
        if (bytes.empty())
            continue;
        std::string text = encode(bytes);
        ASSERT_EQ(text.size(), (bytes.size() + 2) / 3 * 4);
        ASSERT_EQ(text.find('\n'), std::string::npos);
        ASSERT_EQ(decode(text), bytes);
    }
    // Every insertion point, so that blocks of four go through both the
    // four-at-a-time path and the one-at-a-time path.
    const std::string bytes = "any carnal pleasure, and more!!"; // ends in "=="
    const std::string text = encode(bytes) + "QUJD";
    for (size_t at = 0; at <= text.size(); ++at) {
        for (const char *stray : {"\n", " ", "\r\n", "*~"}) {
            std::string noisy = text;
            noisy.insert(at, stray);
            ASSERT_EQ(decode(noisy), bytes) << "at " << at << " stray " << stray;
        }
    }
}

TEST(Hex, DecodesInPlaceUpperCasingAndEncodesUpperCase)
{
    char text[] = "0aFf";
    unsigned char *bytes = hex2bin(text);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(Bytes(bytes, bytes + 2), (Bytes{0x0A, 0xFF}));
    EXPECT_STREQ(text, "0AFF");
    std::free(bytes);

    char odd[] = "abc";
    unsigned char *out = nullptr;
    EXPECT_EQ(ub_hex2bin(odd, &out), 1);
    EXPECT_EQ(out[0], 0xAB);
    EXPECT_STREQ(odd, "ABc"); // the unpaired last character is left alone
    std::free(out);
    EXPECT_EQ(hex2bin(nullptr), nullptr);

    const unsigned char raw[] = {0x0A, 0xFF, 0x00, 0x9c};
    char *hex = bin2hex(raw, 4);
    EXPECT_STREQ(hex, "0AFF009C");
    std::free(hex);
    hex = bin2hex(nullptr, 0);
    EXPECT_STREQ(hex, "");
    std::free(hex);
    EXPECT_EQ(bin2hex(raw, -1), nullptr);
}

TEST(Codecs, DispatchByExactName)
{
    char text[] = "0aff";
    unsigned char *bytes = reinterpret_cast<unsigned char *>(text);
    EXPECT_EQ(ub_str_decoder(text, &bytes, "raw"), 4);
    EXPECT_STREQ(reinterpret_cast<char *>(bytes), "0aff");
    std::free(bytes);
    EXPECT_EQ(ub_str_decoder(text, &bytes, "hex"), 2);
    EXPECT_EQ(Bytes(bytes, bytes + 2), (Bytes{0x0A, 0xFF}));
    std::free(bytes);
    char b64[] = "QUJD";
    EXPECT_EQ(ub_str_decoder(b64, &bytes, "b64"), 3);
    std::free(bytes);
    char bad[] = "QUJ";
    EXPECT_EQ(ub_str_decoder(bad, &bytes, "b64"), CODEC_ERR_INPUT);
    EXPECT_EQ(bytes, nullptr);
    for (const char *unknown : {"B64", "Raw", "base64", "", static_cast<const char *>(nullptr)}) {
        bytes = reinterpret_cast<unsigned char *>(text);
        EXPECT_EQ(ub_str_decoder(b64, &bytes, unknown), 0);
        EXPECT_EQ(bytes, nullptr);
    }

    const unsigned char raw[] = {'A', 'B', 'C'};
    char *out = text;
    EXPECT_EQ(ub_str_encoder(raw, 3, &out, "raw"), 0); // 0, although out holds the copy
    EXPECT_STREQ(out, "ABC");
    std::free(out);
    EXPECT_EQ(ub_str_encoder(raw, 3, &out, "b64"), 4);
    EXPECT_STREQ(out, "QUJD");
    std::free(out);
    EXPECT_EQ(ub_str_encoder(raw, 3, &out, "hex"), 0);
    EXPECT_STREQ(out, "414243");
    std::free(out);
    EXPECT_EQ(ub_str_encoder(raw, 0, &out, "b64"), CODEC_ERR_INPUT);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(ub_str_encoder(raw, 3, &out, "HEX"), 0);
    EXPECT_EQ(out, nullptr);
}

} // namespace
