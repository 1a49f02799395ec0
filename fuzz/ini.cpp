// Reads the input as an option file three ways: into an option table (with
// and without its notices), one key at a time, and as the configuration keys
// of a key list.
#include <cstdlib>
#include <cstring>

#include "fuzz_support.h"
#include "options/getopts.h"
#include "util/vesk_utils.h"

namespace {

void read_table(const char *path)
{
    ub_option table[] = {
        {0, 'c', UB_OPT_STRING, "CLASSPATH", "lib", 0, ""},
        {0, 'v', UB_OPT_NUMBER, "VERBOSITY", "4", 0, ""},
        {0, 'C', UB_OPT_STRING, "C", "", 0, ""},
        {0, 'e', UB_OPT_STRING, "", "", 0, ""},
        {0, 0, 0, nullptr, nullptr, 0, nullptr},
    };
    // The second read replaces the copies of the first; the reporting read
    // counts as the plain one, and tells of lines in order, names bounded.
    int count = ub_getopt_ini(path, table);
    fuzz::require(count >= 0, "first read");
    fuzz::require(ub_getopt_ini(path, table) >= 0, "second read");
    // (line, column) of the last notice: each comes later in the file.
    int64_t last[2] = {0, -1};
    auto told = [](void *context, int notice, int32_t line, int64_t column, const char *name) {
        int64_t *previous = static_cast<int64_t *>(context);
        bool later = line > previous[0] || (line == previous[0] && column > previous[1]);
        fuzz::require(later && column >= 0 && notice >= UB_INI_CUT && notice <= UB_INI_AFTER_CR &&
                          std::strlen(name) < 2048,
                      "ub_getopt_ini_report notice");
        previous[0] = line;
        previous[1] = column;
    };
    fuzz::require(ub_getopt_ini_report(path, table, told, last) == count, "reporting read");
    ub_getopt_release(table);
}

void read_keys(const char *path)
{
    for (int size : {1, 8, 4096}) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1, 'x');
        buffer.back() = '\0';
        fuzz::require(ub_getopt_key_in_file(path, "CLASSPATH", buffer.data(), size) >= 0 &&
                          std::strlen(buffer.data()) <= static_cast<size_t>(size),
                      "ub_getopt_key_in_file");
    }
    const char *const keys[] = {"CLASSPATH", "C", "", nullptr};
    const char *values[3] = {nullptr, nullptr, nullptr};
    fuzz::require(get_config_ini(path, keys, values) == 0, "get_config_ini");
    for (const char *value : values)
        if (value != vesk_empty_text)
            std::free(const_cast<char *>(value));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *path = fuzz::scratch_file(data, size);
    read_table(path);
    read_keys(path);
    return 0;
}
