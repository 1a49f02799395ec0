#ifndef LOG_FALLBACK_H
#define LOG_FALLBACK_H
/* Where log lines go when the day's log cannot be opened. */

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Path of the file that takes log lines when the daily log cannot be
 * opened: /tmp/ubrontex.log; on Windows %ProgramData%\VESK\ubrontex.log
 * (C:\ProgramData when the variable names no drive's absolute path), read
 * at the first call. It lives where every user may write, so it is opened
 * as platform_open_append's shared place. Borrowed, constant. */
const char *log_fallback_path(void) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
