// Splits the input as a URL and reads every part.
#include <cstring>

#include "fuzz_support.h"
#include "http/url.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text = fuzz::text_copy(data, size);
    fuzz::Silence silence;
    url *record = url_new(text.data());
    if (record == nullptr)
        return 0;
    size_t total = 0;
    for (const char *part : {url_get_protocol(record), url_get_user(record), url_get_pass(record),
                             url_get_host(record), url_get_port(record), url_get_path(record),
                             url_get_file(record), url_get_query(record)})
        total += part != nullptr ? std::strlen(part) : 0;
    fuzz::require(total <= 2 * size + 64, "parts stay within the text");
    url_free(record);
    return 0;
}
