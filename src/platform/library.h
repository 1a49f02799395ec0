#ifndef PLATFORM_LIBRARY_H
#define PLATFORM_LIBRARY_H
/* Shared libraries loaded at run time. Libraries stay loaded for the life
 * of the process unless closed. */

#include <stddef.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Loads the shared library at path. Its handle, or NULL with *error (when
 * error is not NULL) set to the system's error number, or -1 when the
 * system gives none. */
void *platform_library_open(const char *path, int *error) UB_NOEXCEPT;

/* Address of the exported symbol name in library, or NULL. */
void *platform_library_symbol(void *library, const char *name) UB_NOEXCEPT;

/* Releases a library that one of the opens here loaded; NULL is ignored. */
void platform_library_close(void *library) UB_NOEXCEPT;

/* Kinds of failed load. */
enum platform_library_failure {
    PLATFORM_LIBRARY_MISSING = 1,    /* no file at the path */
    PLATFORM_LIBRARY_BAD_FORMAT = 2, /* on Windows, a file of no loadable kind: what a library
                                        of the other word width gives */
    PLATFORM_LIBRARY_FAILED = 3      /* any other failure: see error and text */
};

/* Why a load failed: filled by the opens below. */
typedef struct platform_library_why {
    int failure;    /* platform_library_failure */
    int error;      /* the system's error number, or 0 when it gives none */
    char text[512]; /* the loader's own account (POSIX; without the library's name), or "" */
} platform_library_why;

/* Loads the shared library at path as platform_library_open does. On
 * failure NULL, with *why (when not NULL) filled; a missing dependency of a
 * library that is there is no PLATFORM_LIBRARY_MISSING. */
void *platform_library_open_why(const char *path, platform_library_why *why) UB_NOEXCEPT;

/* Loads the library whose file is open as node (a node handle from
 * platform/node.h, opened with PLATFORM_NODE_READ), so that what is mapped
 * is the very file judged (on Linux through /proc/self/fd; on Windows by
 * the held file's final path, which the handle keeps from being replaced).
 * A loaded library keeps a handle of its own to the file open for the life
 * of the process (a library may find its home through the name it was
 * loaded by); node stays the caller's. On Windows what the library needs
 * is looked for beside it first, then in the system's places. On failure as
 * platform_library_open_why. */
void *platform_library_open_node(int node, platform_library_why *why) UB_NOEXCEPT;

/* Loads, each only when it is there, the libraries names (ended by NULL)
 * of folder, so that a library loaded next finds them already loaded (on
 * Windows each one's own needs looked for beside it first). A library of
 * names that fails to load is skipped: the load that needs it reports. */
void platform_library_preload(const char *folder, const char *const *names) UB_NOEXCEPT;

/* From now on, libraries named without a path are looked for only in the
 * system's safe places (on Windows the program's folder and the system
 * folder, never the working folder or PATH, where anyone may have left a
 * library of a wanted name). Nothing on POSIX, whose loader never looks in
 * the working folder. */
void platform_library_search_restrict(void) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
