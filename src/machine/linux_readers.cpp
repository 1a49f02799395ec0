// Readers of Linux system files that add members to the machine description.
#include "machine/w32_utils.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "machine/detail/machine_paths.hpp"

namespace {

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Lines and first lines are read through a buffer of this size; a longer
// line arrives in pieces.
constexpr int line_size = 256;

struct ProcRow {
    const char *prefix;
    const char *member; // NULL: the line counts one processor
};

constexpr ProcRow proc_rows[] = {
    {"processor", nullptr},
    {"vendor_id", "vendor"},
    {"model name", "model"},
};

// The text after "name<blanks>: " of a processor line, cut at the line
// feed; NULL when the line has no ":".
const char *proc_value(char *line)
{
    char *colon = std::strchr(line, ':');
    if (colon == nullptr)
        return nullptr;
    for (char *q = colon; *q != '\0'; ++q) {
        if (*q == '\n')
            *q = '\0';
    }
    // Skip the ":" and the blank after it, but never past the terminator.
    return colon[1] == '\0' ? colon + 1 : colon + 2;
}

void add_etc_member(json_value *object, const char *path, const char *member)
{
    File file(std::fopen(path, "r"));
    char line[line_size];
    if (!file || std::fgets(line, line_size, file.get()) == nullptr)
        return;
    char *cut = std::strpbrk(line, "\n\\");
    if (cut == nullptr)
        return;
    *cut = '\0';
    ub::detail::machine_add(object, member, json_string_new(line));
}

} // namespace

void vesk_machine_info_proc(json_value *object) noexcept
{
    if (!ub::detail::machine_is_object(object))
        return;
    const char *path = ub::detail::machine_paths().cpuinfo;
    File file(path != nullptr ? std::fopen(path, "r") : nullptr);
    if (!file)
        return;
    int32_t processors = 0;
    char line[line_size];
    while (std::fgets(line, line_size, file.get()) != nullptr) {
        for (const ProcRow &row : proc_rows) {
            if (std::strncmp(line, row.prefix, std::strlen(row.prefix)) != 0)
                continue;
            if (row.member == nullptr) {
                ++processors;
                continue;
            }
            const char *value = proc_value(line);
            if (value != nullptr)
                ub::detail::machine_add(object, row.member, json_string_new(value));
        }
    }
    ub::detail::machine_add(object, "cores", json_integer_new(processors));
}

void vesk_machine_info_etc(json_value *object) noexcept
{
    if (!ub::detail::machine_is_object(object))
        return;
    const vesk_machine_paths &paths = ub::detail::machine_paths();
    const std::pair<const char *, const char *> rows[] = {
        {paths.issue, "so"},
        {paths.machine_id, "id"},
        {paths.hostname, "hostname"},
    };
    for (const auto &[path, member] : rows) {
        if (path != nullptr)
            add_etc_member(object, path, member);
    }
}
