// The configuration text helpers, the byte-order mark lookup, percent
// encoding and the hex dump on the input.
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "util/vesk_utils.h"

namespace {

void split_fields(const uint8_t *data, size_t size)
{
    if (size == 0)
        return;
    std::vector<char> buffer = fuzz::text_copy(data + 1, size - 1);
    char *fields[8] = {};
    const int count = tokenizer(static_cast<char>(data[0]), buffer.data(), fields, 8);
    fuzz::require(count >= 1 && count <= 8, "field count");
    for (int i = 0; i < count; ++i)
        fuzz::require(fields[i] >= buffer.data() && fields[i] < buffer.data() + buffer.size(),
                      "fields inside the buffer");
}

void check_text(const uint8_t *data, size_t size)
{
    std::vector<char> text = fuzz::text_copy(data, size);
    const size_t length = std::strlen(text.data());
    isNumber(text.data());
    char *encoded = char2http(text.data());
    fuzz::require(encoded != nullptr && std::strlen(encoded) <= 3 * length, "char2http length");
    std::free(encoded);
    const int removed = purgeZeros(text.data());
    fuzz::require(removed >= 0 && std::strlen(text.data()) + static_cast<size_t>(removed) == length,
                  "purgeZeros count");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    split_fields(data, size);
    check_text(data, size);

    std::vector<unsigned char> padded(data, data + size);
    padded.resize(size < 4 ? 4 : size, 0);
    const ub_bom *bom = ub_get_BOM(padded.data());
    fuzz::require(bom == nullptr || std::memcmp(bom->bytes, padded.data(), bom->length) == 0,
                  "mark found at the start");

    char *dump = vesk_hexlog(data, static_cast<int>(size));
    fuzz::require(dump != nullptr, "hex dump");
    std::free(dump);
    return 0;
}
