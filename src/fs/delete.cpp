#include "fs/delete.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "log/verbose.h"
#include "platform/platform.h"

namespace {

constexpr int64_t seconds_per_day = 86400;

const char *or_empty(const char *text)
{
    return text != nullptr ? text : "";
}

bool is_dot_entry(const char *name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

int32_t now_int32()
{
    return static_cast<int32_t>(std::clamp<int64_t>(std::time(nullptr), INT32_MIN, INT32_MAX));
}

// Unlinks relative to the open listing when the record came from it, so
// the directory's path is not resolved again for every file.
int remove_file(const fs_dir *dir, const fs_file *file)
{
    if (dir != nullptr && std::strcmp(dir->path, file->dir) == 0)
        return platform_dir_unlink(dir->handle, file->name, nullptr);
    return platform_delete_file(file->path, nullptr);
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
    fs_dir_iter(listing, delete_fs, request);
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
    // The walk never reports a symbolic link as a directory, so recursion
    // stays inside the tree it was given.
    if (file->is_dir != 0 && request->recursive != 0)
        execute_delete_in(file->path, request);
    if ((now - file->time) / seconds_per_day < request->days)
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
    *oldest = now_int32();
    platform_dir *listing = platform_dir_open(dir);
    if (listing == nullptr) {
        std::fprintf(stderr, "|DELETE| Diretorio nao encontrado: '%s'.\n", dir);
        return 1;
    }
    while (const char *name = platform_dir_read(listing)) {
        platform_file_status status;
        if (is_dot_entry(name) || !has_prefix_and_suffix(name, or_empty(prefix), or_empty(suffix)) ||
            platform_dir_stat(listing, name, &status) != 0 || status.is_dir != 0)
            continue;
        auto time = static_cast<int32_t>(std::clamp<int64_t>(status.mtime, INT32_MIN, INT32_MAX));
        *newest = std::max(*newest, time);
        *oldest = std::min(*oldest, time);
    }
    platform_dir_close(listing);
    return 0;
}
