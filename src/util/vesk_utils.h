#ifndef UTIL_VESK_UTILS_H
#define UTIL_VESK_UTILS_H
/* Small routines shared by the host and the support library: the sleep of
 * the service loop, the parameter-list lookup, the loader that fills
 * function pointers from a shared library, configuration text helpers, and
 * the version, clock, hex dump and percent-encoding texts. */

#include <stddef.h>
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

/* Results of ub_libloader. */
enum ub_libloader_result {
    UB_LIBLOADER_OK = 0,
    UB_LIBLOADER_NULL = -1,       /* file name or record is NULL */
    UB_LIBLOADER_NOT_LOADED = 2,  /* the library could not be loaded */
    UB_LIBLOADER_NO_PROCEDURE = 3 /* a procedure is missing from it */
};

/* One procedure to resolve: the caller's function-pointer variable and the
 * exported name. A list of entries ends with one whose name is NULL. */
typedef struct ub_libloader_entry {
    void *target;     /* address of the caller's function-pointer variable, written */
    const char *name; /* exported procedure name, borrowed */
} ub_libloader_entry;

/* A library to load and the procedures wanted from it. */
typedef struct ub_libloader_record {
    void *module;                /* library handle, written by ub_libloader */
    ub_libloader_entry *entries; /* borrowed, ended by a NULL name; NULL means none */
} ub_libloader_record;

/* Loads the library file_name and stores each entry's address through its
 * target, in order. UB_LIBLOADER_OK when all were found;
 * UB_LIBLOADER_NOT_LOADED after the log line "Erro (<n>) ao tentar carregar
 * (<file>)"; UB_LIBLOADER_NO_PROCEDURE after "Metodo '<name>' nao localizado
 * em '<file>'." (the library stays loaded, earlier targets stay filled). */
int ub_libloader(const char *file_name, ub_libloader_record *record) UB_NOEXCEPT;

/* Diagnostic texts: the version, a clock time and a hex dump for the log,
 * and the percent-encoding of form bodies. */

/* Size of the version text buffer, terminator included. */
#define VESK_VERSION_SIZE 256

/* Writes "major.minor.patch rREVISION (dd/mm/yyyy hh:mm)" of
 * util/vesk_version.h ("7.25.2 r19797 (15/03/2024 10:26)"), the build time
 * in local time, into buffer, which holds VESK_VERSION_SIZE bytes. NULL is
 * ignored. */
void vesk_make_version_string(char *buffer) UB_NOEXCEPT;

/* The version text, rebuilt on every call in one process-wide buffer (the
 * same pointer each time; safe to call from several threads). Borrowed:
 * never freed or written by the caller. */
const char *vesk_version(void) UB_NOEXCEPT;

/* Writes time (seconds since 1970-01-01 UTC) as local "hh:mm:ss" into
 * buffer, cut to size - 1 characters and always terminated when size > 0.
 * Returns buffer (NULL when buffer is NULL). */
char *vesk_getTime(int32_t time, char *buffer, size_t size) UB_NOEXCEPT;

/* Hex dump of length bytes: rows of 16 "XX " groups, five blanks and the
 * printable column, rows joined by line feeds, none at the end; a short last
 * row is padded so its column lines up. Zero or negative length, or NULL
 * data, gives the empty text. Caller frees; NULL when memory runs out. */
char *vesk_hexlog(const void *data, int length) UB_NOEXCEPT;

/* Writes one character per byte into out (bytes below 0x20 or above 0x7E as
 * '.') and a terminator; out holds length + 1 bytes. Returns the characters
 * written, terminator not counted: 0 for length <= 0, -1 for NULL pointers. */
int vesk_hexlog_ascii(const void *data, char *out, int length) UB_NOEXCEPT;

/* Percent-encodes text: letters and digits stay, every other byte becomes
 * "%XX" (upper-case hex; a space is "%20"). The result is zeroed to
 * 3 * (length + 1) bytes, so two bytes stay free after its terminator.
 * Caller frees; NULL for NULL text or when memory runs out. */
char *char2http(const char *text) UB_NOEXCEPT;

/* Configuration text helpers: field splitting, number test, byte-order
 * marks, a key reader for key=value files and leading-zero removal. */

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
