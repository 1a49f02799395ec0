#ifndef UTIL_CONFIG_TEXT_H
#define UTIL_CONFIG_TEXT_H
/* Configuration text helpers: field splitting, number test, byte-order
 * marks, a key reader for key=value files and leading-zero removal. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Splits buffer in place at separator: each separator and each CR or LF
 * becomes a terminator, and the text after a separator is stored as the
 * next field. Stops once max_fields are stored, so the last field keeps the
 * rest. The number of fields (at least 1); 0 for NULL or max_fields < 1. */
int tokenizer(char separator, char *buffer, char **fields, int max_fields) UB_NOEXCEPT;

/* 1 when every character of text is a decimal digit or "." (also for the
 * empty text), 0 otherwise and for NULL. */
int isNumber(const char *text) UB_NOEXCEPT;

/* One byte-order mark: its name and its first length bytes. */
typedef struct ub_bom {
    const char *name;       /* encoding name, NULL in the row that ends the table */
    unsigned char bytes[4]; /* the mark; only the first length bytes count */
    uint32_t length;        /* 2 to 4 */
} ub_bom;

/* The known marks, UTF-8 first, ended by a row whose name is NULL. */
extern const ub_bom ub_bom_table[];

/* First row of ub_bom_table whose bytes begin data (FF FE 00 00 reads as
 * "UTF-16(LE)"), borrowed; NULL when none does or data is NULL. data must
 * hold at least four readable bytes. */
const ub_bom *ub_get_BOM(const void *data) UB_NOEXCEPT;

/* Shared empty text that get_config_ini stores for keys no line sets; it is
 * never freed or written. */
extern const char vesk_empty_text[];

/* Reads key=value lines of path into values (one slot per key of the
 * NULL-ended keys): per line, NULL slots get vesk_empty_text and "KEY=text"
 * gives KEY's slot a malloc'd copy of text, the last line winning. 0; 1 when
 * path cannot be opened; -1 for NULL keys/values or no memory (values kept). */
int get_config_ini(const char *path, const char *const *keys, const char **values) UB_NOEXCEPT;

/* Removes the leading "0" characters of text in place; how many were
 * removed (0 for NULL). */
int purgeZeros(char *text) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
