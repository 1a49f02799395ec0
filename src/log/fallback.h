#ifndef LOG_FALLBACK_H
#define LOG_FALLBACK_H
/* Where log lines go when the day's log cannot be opened. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Path of the file that takes log lines when the daily log cannot be
 * opened: /tmp/ubrontex.log; on Windows %ProgramData%\VESK\ubrontex.log
 * (C:\ProgramData when the variable names no drive's absolute path), read
 * at the first call. Borrowed, constant. */
const char *log_fallback_path(void) UB_NOEXCEPT;

/* Opens the fallback file for appending. It lives where every user may
 * write, so only what no one else can have laid there is taken: on POSIX a
 * plain file of the effective user's own with one name, never through a
 * link; on Windows the host's own folder, made private when missing, that
 * only the system and the process's user may change, and in it a plain
 * file of one name that no one else may change. The descriptor, or -1 when
 * it cannot be opened or is refused; *size (when not NULL) receives the
 * file's size as opened. */
int log_fallback_open(int64_t *size) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
