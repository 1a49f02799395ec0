// Compiles the bytes before the first zero as a pattern and matches it
// against the bytes after it.
#include "core/re.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text = fuzz::text_copy(data, size);
    const size_t split = std::char_traits<char>::length(text.data());
    const char *subject = split < size ? text.data() + split + 1 : "";
    const re_object *pattern = re_compile(text.data());
    const int index = re_matchp(pattern, subject);
    fuzz::require(index >= -1 && (index == -1 || static_cast<size_t>(index) < size), "match index");
    fuzz::Silence silence;
    re_print(pattern);
    return 0;
}
