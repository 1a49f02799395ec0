#ifndef CORE_UB_SLIST_H
#define CORE_UB_SLIST_H
/* Singly linked list: a list is the pointer to its first node, the empty
 * list is NULL, and elements are compared by identity. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: operations that change a list return the list to use
 * afterwards (its first node may change). The caller owns the nodes and
 * releases them with ub_slist_remove_data or ub_slist_remove_all; only
 * ub_slist_remove_all releases the data too (with free). A failed node
 * allocation is logged as "malloc ERROR..." and leaves the list unchanged. */

/* One node. */
typedef struct ub_slist {
    void *data;            /* the element, compared by identity */
    struct ub_slist *next; /* following node, NULL at the end */
} ub_slist;

/* Orders two elements, the earlier first: greater than 0 when the first
 * belongs after the second. */
typedef int32_t (*ub_slist_compare)(const void *first, const void *second);

/* Adds data at the end; the list (the new node for an empty list). */
ub_slist *ub_slist_append(ub_slist *list, void *data) UB_NOEXCEPT;

/* Adds data at the front; the new first node. */
ub_slist *ub_slist_prepend(ub_slist *list, void *data) UB_NOEXCEPT;

/* Number of nodes; 0 for the empty list. */
int32_t ub_slist_length(const ub_slist *list) UB_NOEXCEPT;

/* Unlinks and releases the first node holding data (not the data itself)
 * and returns the list. A NULL data value matches nothing and returns the
 * list unchanged. */
ub_slist *ub_slist_remove_data(ub_slist *list, const void *data) UB_NOEXCEPT;

/* Releases every node and, with free, its data. Always 0. */
int ub_slist_remove_all(ub_slist *list) UB_NOEXCEPT;

/* Stable bubble sort that relinks nodes; the new first node. A NULL
 * comparator leaves the list as it is. */
ub_slist *ub_slist_sort(ub_slist *list, ub_slist_compare compare) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
