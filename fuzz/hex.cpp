// Reads the input as hexadecimal text and writes the bytes back as text; a
// text of hexadecimal digits comes back upper-cased.
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "codec/base64.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text = fuzz::text_copy(data, size);
    const std::string original(text.data());
    unsigned char *bytes = hex2bin(text.data());
    fuzz::require(bytes != nullptr, "hex2bin");
    const size_t count = original.size() / 2;
    char *back = bin2hex(bytes, static_cast<int32_t>(count));
    fuzz::require(back != nullptr && std::strlen(back) == 2 * count, "bin2hex length");
    bool digits = true;
    std::string upper;
    for (size_t i = 0; i < 2 * count; ++i) {
        const unsigned char c = static_cast<unsigned char>(original[i]);
        digits = digits && std::isxdigit(c) != 0;
        upper.push_back(static_cast<char>(std::toupper(c)));
    }
    fuzz::require(!digits || upper == back, "hex round trip");
    std::free(back);
    std::free(bytes);
    return 0;
}
