#include "fs/delete.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "fs/detail/file_record.hpp"
#include "log/verbose.h"
#include "platform/platform.h"

namespace {

using ub::detail::record_of;

constexpr int64_t seconds_per_day = 86400;

const char *or_empty(const char *text)
{
    return text != nullptr ? text : "";
}

bool is_dot_entry(const char *name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool fits_int32(int64_t value)
{
    return value >= INT32_MIN && value <= INT32_MAX;
}

// Judged from the full time: the record's 32-bit field holds INT32_MAX for
// every time after 2038-01-19, which would make fresh files look old then.
bool is_old(int64_t time, int64_t now, int32_t days)
{
    return (now - time) / seconds_per_day >= days;
}

// Unlinks relative to the listing the record came from; a record from
// elsewhere is not removed, since its path would be resolved again.
int remove_file(const fs_dir *dir, const fs_file *file)
{
    if (dir == nullptr || std::strcmp(dir->path, file->dir) != 0)
        return -1;
    return platform_dir_unlink(dir->handle, file->name, nullptr);
}

// Cleans the open listing with request, entries whose status cannot be read
// included, so that delete_fs reports them.
void clean(fs_dir *listing, delete_request *request)
{
    ub::detail::dir_iter_all(listing, delete_fs, request);
}

// The subfolder name of dir, opened relative to it and never through a
// link, cleaned with request.
void clean_subfolder(fs_dir *dir, const char *name, delete_request *request)
{
    fs_dir *subfolder = fs_dir_new_at(dir, name);
    if (subfolder == nullptr) {
        std::fprintf(stderr, "|DELETE| Diretorio nao encontrado: '%s%c%s'.\n", dir->path,
                     PLATFORM_PATH_SEP, name);
        return;
    }
    clean(subfolder, request);
    fs_dir_free(subfolder);
}

bool has_prefix_and_suffix(const char *name, const char *prefix, const char *suffix)
{
    size_t name_len = std::strlen(name);
    size_t suffix_len = std::strlen(suffix);
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0 && name_len >= suffix_len &&
           std::strcmp(name + name_len - suffix_len, suffix) == 0;
}

int run_request(const char *dir, const char *prefix, const char *suffix, int32_t days,
                int32_t recursive, delete_callback callback, intptr_t user_data, int32_t test)
{
    delete_request request{prefix, suffix, days, recursive, callback, user_data, 0, test};
    return execute_delete_in(dir, &request);
}

} // namespace

delete_request *delete_new(const char *, const char *prefix, const char *suffix, int32_t days,
                           int32_t recursive, delete_callback callback, intptr_t user_data,
                           int32_t test) noexcept
{
    auto *request = static_cast<delete_request *>(std::malloc(sizeof(delete_request)));
    if (request != nullptr)
        *request = delete_request{prefix, suffix, days, recursive, callback, user_data, 0, test};
    return request;
}

void delete_free(delete_request *request) noexcept
{
    std::free(request);
}

int execute_delete_in(const char *dir, delete_request *request) noexcept
{
    if (dir == nullptr || request == nullptr)
        return DELETE_NO_NAME;
    if (or_empty(request->prefix)[0] == '\0' && or_empty(request->suffix)[0] == '\0') {
        std::fprintf(stderr, "|DELETE| E necessario definir o prefixo e/ou sufixo.\n");
        return DELETE_NO_NAME;
    }
    fs_dir *listing = fs_dir_new(dir);
    if (listing == nullptr) {
        std::fprintf(stderr, "|DELETE| Diretorio nao encontrado: '%s'.\n", dir);
        return DELETE_NO_DIR;
    }
    clean(listing, request);
    fs_dir_free(listing);
    return request->count;
}

int delete_perform(delete_request *request, const char *dir) noexcept
{
    return execute_delete_in(dir, request);
}

int execute_delete(const char *dir, const char *prefix, const char *suffix, int32_t days,
                   int32_t recursive, delete_callback callback, intptr_t user_data) noexcept
{
    return run_request(dir, prefix, suffix, days, recursive, callback, user_data, 0);
}

int execute_delete_test(const char *dir, const char *prefix, const char *suffix, int32_t days,
                        int32_t recursive, delete_callback callback, intptr_t user_data) noexcept
{
    return run_request(dir, prefix, suffix, days, recursive, callback, user_data, 1);
}

int delete_fs(fs_dir *dir, fs_file *file, void *user_data) noexcept
{
    auto *request = static_cast<delete_request *>(user_data);
    if (file == nullptr || request == nullptr)
        return 0;
    int64_t now = std::time(nullptr);
    if (is_dot_entry(file->name))
        return 0;
    // Nothing is known of an entry whose status cannot be read (it vanished,
    // or its folder cannot be searched): it is neither old nor a folder.
    if (!record_of(file).known) {
        verbose(stdout, "Falha ao tentar ler '%s'\n", file->path);
        return 0;
    }
    if (file->is_dir != 0 && request->recursive != 0 && dir != nullptr)
        clean_subfolder(dir, file->name, request);
    if (!is_old(record_of(file).time, now, request->days))
        return 0;
    if (fs_file_check(file, or_empty(request->prefix), or_empty(request->suffix)) == 0)
        return 0;
    if (request->test != 0) {
        verbose(stdout, "'%s' a ser removido (test).\n", file->path);
    } else if (remove_file(dir, file) != 0) {
        verbose(stdout, "Falha ao tentar remover '%s'\n", file->path);
        return 0;
    }
    ++request->count;
    if (request->callback != nullptr)
        request->callback(file->dir, file->name, request->user_data);
    return 0;
}

int delete_get_new_old(const char *dir, const char *prefix, const char *suffix, int32_t *newest,
                       int32_t *oldest) noexcept
{
    if (dir == nullptr || newest == nullptr || oldest == nullptr)
        return -1;
    *newest = 0;
    *oldest = static_cast<int32_t>(std::min<int64_t>(std::time(nullptr), INT32_MAX));
    platform_dir *listing = platform_dir_open(dir);
    if (listing == nullptr) {
        std::fprintf(stderr, "|DELETE| Diretorio nao encontrado: '%s'.\n", dir);
        return 1;
    }
    // Entries whose status cannot be read, and times that do not fit the
    // 32-bit results, are left out rather than reported as a made-up time.
    while (const char *name = platform_dir_read(listing)) {
        platform_file_status status;
        if (is_dot_entry(name) || !has_prefix_and_suffix(name, or_empty(prefix), or_empty(suffix)) ||
            platform_dir_stat(listing, name, &status) != 0 || status.is_dir != 0 ||
            !fits_int32(status.mtime))
            continue;
        auto time = static_cast<int32_t>(status.mtime);
        *newest = std::max(*newest, time);
        *oldest = std::min(*oldest, time);
    }
    platform_dir_close(listing);
    return 0;
}
