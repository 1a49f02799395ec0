// Parses an argument vector cut from the input at zero bytes over a table
// with one row of each option type.
#include "fuzz_support.h"
#include "options/getopts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> words = fuzz::split_at_zero(data, size);
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    ub_option table[] = {
        {0, 'h', UB_OPT_SWITCH, "help", "", 0, ""},
        {0, 's', UB_OPT_STRING, "string", "", 0, ""},
        {0, 'n', UB_OPT_NUMBER, "number", "0", 0, ""},
        {0, 'k', UB_OPT_KEY, "key", "", 0, ""},
        {0, 'o', UB_OPT_CHOICE, "choice", "", 0, ""},
        {0, 'b', UB_OPT_BOOLEAN, "boolean", "", 0, ""},
        {0, 'x', UB_OPT_STRING, "string", "", 0, ""},
        {0, 0, 0, nullptr, nullptr, 0, nullptr},
    };
    const int argc = static_cast<int>(words.size());
    fuzz::Silence silence;
    const int result = ub_getopt(table, argc, argv.data());
    fuzz::require(result >= -1 && result < argc, "ub_getopt result");
    for (const ub_option &row : table)
        fuzz::require(row.name == nullptr || row.value != nullptr, "values stay set");
    return 0;
}
