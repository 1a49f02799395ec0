#ifndef PLATFORM_FILE_H
#define PLATFORM_FILE_H
/* Files by descriptor: paths' separators, appending, reading a file's end,
 * writing. */

#include <stddef.h>
#include <stdint.h>

#include "platform/node.h"
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

/* How platform_open_append_at opens. */
enum platform_append_flags {
    PLATFORM_APPEND_NOFOLLOW = 1, /* a symbolic link (a reparse point) in name's last part is
                                     refused, not followed */
    PLATFORM_APPEND_ASKABLE = 2   /* the descriptor may be asked for its status
                                     (platform_node_status_get; on Windows it also asks for
                                     the right to read the file's access list) */
};

/* Opens the file name of the folder node folder (PLATFORM_NODE_CWD for the
 * working folder; an absolute name ignores folder) for appending, creating
 * it when missing with mode 0640 (less what the umask removes; on Windows an
 * access list of its own, nothing inherited: SYSTEM, Administrators and the
 * token's user, full control), as flags says. The descriptor may also read
 * the file (platform_read_tail) where the file's permissions let the process
 * read it. Every write lands at the end of the file as one piece. The open
 * never waits (a FIFO without a reader fails at once), and the file opened
 * must be a regular file; who owns it and how many names it has is the
 * caller's to judge, on the descriptor (platform_node_status_get), never by
 * a second lookup of the path. The descriptor, or -1 when the file cannot be
 * opened or is no regular file. When size is not NULL it receives the
 * file's size in bytes as opened. */
int platform_open_append_at(int folder, const char *name, int flags, int64_t *size) UB_NOEXCEPT;

/* Reads the last size bytes of the file open as fd (all of it when it is
 * shorter) into buffer, as they lie on disk (CR LF on Windows). The count
 * read; -1 when the descriptor cannot read (a file the process may write
 * but not read) or the read fails. */
int platform_read_tail(int fd, char *buffer, size_t size) UB_NOEXCEPT;

/* Writes size bytes of data to fd, continuing after partial writes and
 * interruptions. 0 when all was written; -1 when nothing was; -2 when only
 * a part went out before the failure (the rest is lost). data is text: on
 * Windows each line feed goes out as CR LF, the system's line end. */
int platform_write_all(int fd, const void *data, size_t size) UB_NOEXCEPT;

/* Closes a descriptor of this layer (a file, a node); -1 is ignored. */
void platform_close(int fd) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
