#ifndef UTIL_VESK_PARAMS_H
#define UTIL_VESK_PARAMS_H
/* The parameter list that the host hands the Java server, and the sleep of
 * the service loop. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: a parameter list is an array of texts holding alternating key
 * and value, ended by the first NULL element; the list owns nothing and
 * keys compare exactly (case-sensitive). Lookups never return NULL: a
 * missing key gives a shared empty text that must not be freed or written. */

/* Result codes of vesk_findKey. */
enum vesk_find_result {
    VESK_FIND_NULL_LIST = -1, /* list is NULL */
    VESK_FIND_NOT_FOUND = -2  /* no key equals the name */
};

/* Suspends the calling thread for milliseconds ms. */
void ub_sleep(uint32_t milliseconds) UB_NOEXCEPT;

/* Index of the value of the first key equal to name (always odd), or a
 * vesk_find_result code. A final key without a value never matches. */
int vesk_findKey(char *const *list, const char *name) UB_NOEXCEPT;

/* Value of the first key equal to name, borrowed from the list; the shared
 * empty text when the key is missing or list or name is NULL. */
const char *vesk_getParam(char *const *list, const char *name) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
