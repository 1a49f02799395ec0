// What the kit's native half asks of the program it was loaded into: a
// function exported by the vesk executable whose log relay it was handed.
#ifndef JAVA_HOST_SYMBOL_H
#define JAVA_HOST_SYMBOL_H

#include <cstdint>

// The exported function name of the program that holds relay (the address
// of the host's log relay), or NULL when that program exports none.
void *host_symbol(intptr_t relay, const char *name) noexcept;

#endif
