#ifndef PLATFORM_NODE_H
#define PLATFORM_NODE_H
/* Files and folders held open (nodes), so that who may change them is
 * asked of the very thing that will be read, loaded or written to. */

#include <stddef.h>
#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* A node is asked of the very thing that will be read, loaded or written to, never
 * of a path looked up again. A node handle is a descriptor (an O_PATH one
 * on Linux; on Windows a CRT descriptor over a handle opened with backup
 * semantics, which keeps the node from being renamed or removed while it
 * is held), closed with platform_close. */

/* Stands for the working folder where a node handle is expected. */
#define PLATFORM_NODE_CWD (-100)

/* How platform_node_open opens. */
enum platform_node_flags {
    PLATFORM_NODE_NOFOLLOW = 1,   /* a symbolic link (a reparse point) in name's last part is
                                   opened itself, not followed */
    PLATFORM_NODE_READ = 2,       /* a regular file opened for reading (binary), never waiting
                                   on a FIFO or device; anything else is refused */
    PLATFORM_NODE_MAKE_FOLDER = 4 /* a folder of one part below the folder node folder (never
                                     PLATFORM_NODE_CWD), made when missing for the effective
                                     user alone (mode 0700; on Windows the access list that
                                     platform_open_append_at gives a file); a folder that is
                                     there is opened as it is, anything else refused */
};

/* Kinds of node. */
enum platform_node_kind {
    PLATFORM_NODE_FILE = 1,   /* a regular file */
    PLATFORM_NODE_FOLDER = 2, /* a directory */
    PLATFORM_NODE_LINK = 3,   /* a symbolic link (a junction or other name surrogate) */
    PLATFORM_NODE_OTHER = 4   /* a FIFO, a device, a socket */
};

/* Who, besides the system and the effective user, may change a node. */
enum platform_node_writer {
    PLATFORM_WRITER_NONE = 0,     /* no one */
    PLATFORM_WRITER_OWNER = 1,    /* its owner, who is another user (and may change its
                                     permissions at will) */
    PLATFORM_WRITER_GROUP = 2,    /* its group, which is not the system's */
    PLATFORM_WRITER_EVERYONE = 3, /* every user */
    PLATFORM_WRITER_ACL = 4       /* a user or group that its access list names */
};

/* What a node handle tells about who may change the node. */
typedef struct platform_node_status {
    int kind;          /* platform_node_kind */
    int owner_trusted; /* 1 when owned by the system (root; on Windows SYSTEM, Administrators
                          or TrustedInstaller) or by the effective user */
    int owner_self;    /* 1 when owned by the effective user (the token's user) */
    uint32_t links;    /* the names the node has (hard links) */
    int writer;        /* platform_node_writer: the first other party found that may write it */
    int sticky;        /* 1 for a folder where others may add entries but not rename or
                          remove the entries of anyone else (the sticky bit; on Windows a
                          folder where others may only create) */
    char owner[64];    /* the owner as the system names it (a user number on POSIX, an
                          account on Windows) */
    char who[128];     /* the party that writer names (a group number, an account), or "" */
    uint64_t id[2];    /* the node's identity: device and file number (volume serial and
                          file index on Windows) */
} platform_node_status;

/* Opens the node name relative to the folder node folder (or
 * PLATFORM_NODE_CWD; an absolute name ignores folder), as flags says. A
 * name of more than one part is resolved by the system, links in its
 * inner parts followed. The handle, or -1 with *error (when not NULL) set
 * to the system's error number (ENOENT for a missing node, on Windows
 * ERROR_FILE_NOT_FOUND, which has the same number, a missing folder on the
 * way included; ELOOP when READ meets a link it may not follow). */
int platform_node_open(int folder, const char *name, int flags, int *error) UB_NOEXCEPT;

/* Opens the folder that holds the folder node (its ".."), itself at the
 * top. The handle, or -1. */
int platform_node_parent(int node) UB_NOEXCEPT;

/* Fills *out with what node's handle (or PLATFORM_NODE_CWD) tells. 0; -1
 * when it cannot be asked. */
int platform_node_status_get(int node, platform_node_status *out) UB_NOEXCEPT;

/* Fills *out with the status of the folder levels (1 or more) above the
 * folder node (or PLATFORM_NODE_CWD); at the top, the top's own. 0; -1 when
 * it cannot be asked. */
int platform_node_status_above(int node, int levels, platform_node_status *out) UB_NOEXCEPT;

/* Copies the target of the symbolic link name in the folder node folder
 * into buffer (size bytes, terminated). 0; -1 when name is no link, cannot be
 * read or does not fit. */
int platform_node_read_link(int folder, const char *name, char *buffer, size_t size) UB_NOEXCEPT;

/* Copies the path by which the system knows node's file now (on Windows the
 * held file's final path, without the "\\?\" prefix; on Linux the target
 * of /proc/self/fd/<node>) into buffer. 0; -1 when it cannot be told or
 * does not fit. */
int platform_node_path(int node, char *buffer, size_t size) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
