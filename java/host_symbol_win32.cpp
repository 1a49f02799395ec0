#include "host_symbol.h"

#include <windows.h>

void *host_symbol(intptr_t relay, const char *name) noexcept
{
    // Each module exports on its own: ask the one that holds the relay.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(relay), &module))
        return nullptr;
    return reinterpret_cast<void *>(GetProcAddress(module, name));
}
