// Parses the input as a JSON text; a tree that parses must read back equal
// from its own compact text.
#include <cstdlib>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text = fuzz::text_copy(data, size);
    fuzz::Silence silence;
    json_value *tree = json_parse_mem(text.data());
    if (tree == nullptr)
        return 0;
    const bool names_kept = !fuzz::json_has_unwritable_name(tree);
    char *serialized = json_serialize(tree);
    fuzz::require(serialized != nullptr, "serialize");
    json_value *again = json_parse_mem(serialized);
    if (names_kept)
        fuzz::require(fuzz::json_equal(tree, again), "memory text reads back equal");
    json_value_free(again);
    std::free(serialized);
    json_value_free(tree);
    return 0;
}
