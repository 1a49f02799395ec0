#include "fs/delete.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "fs/detail/file_record.hpp"
#include "log/trust.h"
#include "log/messages.hpp"
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
// The difference saturates: any user may give a file a time near either end
// of the 64-bit range.
bool is_old(int64_t time, int64_t now, int32_t days)
{
    int64_t age = 0;
    if (time < 0 && now > INT64_MAX + time)
        age = INT64_MAX;
    else if (time > 0 && now < INT64_MIN + time)
        age = INT64_MIN;
    else
        age = now - time;
    return age / seconds_per_day >= days;
}

// Listings a recursive run holds open at most: deeper, the ancestors above
// these let go of their descriptors and are taken up again on the way back,
// so a deep tree never runs the process out of descriptors.
constexpr int open_listings = 32;

// One folder of a recursive run, linked to the folder it was opened from.
struct Level {
    fs_dir *dir;
    Level *parent;
};

// A run over one tree: the request, the folder being cleaned and whether
// some part of the tree could not be walked.
struct Run {
    delete_request *request;
    Level *innermost;
    bool incomplete;
};

// The run's log says when the tree was not wholly cleaned, so that a count
// does not pass for the whole.
void report_incomplete(const Run &run, const char *root)
{
    if (run.incomplete)
        verbose_message(VESK_MSG_DELETE_INCOMPLETE, root);
}

// Unlinks relative to the listing the record came from; a record from
// elsewhere is not removed, since its path would be resolved again.
int remove_file(const fs_dir *dir, const fs_file *file)
{
    if (dir == nullptr || std::strcmp(dir->path, file->dir) != 0)
        return -1;
    return platform_dir_unlink(dir->handle, file->name, nullptr);
}

void decide(fs_dir *dir, fs_file *file, Run &run);

int visit_entry(fs_dir *dir, fs_file *file, void *run)
{
    decide(dir, file, *static_cast<Run *>(run));
    return 0;
}

// Lets go of the ancestor that falls out of the open window when level is
// entered. Should memory run out while its entries are saved, those read so
// far are lost to the run: its listing then ends as failed, and the run is
// reported incomplete.
void suspend_beyond_window(const Level &level)
{
    const Level *ancestor = &level;
    for (int depth = 0; ancestor != nullptr && depth < open_listings; ++depth)
        ancestor = ancestor->parent;
    if (ancestor != nullptr)
        platform_dir_suspend(ancestor->dir->handle);
}

// The subfolder name of dir, opened relative to it and never through a
// link, cleaned within run. A subfolder whose path passes the record's room
// is reported as such, not as missing.
void clean_subfolder(fs_dir *dir, const char *name, Run &run)
{
    if (std::strlen(dir->path) + 1 + std::strlen(name) >= FS_PATH_SIZE) {
        verbose_message(VESK_MSG_DELETE_PATH_TOO_LONG, FS_PATH_SIZE - 1, dir->path,
                        PLATFORM_PATH_SEP, name);
        run.incomplete = true;
        return;
    }
    fs_dir *subfolder = fs_dir_new_at(dir, name);
    if (subfolder == nullptr) {
        // A folder still there was not entered (no permission, no descriptor
        // left): the run is not whole. One gone, or a link in its place, is
        // missing as far as the run goes.
        platform_file_status status{};
        if (platform_dir_stat(dir->handle, name, &status) == 0 && status.is_dir) {
            run.incomplete = true;
            return;
        }
        verbose_message(VESK_MSG_DELETE_SUBFOLDER_NOT_FOUND, dir->path, PLATFORM_PATH_SEP, name);
        return;
    }
    Level level{subfolder, run.innermost};
    run.innermost = &level;
    suspend_beyond_window(level);
    if (ub::detail::dir_iter_all(subfolder, visit_entry, &run) < 0)
        run.incomplete = true;
    run.innermost = level.parent;
    // Taken up again through this subfolder's "..", checked to be the very
    // folder let go; otherwise its walk ends there, never in another folder.
    if (platform_dir_resume(dir->handle, subfolder->handle) != 0) {
        verbose_message(VESK_MSG_DELETE_INTERRUPTED, dir->path);
        run.incomplete = true;
    }
    fs_dir_free(subfolder);
}

