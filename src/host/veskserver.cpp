#include "host/veskserver.h"

#include <cstdlib>
#include <cstring>

#include "host/service_config.h"
#include "log/verbose.h"

namespace {

// Slots of the parameter list: the words, every option row as a pair, and
// room for the terminating NULL.
int list_slots(int argc)
{
    return argc + 2 * configs_len + 2;
}

// Appends each option row's name and current value; the count of slots used.
int copy_options(char **list)
{
    int used = 0;
    for (const ub_option *row = configs; row->name != nullptr; ++row) {
        list[used++] = const_cast<char *>(row->name);
        list[used++] = const_cast<char *>(row->value);
    }
    return used;
}

// Merges the pairs argv[1..]: an equal key gets the new value in place, any
// other name is appended. The count of slots used afterwards.
int merge_words(char **list, int used, int argc, char **argv)
{
    for (int k = 1; k + 1 < argc; k += 2) {
        int j = 0;
        while (j < used && std::strcmp(list[j], argv[k]) != 0)
            j += 2;
        if (j < used) {
            list[j + 1] = argv[k + 1];
        } else {
            list[used++] = argv[k];
            list[used++] = argv[k + 1];
        }
    }
    return used;
}

void log_params(char *const *list, int used)
{
    verbose_in(&logger, VERBOSE_INFO, "Init Params:\n");
    for (int j = 0; j + 1 < used; j += 2)
        verbose_in(&logger, VERBOSE_INFO, "\t'%s' = '%s'\n", list[j], list[j + 1]);
}

} // namespace

int vesk_start(int argc, char **argv) noexcept
{
    config_init("VESK");
    if (argc < 1 || argv == nullptr)
        argc = 1;
    // The texts belong to the option table and argv; only the array is ours.
    char **list = static_cast<char **>(std::calloc(static_cast<size_t>(list_slots(argc)),
                                                   sizeof(char *)));
    if (list == nullptr) {
        verbose_in(&logger, VERBOSE_FATAL, "Falha ao tentar iniciar VESKServer.\n");
        return VESK_NO_SERVER;
    }
    int used = merge_words(list, copy_options(list), argc, argv);
    log_params(list, used);
    // The Java server is launched from this list once the JVM bridge exists.
    std::free(list);
    return VESK_OK;
}
