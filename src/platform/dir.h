#ifndef PLATFORM_DIR_H
#define PLATFORM_DIR_H
/* Directory listings that hold their folder open, and a file's status,
 * time and deletion by its path. */

#include <stdint.h>
#include <stdio.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Directory listing, file status and file deletion, for walks that must
 * stay inside the tree they were given while others change it. A listing
 * holds its folder open: entries are looked up, subfolders opened and files
 * deleted relative to it, never through a path resolved again. (On Windows,
 * where the runtime lists by path, the listing holds a handle to its folder
 * that keeps the folder from being renamed or removed meanwhile.) A
 * subfolder is opened only when it is a directory itself, never through a
 * symbolic link or, on Windows, a junction or other reparse point; a link's
 * own status is given, and a link is never reported as a directory. */

/* What the walks need to know about one file. */
typedef struct platform_file_status {
    int64_t mtime; /* the file's time, seconds since 1970-01-01 UTC: last
                      modification on POSIX, creation (st_ctime) on Windows */
    int64_t size;  /* bytes */
    int is_dir;    /* 1 for a directory, 0 otherwise (links included) */
} platform_file_status;

/* An open directory listing; opaque. */
typedef struct platform_dir platform_dir;

/* Opens the listing of the directory path, following links in it (the
 * caller named it). NULL when path is NULL or empty, is not a directory or
 * cannot be opened. */
platform_dir *platform_dir_open(const char *path) UB_NOEXCEPT;

/* Opens the listing of the folder node folder, as platform_dir_open does
 * for a path. NULL when it cannot. The node stays the caller's. */
platform_dir *platform_dir_open_node(int folder) UB_NOEXCEPT;

/* Opens the listing of the subfolder name of parent, relative to parent's
 * open listing. NULL when name is empty, "." or "..", holds a separator, is
 * a link or reparse point, is not a directory, or cannot be opened. */
platform_dir *platform_dir_open_at(platform_dir *parent, const char *name) UB_NOEXCEPT;

/* Name of the next entry ("." and ".." included), borrowed until the next
 * call or the close; NULL at the end of the listing or for a NULL dir. */
const char *platform_dir_read(platform_dir *dir) UB_NOEXCEPT;

/* Status of the entry name of dir (a link's own), looked up relative to the
 * open listing. 0 on success; -1 with *out zeroed. */
int platform_dir_stat(platform_dir *dir, const char *name, platform_file_status *out) UB_NOEXCEPT;

/* Deletes the file name of dir (never a directory; a link itself, never its
 * target), relative to the open listing. 0 on success; -1 with *error (when
 * not NULL) set to the system's error number. */
int platform_dir_unlink(platform_dir *dir, const char *name, int *error) UB_NOEXCEPT;

/* Reads up to size bytes of the regular file name (which may go through
 * subfolders, "1234/stat") relative to the open listing, without following
 * a link in its last part and without blocking on a FIFO. The count read
 * (at most INT_MAX); -1 when it cannot be opened, is not a regular file or a
 * read fails. */
int platform_dir_read_file(platform_dir *dir, const char *name, char *buffer,
                           size_t size) UB_NOEXCEPT;

/* 0 while the listing has read without fault; otherwise the system's error
 * number of the read that failed, after which platform_dir_read gives NULL
 * as at the end. */
int platform_dir_error(const platform_dir *dir) UB_NOEXCEPT;

/* Lets go of the listing's descriptor, so that a deep walk holds a bounded
 * number open: the entries not yet read are kept and handed out by
 * platform_dir_read as before, but nothing can be looked up, opened or
 * deleted in it until platform_dir_resume. 0 (also when already let go, or
 * where listings hold no scarce descriptor); -1 when memory runs out: the
 * listing stays open, but the entries read while saving are lost and
 * platform_dir_error tells ENOMEM, so a walk of it ends as failed. */
int platform_dir_suspend(platform_dir *dir) UB_NOEXCEPT;

/* Takes the folder of a suspended dir up again as the parent ("..") of
 * child, its open subfolder, never through a link, and only when it is the
 * very folder that was let go (same device and file number). 0, also when dir
 * is not suspended; -1 otherwise, after which dir stays unusable and its
 * reading ends with an error. */
int platform_dir_resume(platform_dir *dir, platform_dir *child) UB_NOEXCEPT;

/* Opens for reading in binary mode the regular file name of dir, or the file
 * at the path name when dir is NULL, never through a link in its last part
 * and without blocking on a FIFO or device. NULL when it cannot be opened or
 * is not a regular file. */
FILE *platform_dir_open_regular(platform_dir *dir, const char *name) UB_NOEXCEPT;

/* Closes the listing; NULL is ignored. */
void platform_dir_close(platform_dir *dir) UB_NOEXCEPT;

/* Status of the file at path. 0 on success; -1 with *out zeroed. */
int platform_file_stat(const char *path, platform_file_status *out) UB_NOEXCEPT;

/* Deletes the file at path (never a directory). 0 on success; -1 with
 * *error (when not NULL) set to the system's error number. */
int platform_delete_file(const char *path, int *error) UB_NOEXCEPT;

/* Sets the time that platform_file_stat reports for path (a link's own) to
 * seconds since 1970-01-01 UTC; for tests that age files. 0, or -1. */
int platform_file_set_time(const char *path, int64_t seconds) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
