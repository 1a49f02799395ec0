// Codec throughput beside OpenSSL on 16 MiB of random bytes: Base64 encode
// and decode against EVP_EncodeBlock/EVP_DecodeBlock, RC4 against the
// legacy RC4 interface, and bin2hex against a plain table loop. Each side
// allocates its output per call, as a caller would. Best of several rounds.
// Run by hand: build/bench/codec_bench [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include <openssl/evp.h>
// The benchmark compares against the legacy RC4 interface on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <openssl/rc4.h>

#include "codec/base64.h"
#include "codec/rc4.h"

namespace {

constexpr size_t data_size = 16u << 20;

// Best throughput in GB/s of bytes processed over rounds runs of work.
double best_rate(int rounds, size_t bytes, const std::function<void()> &work)
{
    double best = 0;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        work();
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        best = std::max(best, static_cast<double>(bytes) / elapsed.count() / 1e9);
    }
    return best;
}

void report(const char *what, double ours, double theirs, const char *other)
{
    std::printf("%-12s %6.2f GB/s   %-16s %6.2f GB/s   ratio %.2f\n", what, ours, other, theirs,
                ours / theirs);
}

void require(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "codec_bench: %s differs\n", what);
        std::exit(1);
    }
}

RC4_KEY openssl_key;

} // namespace

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::vector<unsigned char> data(data_size);
    std::mt19937_64 random(42);
    for (size_t k = 0; k < data_size; k += 8) {
        uint64_t word = random();
        std::memcpy(&data[k], &word, 8);
    }
    const int32_t n = static_cast<int32_t>(data_size);
    const size_t text_size = static_cast<size_t>(base64_get_encodedLen(n));

    char *ours = nullptr;
    require(b64_encode(data.data(), n, &ours) == static_cast<int32_t>(text_size), "b64_encode");
    std::vector<unsigned char> theirs(text_size + 1);
    EVP_EncodeBlock(theirs.data(), data.data(), n);
    require(std::memcmp(ours, theirs.data(), text_size + 1) == 0, "Base64 text");

    double enc = best_rate(rounds, data_size, [&] {
        char *text = nullptr;
        b64_encode(data.data(), n, &text);
        std::free(text);
    });
    double enc_ssl = best_rate(rounds, data_size, [&] {
        auto *text = static_cast<unsigned char *>(std::malloc(text_size + 1));
        EVP_EncodeBlock(text, data.data(), n);
        std::free(text);
    });
    report("b64_encode", enc, enc_ssl, "EVP_EncodeBlock");

    unsigned char *decoded = nullptr;
    require(b64_decode(ours, &decoded) == n && std::memcmp(decoded, data.data(), data_size) == 0,
            "b64_decode");
    std::free(decoded);
    double dec = best_rate(rounds, text_size, [&] {
        unsigned char *bytes = nullptr;
        b64_decode(ours, &bytes);
        std::free(bytes);
    });
    double dec_ssl = best_rate(rounds, text_size, [&] {
        auto *bytes = static_cast<unsigned char *>(std::malloc(data_size + 3));
        EVP_DecodeBlock(bytes, reinterpret_cast<unsigned char *>(ours),
                        static_cast<int>(text_size));
        std::free(bytes);
    });
    report("b64_decode", dec, dec_ssl, "EVP_DecodeBlock");
    std::free(ours);

    const unsigned char key[] = "a sixteen-byte k";
    std::vector<unsigned char> out(data_size), out_ssl(data_size);
    rc4encode(key, 16, data.data(), n, out.data());
    RC4_set_key(&openssl_key, 16, key);
    RC4(&openssl_key, data_size, data.data(), out_ssl.data());
    require(out == out_ssl, "RC4 output");
    double rc4_rate =
        best_rate(rounds, data_size, [&] { rc4encode(key, 16, data.data(), n, out.data()); });
    double rc4_ssl = best_rate(rounds, data_size, [&] {
        RC4_set_key(&openssl_key, 16, key);
        RC4(&openssl_key, data_size, data.data(), out_ssl.data());
    });
    report("rc4encode", rc4_rate, rc4_ssl, "RC4");

    static const char digits[] = "0123456789ABCDEF";
    double hex = best_rate(rounds, data_size, [&] { std::free(bin2hex(data.data(), n)); });
    double hex_plain = best_rate(rounds, data_size, [&] {
        auto *text = static_cast<char *>(std::malloc(2 * data_size + 1));
        for (size_t k = 0; k < data_size; ++k) {
            text[2 * k] = digits[data[k] >> 4];
            text[2 * k + 1] = digits[data[k] & 15];
        }
        text[2 * data_size] = '\0';
        asm volatile("" : : "r"(text) : "memory"); // keep the loop's work
        std::free(text);
    });
    report("bin2hex", hex, hex_plain, "table loop");
    return 0;
}
#pragma GCC diagnostic pop
