#ifndef PLATFORM_PROCESS_H
#define PLATFORM_PROCESS_H
/* The running program: its folders, streams, identity and end. */

#include <stddef.h>
#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Copies the current directory into buffer (size bytes, terminator
 * included). 0 on success; -1, with buffer set to "", when it fails or
 * does not fit. */
int platform_getcwd(char *buffer, size_t size) UB_NOEXCEPT;

/* Copies the folder that holds the running executable (without a trailing
 * separator) into buffer. 0; -1, with buffer set to "", when it cannot be
 * told or does not fit. */
int platform_executable_dir(char *buffer, size_t size) UB_NOEXCEPT;

/* Where standard output or standard error leads nowhere (a windowless
 * Windows program started from a console window), connects it to the
 * console of the parent process, when there is one, so that messages reach
 * the operator. Does nothing on POSIX. */
void platform_console_attach(void) UB_NOEXCEPT;

/* Whether standard error leads to the system journal (systemd's, which
 * says so through JOURNAL_STREAM), where a line may begin with its syslog
 * priority ("<3>"). 1 or 0; always 0 on Windows. */
int platform_stderr_is_journal(void) UB_NOEXCEPT;

/* What the process may do with a path it is about to hand on. */
enum platform_path_access {
    PLATFORM_PATH_READABLE = 0,  /* it exists, and the effective user may read it (and list
                                    a folder) */
    PLATFORM_PATH_MISSING = 1,   /* nothing is there (or a part of the path is no folder) */
    PLATFORM_PATH_UNREADABLE = 2 /* it exists, but the effective user may not read it */
};

/* Judges path for the effective user, following links: a
 * platform_path_access, or -1 for a NULL path. */
int platform_path_access(const char *path) UB_NOEXCEPT;

/* Makes path the current directory of the process. 0; -1 when it cannot. */
int platform_set_cwd(const char *path) UB_NOEXCEPT;

/* The process's identifier, as the system shows it. */
int64_t platform_process_id(void) UB_NOEXCEPT;

/* Copies the system's folder for temporary files, as runtimes name it
 * ("/tmp"; on Windows the user's, from GetTempPath, without a trailing
 * separator) into buffer. 0; -1, with buffer set to "", when it does not
 * fit. */
int platform_temp_folder(char *buffer, size_t size) UB_NOEXCEPT;

/* Ends the process at once with status: no exit handlers, no flushing of
 * C streams, no library unloading, whatever other threads are doing. */
void platform_exit_now(int status) UB_NOEXCEPT;

/* Tells the service manager that started the process, through the socket
 * that NOTIFY_SOCKET names (systemd's notify protocol), the state lines in
 * state ("READY=1", "STOPPING=1", "STATUS=..." joined by line feeds). 0 when
 * sent; 1 when no manager listens (the variable is unset or empty, and
 * always on Windows, whose manager is told through platform_service_report);
 * -1 when the variable names no socket that takes it. */
int platform_notify_manager(const char *state) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
