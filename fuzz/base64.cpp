// Decodes the input as Base64 text, and encodes then decodes it as bytes.
#include <cstdlib>
#include <cstring>

#include "codec/base64.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text = fuzz::text_copy(data, size);
    unsigned char *decoded = nullptr;
    int32_t count = b64_decode(text.data(), &decoded);
    fuzz::require(count < 0 || static_cast<size_t>(count) <= size, "decoded length bounded");
    if (count >= 0)
        std::free(decoded);
    if (size == 0)
        return 0;

    char *encoded = nullptr;
    int32_t length = b64_encode(data, static_cast<int32_t>(size), &encoded);
    fuzz::require(length == base64_get_encodedLen(static_cast<int32_t>(size)), "encoded length");
    fuzz::require(std::strlen(encoded) == static_cast<size_t>(length), "encoded text length");
    unsigned char *back = nullptr;
    fuzz::require(b64_decode(encoded, &back) == static_cast<int32_t>(size), "round trip length");
    fuzz::require(std::memcmp(back, data, size) == 0, "round trip bytes");
    std::free(back);
    std::free(encoded);
    return 0;
}
