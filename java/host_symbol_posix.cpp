#include "host_symbol.h"

#include <dlfcn.h>

void *host_symbol(intptr_t relay, const char *name) noexcept
{
    // The executable exports its functions to the process's global scope,
    // which is searched first; the relay's address adds nothing here.
    (void)relay;
    return dlsym(RTLD_DEFAULT, name);
}
