#ifndef LOG_TRUST_H
#define LOG_TRUST_H
/* Whom the host trusts with what it runs and where its text goes. A file or
 * folder is trusted when it and every folder above it, up to the top, are
 * owned by the system or the effective user and no one else may write them,
 * access lists counted. A folder above that others may add to but where
 * they may not rename or remove what is not theirs (a sticky folder such as
 * /tmp) is accepted when the entry below it is owned by the system or the
 * effective user. A symbolic link on the way is followed only where it lies
 * in such a folder, so that no one else can have put it there.
 *
 * Trust is stable: once judged trusted, nothing short of the system or the
 * effective user can change it, so a path judged here may be handed on. */

#include <stddef.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Why a path is not trusted. */
enum trust_reason {
    TRUST_OK = 0,
    TRUST_MISSING = 1,     /* a part of the path is not there */
    TRUST_OWNER = 2,       /* owned by another user */
    TRUST_WRITER = 3,      /* another party may write it (who: which) */
    TRUST_NOT_FOLDER = 4,  /* a part that must be a folder is not one */
    TRUST_NOT_FILE = 5,    /* the end is not a regular file */
    TRUST_LINKS = 6,       /* too many links, or a link that cannot be read */
    TRUST_UNREADABLE = 7,  /* a part cannot be opened or asked (error: the system's number) */
    TRUST_NOT_ABSOLUTE = 8 /* a relative path where only an absolute one is taken */
};

/* What a refused judgement found. */
typedef struct trust_why {
    int reason;      /* trust_reason */
    int writer;      /* platform_node_writer, for TRUST_WRITER */
    int error;       /* the system's error number, for TRUST_UNREADABLE */
    char path[1024]; /* the part judged, as far as the path had been followed (cut to fit) */
    char who[128];   /* the owner (TRUST_OWNER) or the other writer (TRUST_WRITER), as the
                        system names them */
} trust_why;

/* What trust_open must end at. */
enum trust_want {
    TRUST_FOLDER = 1,  /* a folder; the handle is a node to open or list under */
    TRUST_FILE = 2,    /* a regular file, opened for reading */
    TRUST_ABSOLUTE = 4 /* with either: refuse a relative path (TRUST_NOT_ABSOLUTE) */
};

/* Opens path (relative to the working folder, itself judged with every
 * folder above it) as want says, when it is trusted. The node handle
 * (close it with platform_close), or -1 with *why (when not NULL) filled. */
int trust_open(const char *path, int want, trust_why *why) UB_NOEXCEPT;

/* Judges path as trust_open does, whatever it turns out to be. 0 when
 * trusted; -1 with *why (when not NULL) filled. */
int trust_judge(const char *path, trust_why *why) UB_NOEXCEPT;

/* Writes why's account into text (size bytes, cut to fit, terminated), for
 * example "'/srv/app/conf' pode ser alterado pelo grupo 1001". Returns text. */
char *trust_why_text(const trust_why *why, char *text, size_t size) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
