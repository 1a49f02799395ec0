#ifndef CORE_UB_VECTOR_H
#define CORE_UB_VECTOR_H
/* Vector of pointer-sized values (integers or pointers) that doubles its
 * capacity as values are inserted. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: the caller owns the vector and releases it with
 * vector_free; the vector never owns what its values point to. A NULL
 * vector gives 0 (-1 for vector_iter) and changes nothing. Insertions that
 * cannot grow the slot array return UB_VECTOR_NOMEM and leave the vector
 * unchanged. Removals never shrink the capacity. */

/* Result of an insertion when the slot array cannot grow. */
#define UB_VECTOR_NOMEM (-1)

/* A growable array of values. */
typedef struct ub_vector {
    int32_t capacity; /* slots in items; 2 at creation */
    int32_t count;    /* slots in use, 0 <= count <= capacity */
    intptr_t *items;  /* the slot array, owned */
} ub_vector;

/* Called by vector_iter for each index; returns 0 to go on, non-zero to
 * stop. user is vector_iter's user value, passed through untouched. */
typedef int (*vector_iter_callback)(ub_vector *vector, int32_t index, intptr_t value,
                                    intptr_t user);

/* New empty vector of capacity 2; NULL when memory runs out. */
ub_vector *vector_new(void) UB_NOEXCEPT;

/* Releases the slot array and the record, not what values point to. NULL
 * is ignored. */
void vector_free(ub_vector *vector) UB_NOEXCEPT;

/* Doubles the capacity. The new capacity, or UB_VECTOR_NOMEM (vector
 * unchanged) when memory runs out or the capacity would pass INT32_MAX. */
int32_t vector_resize(ub_vector *vector) UB_NOEXCEPT;

/* Appends value, growing first when full. The new count. */
int32_t vector_push(ub_vector *vector, intptr_t value) UB_NOEXCEPT;

/* Removes and returns the last value; 0 when the vector is empty. */
intptr_t vector_pop(ub_vector *vector) UB_NOEXCEPT;

/* The value at index; 0 when index is outside 0 .. count - 1. */
intptr_t vector_get_index(const ub_vector *vector, int32_t index) UB_NOEXCEPT;

/* Removes the value at index, moving later values down, and returns it; 0
 * (nothing changes) when index is outside 0 .. count - 1. */
intptr_t vector_remove_index(ub_vector *vector, int32_t index) UB_NOEXCEPT;

/* Removes every slot equal to value, keeping the order of the rest; the
 * number removed. */
int32_t vector_remove(ub_vector *vector, intptr_t value) UB_NOEXCEPT;

/* Empties the vector (capacity and slots stay); the count it had. */
int32_t vector_remove_all(ub_vector *vector) UB_NOEXCEPT;

/* Inserts value at index 0, growing first when full. The new count. */
int32_t vector_prepend(ub_vector *vector, intptr_t value) UB_NOEXCEPT;

/* Inserts value at index (count appends), growing first when full. The new
 * count; the unchanged count when index is below 0 or above count. */
int32_t vector_insert(ub_vector *vector, int32_t index, intptr_t value) UB_NOEXCEPT;

/* The number of values held. */
int32_t vector_length(const ub_vector *vector) UB_NOEXCEPT;

/* Calls callback for index 0, 1, ... while index < count (re-read before
 * each call) and stops at the first non-zero return. The index where it
 * stopped, the count (as the calls left it) when no call stopped it, -1 for
 * a NULL vector or callback. */
int32_t vector_iter(ub_vector *vector, vector_iter_callback callback, intptr_t user) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
