// Why a shared library failed to load, in the words the log uses.
#include "util/library_reason.h"

#include <cstdio>

void ub_library_reason(const platform_library_why *why, char *reason, size_t size) noexcept
{
    if (reason == nullptr || size == 0)
        return;
    if (why == nullptr || why->failure == PLATFORM_LIBRARY_MISSING)
        std::snprintf(reason, size, "%s", "nao encontrado");
    else if (why->text[0] != '\0')
        std::snprintf(reason, size, "%s", why->text);
    else
        std::snprintf(reason, size, "erro %d%s", why->error,
                      why->failure == PLATFORM_LIBRARY_BAD_FORMAT
                          ? " (biblioteca de 32/64 bits diferente do vesk.exe)"
                          : "");
}
