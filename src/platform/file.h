#ifndef PLATFORM_FILE_H
#define PLATFORM_FILE_H
/* Files by path and by descriptor: paths, appending, reading a file's end,
 * status and deletion. */

#include <stddef.h>
#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Separator between the parts of a path. */
#if defined(_WIN32)
#define PLATFORM_PATH_SEP '\\'
#define PLATFORM_PATH_SEP_STR "\\"
#else
#define PLATFORM_PATH_SEP '/'
#define PLATFORM_PATH_SEP_STR "/"
#endif

/* 1 where a path may start with a drive, a letter and ':' ("C:\\"), else 0. */
#if defined(_WIN32)
#define PLATFORM_PATH_DRIVES 1
#else
#define PLATFORM_PATH_DRIVES 0
#endif

/* Separator between the paths of a path list (a class path, a library path). */
#if defined(_WIN32)
#define PLATFORM_PATH_LIST_SEP ';'
#else
#define PLATFORM_PATH_LIST_SEP ':'
#endif

/* Room for any path the system hands out, terminator included. */
#define PLATFORM_PATH_MAX 4096

/* Where a file opened by platform_open_append lives, which decides what it
 * must turn out to be. */
enum platform_append_place {
    PLATFORM_APPEND_SHARED_FOLDER = 0, /* a folder every user may write to */
    PLATFORM_APPEND_OWN_FOLDER = 1     /* a folder of the operator's own */
};

/* Opens path for appending, creating it when missing with mode 0640 (less
 * what the umask removes; on Windows an access list of its own, nothing
 * inherited: SYSTEM, Administrators and the token's user, full control).
 * The descriptor may also read the file (platform_read_tail) where the
 * file's permissions let the process read it.
 * Every write lands at the end of the file as one piece. The open never
 * waits (a FIFO without a reader fails at once), and the file opened must
 * be a regular file. In a shared folder it must also be owned by the
 * effective user and have exactly one link, and a symbolic link in the last
 * component is refused. On Windows the shared place is the folder that
 * holds the file, itself below a folder where every user may add (a
 * program's own under %ProgramData%): it is made when missing with the same
 * access list, opened
 * without following a reparse point, and taken only when owned by SYSTEM,
 * Administrators, TrustedInstaller or the token's user with no one else
 * allowed to change it; the file, opened relative to it, must be owned so
 * too, have one link, no other writer and be no reparse point. In an own
 * folder links are followed, and any owner
 * and link count will do, so that a file an operator hard-linked or one of
 * another user the process may write for keeps working. The checks are
 * made on the open descriptor, never by a second lookup of the path. The
 * descriptor, or -1 when the file cannot be opened or is refused. When size
 * is not NULL it receives the file's size in bytes as opened. */
int platform_open_append(const char *path, int place, int64_t *size) UB_NOEXCEPT;

/* Reads the last size bytes of the file open as fd (all of it when it is
 * shorter) into buffer, as they lie on disk (CR LF on Windows). The count
 * read; -1 when the descriptor cannot read (a file the process may write
 * but not read) or the read fails. */
int platform_read_tail(int fd, char *buffer, size_t size) UB_NOEXCEPT;

/* Writes size bytes of data to fd, continuing after partial writes and
 * interruptions. 0 when all was written; -1 when nothing was; -2 when only
 * a part went out before the failure (the rest is lost). */
int platform_write_all(int fd, const void *data, size_t size) UB_NOEXCEPT;

/* Closes a descriptor from platform_open_append; -1 is ignored. */
void platform_close(int fd) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
