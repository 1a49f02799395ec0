#ifndef FS_FILESYSTEM_H
#define FS_FILESYSTEM_H
/* Directory walks: each entry of one directory handed to a callback as a
 * file record, in listing order or sorted by name, time or size; plus a
 * name filter, whole-file reading, single-file deletion and the per-entry
 * step of a process listing. */

#include <stdint.h>
#include <stdio.h>

#include "platform/platform.h"
#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: paths are joined with the platform's separator. A record
 * handed to a walk callback belongs to the walk and is valid only during
 * the call. Records from fs_file_new are the caller's, released with
 * fs_file_free. A symbolic link is never a directory for the walks, and
 * fs_dir_new_at never opens one. An entry whose status cannot be read is
 * not handed to a callback: the walk writes "|FILESYSTEM| Falha ao tentar
 * ler: '<path>'." instead. Failures to open a directory or delete a file
 * are written to standard error too. */

/* Room for a directory path in fs_dir, terminator included. */
#define FS_PATH_SIZE 2048

/* One file: one allocation holding the record and its three texts. */
typedef struct fs_file {
    char *name;           /* entry name as listed */
    char *dir;            /* directory it was listed from, as given */
    char *path;           /* dir, separator and name */
    int32_t time;         /* last modification, seconds since 1970, clamped to the 32-bit
                             range (INT32_MAX after 2038-01-19); 0 when unknown. A
                             clamped value is never taken for the file's age: the
                             sorted walks and the deletion use the full time */
    int32_t size;         /* bytes, INT32_MAX for larger files (the size walk orders by
                             the full size); 0 when unknown */
    uint32_t is_dir;      /* 1 for a directory, set by the walk */
    struct fs_file *next; /* the record handed over after this one in a sorted walk */
} fs_file;

/* An open directory listing; one walk at a time. */
typedef struct fs_dir {
    char path[FS_PATH_SIZE]; /* the directory path as given */
    platform_dir *handle;    /* the open listing, owned */
} fs_dir;

/* Walk callback: 0 goes on, anything else stops the walk. */
typedef int (*fs_dir_callback)(fs_dir *dir, fs_file *file, void *user_data);

/* Order of a sorted walk: greater than 0 when first belongs after second
 * (first is the earlier of the two). */
typedef int32_t (*fs_file_compare)(const fs_file *first, const fs_file *second, void *user_data);

/* Called by the process-listing step for each process. */
typedef int (*fs_proc_callback)(const char *name, int32_t pid, int32_t parent_pid, int32_t threads,
                                void *user_data);

/* The user value of fs_proc_iter_dir_iter: the callback and its own value. */
typedef struct fs_proc_data {
    fs_proc_callback callback; /* called once per process */
    void *user_data;           /* handed to callback untouched */
} fs_proc_data;

/* Opens the listing of path; NULL for a NULL path, and NULL after
 * "|FILESYSTEM| Falha ao tentar abrir diretorio: '<path>'." when path is
 * empty, is not a directory, cannot be opened or does not fit FS_PATH_SIZE
 * (the same on every system). Released with fs_dir_free. */
fs_dir *fs_dir_new(const char *path) UB_NOEXCEPT;

/* Opens the subfolder name of parent relative to parent's open listing,
 * never through a symbolic link (or Windows reparse point) put in its
 * place; its path is parent's path, the separator and name. NULL for a NULL
 * argument, and NULL after the message of fs_dir_new with that path when it
 * is not a directory, cannot be opened or the path does not fit. */
fs_dir *fs_dir_new_at(fs_dir *parent, const char *name) UB_NOEXCEPT;

/* Closes the listing and releases the record: 0, or -1 for NULL. */
int fs_dir_free(fs_dir *dir) UB_NOEXCEPT;

/* Builds the record of name in dir with its time and size (is_dir 0,
 * next NULL); NULL for a NULL argument or when memory runs out. */
fs_file *fs_file_new(const char *dir, const char *name) UB_NOEXCEPT;

/* Releases the record and its texts: 0, or -1 for NULL. */
int fs_file_free(fs_file *file) UB_NOEXCEPT;

/* Hands every entry except "." and ".." to callback, in listing order. The
 * count of entries read ("." and ".." included) except one whose callback
 * stopped the walk; -1 for a NULL dir or callback, and -1 after
 * "|FILESYSTEM| Falha ao tentar ler diretorio: '<path>'." when the listing
 * cannot be read to its end or memory runs out (the entries before were
 * handed over). The sorted walks fail alike, handing over nothing. */
int fs_dir_iter(fs_dir *dir, fs_dir_callback callback, void *user_data) UB_NOEXCEPT;

/* The walk with the entries sorted by compare: ascending for order 0,
 * descending otherwise; among equal entries the one listed later comes
 * first. The walk's count, or -1 for a NULL argument or when memory runs
 * out. Any compare, even an inconsistent one, sees every entry handed once. */
int fs_dir_sorted_iter(fs_dir *dir, fs_dir_callback callback, fs_file_compare compare,
                       uint8_t order, void *user_data) UB_NOEXCEPT;

/* Sorted by name, byte-wise: ascending for order 0. */
int fs_dir_name_sorted_iter(fs_dir *dir, fs_dir_callback callback, uint8_t order,
                            void *user_data) UB_NOEXCEPT;

/* Sorted by time: newest first for order 0. */
int fs_dir_time_sorted_iter(fs_dir *dir, fs_dir_callback callback, uint8_t order,
                            void *user_data) UB_NOEXCEPT;

/* Sorted by size: smallest first for order 0. */
int fs_dir_size_sorted_iter(fs_dir *dir, fs_dir_callback callback, uint8_t order,
                            void *user_data) UB_NOEXCEPT;

/* 1 when the name matches: with a non-empty suffix, it starts with prefix
 * and ends with suffix (not overlapping); with an empty suffix, the pattern
 * prefix is found in it. 0 otherwise or for a NULL argument. */
int fs_file_check(const fs_file *file, const char *prefix, const char *suffix) UB_NOEXCEPT;

/* Reads the rest of file into a new zero-terminated buffer stored in
 * *content (the caller frees it). The length; -1 for a NULL argument, a
 * read error or more than INT32_MAX bytes (*content untouched then). */
int fs_get_content(FILE *file, char **content) UB_NOEXCEPT;

/* fs_get_content of the file of the record: for a walk's record, the entry
 * name of the listing it was read from; otherwise the file at file->path.
 * Only a regular file is read, never through a link in the last part of its
 * name and without waiting on a FIFO or device: -1 for those, and when it
 * cannot be opened. */
int fs_file_get_content(const fs_file *file, char **content) UB_NOEXCEPT;

/* Deletes the file at path (never a directory): 0, or 1 after
 * "Erro (<errno>) ao tentar apagar arquivo: '<path>'." (1 for NULL). */
int fs_delete(const char *path) UB_NOEXCEPT;

/* count times unit bytes in whole mebibytes, truncated towards zero. */
int64_t convertMb(int32_t count, int32_t unit) UB_NOEXCEPT;

/* Walk callback for /proc: for an entry named by a process id, reads its
 * stat file relative to dir and calls the fs_proc_data callback with name, pid, parent's
 * pid and thread count. Other or unreadable entries are skipped. Always 0. */
int fs_proc_iter_dir_iter(fs_dir *dir, fs_file *file, void *user_data) UB_NOEXCEPT;

/* Do nothing; always 0. */
int fs_proc_iter(void) UB_NOEXCEPT;
int fs_hd_iter(void) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
