// The library from C++ through find_package(vesk): the same calls, with
// the caller-owned results held by smart pointers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <vesk/codec/base64.h>
#include <vesk/json/json.h>
#include <vesk/log/verbose.h>

struct JsonFree {
    void operator()(json_value *value) const { json_value_free(value); }
};
struct TextFree {
    void operator()(char *text) const { std::free(text); }
};

int main()
{
    std::unique_ptr<json_value, JsonFree> doc(json_parse_mem("{'user': 'ana', 'id': 7}"));
    if (!doc)
        return 1;
    verbose(stdout, "user %s\n", json_object_get_string(doc.get(), "user"));
    std::unique_ptr<char, TextFree> text(json_serialize(doc.get()));
    std::printf("json %s\n", text.get());
    char *encoded = nullptr;
    b64_encode(reinterpret_cast<const unsigned char *>(text.get()),
               static_cast<int32_t>(std::strlen(text.get())), &encoded);
    std::unique_ptr<char, TextFree> owned(encoded);
    std::printf("base64 %s\n", owned.get());
    return 0;
}
