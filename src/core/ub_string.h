#ifndef CORE_UB_STRING_H
#define CORE_UB_STRING_H
/* Growable text buffer: a zero-terminated text that grows by doubling as
 * texts are appended or prepended. */

#include <stddef.h>
#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: the caller owns the record and releases it with
 * string_free; the record owns its text. Texts given to the operations are
 * copied. A NULL record or NULL text is ignored where the contracts say so.
 * Growth failures (no memory, or a capacity past INT32_MAX) leave the
 * record unchanged and are reported with UB_STRING_NOMEM. */

/* Result of the growing operations when the buffer cannot grow. */
#define UB_STRING_NOMEM (-1)

/* A text and its buffer. While text is set, len < size and text[len] is 0;
 * a record without text has size and len 0. */
typedef struct ub_string {
    int32_t size; /* capacity of text in bytes, terminator included */
    int32_t len;  /* characters in text, terminator excluded */
    char *text;   /* owned, zero-terminated; NULL in an empty record */
} ub_string;

/* Gives a record without text a copy of text (size = length + 1); an
 * earlier text is not released. Returns the record; on a NULL argument or
 * when memory runs out the record is returned unchanged. */
ub_string *string_init(ub_string *string, const char *text) UB_NOEXCEPT;

/* New record, initialised from text when text is not NULL, empty (text
 * NULL) otherwise. NULL when memory runs out. Release with string_free. */
ub_string *string_new(const char *text) UB_NOEXCEPT;

/* Releases the text and the record; NULL is ignored. */
void string_free(ub_string *string) UB_NOEXCEPT;

/* Makes room for length more characters: when length >= size - len the
 * capacity becomes 2 * (size + length). Returns length, or UB_STRING_NOMEM
 * (record unchanged) when the buffer cannot grow. */
int32_t string_resize_len(ub_string *string, size_t length) UB_NOEXCEPT;

/* string_resize_len for the length of text. */
int32_t string_resize(ub_string *string, const char *text) UB_NOEXCEPT;

/* Appends length bytes of text (which need not be zero-terminated). Returns
 * the capacity size afterwards; 0 for a NULL record or text;
 * UB_STRING_NOMEM when the buffer cannot grow. */
int32_t string_append_len(ub_string *string, const char *text, size_t length) UB_NOEXCEPT;

/* string_append_len for the whole zero-terminated text. */
int32_t string_append(ub_string *string, const char *text) UB_NOEXCEPT;

/* Inserts text in front of the held text; results as string_append. */
int32_t string_prepend(ub_string *string, const char *text) UB_NOEXCEPT;

/* The record's text, borrowed (NULL for an empty record). */
char *string_get_text(const ub_string *string) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
