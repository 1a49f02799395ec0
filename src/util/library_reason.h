#ifndef UTIL_LIBRARY_REASON_H
#define UTIL_LIBRARY_REASON_H
/* Why a shared library failed to load, in the words the log uses. */

#include <stddef.h>

#include "platform/library.h"
#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Copies into reason (size bytes, cut to fit, terminated) why the load that
 * filled why failed: "nao encontrado" for a missing file, the loader's own
 * account where it gives one, otherwise "erro <number>", with a word on the
 * failure an operator meets most, a library of the other width. Nothing
 * when reason is NULL or size 0. */
void ub_library_reason(const platform_library_why *why, char *reason, size_t size) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