// The decision for one entry of dir, descending first into a folder when
// the request is recursive.
void decide(fs_dir *dir, fs_file *file, Run &run)
{
    delete_request *request = run.request;
    if (is_dot_entry(file->name))
        return;
    // Nothing is known of an entry whose status cannot be read (it vanished,
    // or its folder cannot be searched): it is neither old nor a folder.
    if (!record_of(file).known) {
        verbose_message(VESK_MSG_DELETE_ENTRY_NOT_READ, file->path);
        return;
    }
    if (file->is_dir != 0 && request->recursive != 0 && dir != nullptr)
        clean_subfolder(dir, file->name, run);
    if (!is_old(record_of(file).time, std::time(nullptr), request->days))
        return;
    if (fs_file_check(file, or_empty(request->prefix), or_empty(request->suffix)) == 0)
        return;
    if (request->test != 0) {
        verbose_message(VESK_MSG_DELETE_WOULD_REMOVE, file->path);
    } else if (remove_file(dir, file) != 0) {
        verbose_message(VESK_MSG_DELETE_REMOVE_FAILED, file->path);
        return;
    }
    ++request->count;
    if (request->callback != nullptr)
        request->callback(file->dir, file->name, request->user_data);
}

bool has_prefix_and_suffix(const char *name, const char *prefix, const char *suffix)
{
    size_t name_len = std::strlen(name);
    size_t suffix_len = std::strlen(suffix);
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0 && name_len >= suffix_len &&
           std::strcmp(name + name_len - suffix_len, suffix) == 0;
}

// Cleans the listing with request, then lets it go: the request's count.
int clean(fs_dir *listing, delete_request *request, const char *dir)
{
    Level top{listing, nullptr};
    Run run{request, &top, false};
    if (ub::detail::dir_iter_all(listing, visit_entry, &run) < 0)
        run.incomplete = true;
    fs_dir_free(listing);
    report_incomplete(run, dir);
    return request->count;
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
        verbose_message(VESK_MSG_DELETE_NO_NAME);
        return DELETE_NO_NAME;
    }
    fs_dir *listing = fs_dir_new(dir);
    if (listing == nullptr) {
        verbose_message(VESK_MSG_DELETE_FOLDER_NOT_FOUND, dir);
        return DELETE_NO_DIR;
    }
    return clean(listing, request, dir);
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

int delete_log_files(int32_t days) noexcept
{
    trust_why why;
    int folder = trust_open("log", TRUST_FOLDER, &why);
    if (folder < 0 && why.reason == TRUST_MISSING) {
        verbose_message(VESK_MSG_DELETE_NO_LOG_FOLDER);
        return DELETE_NO_DIR;
    }
    if (folder < 0) {
        char text[1400];
        verbose_message(VESK_MSG_DELETE_LOG_FOLDER_REFUSED,
                        trust_why_text(&why, text, sizeof text));
        return DELETE_NO_DIR;
    }
    fs_dir *listing = ub::detail::fs_dir_of_node(folder, "log");
    platform_close(folder);
    if (listing == nullptr)
        return DELETE_NO_DIR;
    delete_request request{"monitor_", ".log", days, 0, nullptr, 0, 0, 0};
    return clean(listing, &request, "log");
}

int delete_fs(fs_dir *dir, fs_file *file, void *user_data) noexcept
{
    auto *request = static_cast<delete_request *>(user_data);
    if (file == nullptr || request == nullptr)
        return 0;
    Level top{dir, nullptr};
    Run run{request, &top, false};
    decide(dir, file, run);
    report_incomplete(run, file->path);
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
        verbose_message(VESK_MSG_DELETE_FOLDER_NOT_FOUND, dir);
        return 1;
    }
    // Entries whose status cannot be read, and times that do not fit the
    // 32-bit results, are left out rather than reported as a made-up time.
    while (const char *name = platform_dir_read(listing)) {
        platform_file_status status;
        if (is_dot_entry(name) ||
            !has_prefix_and_suffix(name, or_empty(prefix), or_empty(suffix)) ||
            platform_dir_stat(listing, name, &status) != 0 || status.is_dir != 0 ||
            !fits_int32(status.mtime))
            continue;
        auto time = static_cast<int32_t>(status.mtime);
        *newest = std::max(*newest, time);
        *oldest = std::min(*oldest, time);
    }
    // Times from part of a listing would pass for those of the whole.
    bool failed = platform_dir_error(listing) != 0;
    platform_dir_close(listing);
    if (failed) {
        verbose_message(VESK_MSG_DELETE_FOLDER_NOT_READ, dir);
        *newest = 0;
        *oldest = static_cast<int32_t>(std::min<int64_t>(std::time(nullptr), INT32_MAX));
        return 1;
    }
    return 0;
}
