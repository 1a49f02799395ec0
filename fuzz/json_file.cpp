// Parses the input as a JSON file, zero bytes included, and compares the
// tree with the memory parse of the bytes before the first zero byte. A
// zero byte ends a file outside strings and comments; inside a string it
// ends that text and the file reads on. So the two agree whenever the bytes
// hold no zero or the text before it is a whole document.
#include <cstdio>
#include <cstring>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> bytes(data, data + size);
    std::vector<char> text = fuzz::text_copy(data, size);
    fuzz::Silence silence;
    FILE *file = fmemopen(size > 0 ? bytes.data() : text.data(), size > 0 ? size : 1, "rb");
    fuzz::require(file != nullptr, "fmemopen");
    json_value *from_file = json_parse_file(file);
    std::fclose(file);
    json_value *from_memory = json_parse_mem(text.data());
    if (size == 0 || std::memchr(data, 0, size) == nullptr || from_memory != nullptr)
        fuzz::require(fuzz::json_equal(from_file, from_memory), "file and memory parses agree");
    json_value_free(from_file);
    json_value_free(from_memory);
    return 0;
}
