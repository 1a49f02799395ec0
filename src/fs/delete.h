#ifndef FS_DELETE_H
#define FS_DELETE_H
/* Old-file deletion: removes the files of a directory whose names match a
 * prefix and suffix (or a pattern) and whose age in whole days has reached
 * a limit, optionally in subdirectories too, optionally only reporting. */

#include <stdint.h>

#include "fs/filesystem.h"
#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: a request borrows its prefix and suffix (NULL counts as
 * empty). Age is the current time minus the file's full modification time
 * in whole days, truncated towards zero (the record's clamped 32-bit time
 * never decides). Only files are removed, never a directory, and symbolic links
 * are not followed: a link itself may be removed, its target never.
 * Subfolders are opened relative to their parent's open listing and files
 * unlinked relative to the listing they were read from, so a link swapped in
 * for a folder is refused, never entered. An entry whose status cannot be
 * read is neither removed nor counted. Request and directory messages go to
 * standard error; per-file test reports and failures go to the log.
 *
 * A recursive run holds at most 32 listings open however deep the tree
 * (where descriptors are scarce; on Windows each listing keeps its handle):
 * the folders above let go of their descriptors and are taken up again
 * through their subfolder's "..", checked to be the same folder; when that check
 * fails, "|DELETE| Limpeza interrompida: o diretorio '<path>' nao pode ser
 * retomado com seguranca." is written and that folder and those above it
 * end there. A subfolder whose path passes FS_PATH_SIZE - 1 characters is
 * not entered: "|DELETE| Diretorio alem do limite de 2047 caracteres do
 * caminho, nao foi limpo: '<path>'.". After either, or a listing that could
 * not be read to its end, the run's log gets "Limpeza incompleta de
 * '<dir>': parte da arvore nao foi percorrida."; the result is still the
 * count removed. */

/* Results of execute_delete_in and the operations built on it. */
enum delete_result {
    DELETE_NO_NAME = -1, /* prefix and suffix both empty, or a NULL argument */
    DELETE_NO_DIR = -2   /* the directory cannot be opened */
};

/* Called after each removal (or test report) with the file's directory, its
 * name and the request's user_data; its result is not used. */
typedef int (*delete_callback)(const char *dir, const char *name, intptr_t user_data);

/* What to delete; count grows over every directory the request runs on. */
typedef struct delete_request {
    const char *prefix;       /* name prefix, or the pattern when suffix is empty; borrowed */
    const char *suffix;       /* name suffix; borrowed */
    int32_t days;             /* minimum age in whole days */
    int32_t recursive;        /* non-zero: clean subdirectories too */
    delete_callback callback; /* NULL or called after each removal */
    intptr_t user_data;       /* handed to callback untouched */
    int32_t count;            /* files removed (or reported) so far */
    int32_t test;             /* non-zero: report instead of deleting */
} delete_request;

/* A new request with count 0 (dir is not stored); NULL when memory runs
 * out. Released with delete_free. */
delete_request *delete_new(const char *dir, const char *prefix, const char *suffix, int32_t days,
                           int32_t recursive, delete_callback callback, intptr_t user_data,
                           int32_t test) UB_NOEXCEPT;

/* Releases the request, not its texts; NULL is ignored. */
void delete_free(delete_request *request) UB_NOEXCEPT;

/* Cleans dir with request: the request's count afterwards, or a
 * delete_result code (after its message on standard error). */
int execute_delete_in(const char *dir, delete_request *request) UB_NOEXCEPT;

/* execute_delete_in of dir with request. */
int delete_perform(delete_request *request, const char *dir) UB_NOEXCEPT;

/* Deletes the matching old files of dir with a one-off request; the count
 * removed, or a delete_result code. */
int execute_delete(const char *dir, const char *prefix, const char *suffix, int32_t days,
                   int32_t recursive, delete_callback callback, intptr_t user_data) UB_NOEXCEPT;

/* As execute_delete, but only writes "'<path>' a ser removido (test)." to
 * the log for each file it would remove; nothing is deleted. */
int execute_delete_test(const char *dir, const char *prefix, const char *suffix, int32_t days,
                        int32_t recursive, delete_callback callback,
                        intptr_t user_data) UB_NOEXCEPT;

/* Removes the host's daily log files (monitor_*.log, not recursive) of
 * days or more from log/ of the working folder, judged as the log writer
 * judges it (log/trust.h) and listed through the very folder judged: the
 * count removed, or DELETE_NO_DIR after "|DELETE| Pasta de log recusada:
 * <why>." on standard error when log/ is not trusted. */
int delete_log_files(int32_t days) UB_NOEXCEPT;

/* Walk callback (user_data is the request) for records of dir's walk: the
 * decision for one entry, descending first into a directory (opened with
 * fs_dir_new_at) when the request is recursive; dir's listing may be let go
 * and taken up again meanwhile, as above, the incomplete run's log line
 * naming the entry's path. An entry whose status could not be read logs
 * "Falha ao tentar ler '<path>'", a failed removal "Falha ao tentar remover
 * '<path>'"; neither is counted. Always 0. */
int delete_fs(fs_dir *dir, fs_file *file, void *user_data) UB_NOEXCEPT;

/* Newest and oldest modification time among the files (not directories) of
 * dir whose names start with prefix and end with suffix, both plain texts;
 * files whose status cannot be read or whose time does not fit 32 bits are
 * left out. 0; 1 when dir cannot be opened, or after "|DELETE| Falha ao
 * tentar ler diretorio: '<dir>'." when it cannot be read to its end (newest
 * 0, oldest now, at most INT32_MAX); -1 for NULL. */
int delete_get_new_old(const char *dir, const char *prefix, const char *suffix, int32_t *newest,
                       int32_t *oldest) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
