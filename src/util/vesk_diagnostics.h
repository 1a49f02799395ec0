#ifndef UTIL_VESK_DIAGNOSTICS_H
#define UTIL_VESK_DIAGNOSTICS_H
/* Texts for the log and for requests: the version, a clock time, a hex
 * dump, and the percent-encoding of form bodies. */

#include <stddef.h>
#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

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

UB_EXTERN_C_END

#endif
