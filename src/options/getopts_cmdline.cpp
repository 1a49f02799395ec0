#include "options/getopts.h"

#include <cstring>

#include "log/messages.hpp"
#include "util/vesk_utils.h"

namespace {

ub_option *find_letter(ub_option *table, char letter)
{
    for (ub_option *row = table; row->name != nullptr; ++row) {
        if (row->letter == letter)
            return row;
    }
    return nullptr;
}

// The option word at index, or NULL when there is none to parse.
const char *option_word(const ub_option *table, int argc, char *const *argv, int index)
{
    if (table == nullptr || argv == nullptr || index < 1 || index >= argc)
        return nullptr;
    const char *word = argv[index];
    return word != nullptr && word[0] == '-' ? word : nullptr;
}

} // namespace

int ub_getopt(ub_option *table, int argc, char *const *argv) noexcept
{
    if (table == nullptr || argv == nullptr)
        return -1;
    for (int index = 1; index < argc;) {
        const char *word = argv[index];
        if (word == nullptr)
            return -1;
        if (word[0] != '-')
            return index;
        int next = word[1] == '-' ? ub_getopt_process_long(table, argc, argv, index)
                                  : ub_getopt_process_opt(table, argc, argv, index);
        if (next <= index)
            return -1;
        index = next;
    }
    return 0;
}

int ub_getopt_process_long(ub_option *table, int argc, char *const *argv, int index) noexcept
{
    const char *word = option_word(table, argc, argv, index);
    if (word == nullptr || word[1] != '-')
        return index;
    if (word[2] == '\0')
        return argc;
    int next = index + 1;
    for (ub_option *row = table; row->name != nullptr; ++row) {
        if (std::strcmp(row->name, word + 2) != 0)
            continue;
        // A refused value stops here, so that a later row never takes the
        // option word itself as its value.
        next = ub_getopt_process(row, argc, argv, index, next);
        if (next == index)
            return index;
    }
    return next;
}

int ub_getopt_process_opt(ub_option *table, int argc, char *const *argv, int index) noexcept
{
    const char *word = option_word(table, argc, argv, index);
    if (word == nullptr)
        return index;
    int next = index + 1;
    for (const char *letter = word + 1; *letter != '\0'; ++letter) {
        ub_option *row = find_letter(table, *letter);
        if (row == nullptr)
            return index;
        // As for long options: a refused value is an error for any letter.
        next = ub_getopt_process(row, argc, argv, index, next);
        if (next == index)
            return index;
    }
    return next;
}

int ub_getopt_process(ub_option *row, int argc, char *const *argv, int index, int next) noexcept
{
    if (row == nullptr || argv == nullptr)
        return index;
    row->given = index;
    if (row->type == UB_OPT_SWITCH)
        return next;
    if (next >= argc || argv[next] == nullptr)
        return next + 1;
    if (row->type == UB_OPT_NUMBER && isNumber(argv[next]) == 0)
        return index;
    row->position = next;
    row->value = argv[next];
    return next + 1;
}

void ub_getopt_verbose(const ub_option *table) noexcept
{
    if (table == nullptr)
        return;
    for (const ub_option *row = table; row->name != nullptr; ++row) {
        if (row->type == UB_OPT_SWITCH)
            verbose_message(VESK_MSG_OPTIONS_ROW_CHECKED, row->name,
                            ub_getopt_isChecked(table, row->name));
        else
            verbose_message(VESK_MSG_OPTIONS_ROW_VALUE, row->name,
                            ub_getopt_getValue(table, row->name));
    }
}
