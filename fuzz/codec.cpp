// Runs the decoder and the encoder named by the bytes before the first zero
// on the bytes after it.
#include <cstdlib>

#include "codec/base64.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text = fuzz::text_copy(data, size);
    const size_t split = std::char_traits<char>::length(text.data());
    const size_t start = split < size ? split + 1 : size;
    std::vector<char> payload = fuzz::text_copy(data + start, size - start);
    const char *codec = text.data();

    unsigned char *bytes = nullptr;
    if (ub_str_decoder(payload.data(), &bytes, codec) >= 0)
        std::free(bytes);
    else
        fuzz::require(bytes == nullptr, "failed decoder leaves no buffer");

    char *encoded = nullptr;
    const auto length = static_cast<int32_t>(size - start);
    if (ub_str_encoder(data + start, length, &encoded, codec) >= 0)
        std::free(encoded);
    else
        fuzz::require(encoded == nullptr, "failed encoder leaves no text");
    return 0;
}
