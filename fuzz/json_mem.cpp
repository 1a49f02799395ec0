// Parses the input as a JSON text; a tree that parses must read back equal
// from its own compact text (a BOOLEAN as the INTEGER of its text). With
// VESK_JSON_TEXTS set, the texts whose numbers are standard are kept for
// Python's json reader to check (the fuzz_replay strict-reader test).
#include <cstdlib>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<char> text = fuzz::text_copy(data, size);
    fuzz::Silence silence;
    json_value *tree = json_parse_mem(text.data());
    if (tree == nullptr)
        return 0;
    char *serialized = json_serialize(tree);
    fuzz::require(serialized != nullptr, "serialize");
    json_value *again = json_parse_mem(serialized);
    fuzz::require(fuzz::json_equal(tree, again), "memory text reads back equal");
    if (fuzz::json_numbers_are_standard(tree))
        fuzz::keep_text_for_strict_reader(serialized);
    json_value_free(again);
    std::free(serialized);
    json_value_free(tree);
    return 0;
}
