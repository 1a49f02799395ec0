#include "fs/filesystem.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/re.h"
#include "fs/detail/file_record.hpp"
#include "log/messages.hpp"
#include "util/vesk_utils.h"

namespace {

using ub::detail::file_record;
using ub::detail::record_of;

constexpr char fs_tag[] = "FILESYSTEM";
constexpr size_t content_start = 2048;
constexpr size_t proc_path_size = 256;
constexpr size_t proc_stat_size = 2048;
constexpr int proc_max_fields = 256;
// Fields of a process status file after the parenthesised name: the state
// comes first, the parent's id second, the thread count eighteenth.
constexpr int proc_parent_field = 1;
constexpr int proc_threads_field = 17;

bool is_dot_entry(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

int32_t clamp_int32(int64_t value)
{
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

// The record, its full status and its three texts in one allocation, so
// fs_file_free is a single free and a sorted walk of many entries stays
// compact.
fs_file *make_file(const char *dir, const char *name, const platform_file_status &status,
                   bool known, platform_dir *listing)
{
    size_t dir_len = std::strlen(dir);
    size_t name_len = std::strlen(name);
    size_t path_len = dir_len + 1 + name_len;
    size_t texts = (name_len + 1) + (dir_len + 1) + (path_len + 1);
    auto *record = static_cast<file_record *>(std::malloc(sizeof(file_record) + texts));
    if (record == nullptr)
        return nullptr;
    fs_file *file = &record->file;
    char *text = reinterpret_cast<char *>(record + 1);
    file->name = static_cast<char *>(std::memcpy(text, name, name_len + 1));
    file->dir = static_cast<char *>(std::memcpy(text + name_len + 1, dir, dir_len + 1));
    file->path = file->dir + dir_len + 1;
    std::memcpy(file->path, dir, dir_len);
    file->path[dir_len] = PLATFORM_PATH_SEP;
    std::memcpy(file->path + dir_len + 1, name, name_len + 1);
    file->time = clamp_int32(status.mtime);
    file->size = clamp_int32(status.size);
    file->is_dir = status.is_dir ? 1 : 0;
    file->next = nullptr;
    record->time = status.mtime;
    record->size = status.size;
    record->known = known;
    record->listing = listing;
    return file;
}

// A walk that could not read its listing to the end: the entries after the
// failure were never seen, so the walk does not pass for complete.
int report_walk_failure(const fs_dir *dir)
{
    verbose_message(VESK_MSG_FS_FOLDER_NOT_READ, fs_tag, dir->path);
    return -1;
}

// Reads the listing to its end or until visit returns false. visit takes
// ownership of each record, those whose status could not be read included.
// The count of entries read, "." and ".." included, except the one that
// stopped the walk; -1 after its message when the listing cannot be read to
// the end or memory runs out.
template <typename Visit>
int walk(fs_dir *dir, Visit visit)
{
    int count = 0;
    // A deletion below may let go of the listing and take it up again
    // meanwhile; the entries still to come are the same either way.
    while (const char *name = platform_dir_read(dir->handle)) {
        if (is_dot_entry(name)) {
            ++count;
            continue;
        }
        // One status query, relative to the open listing, gives time, size
        // and the directory flag.
        platform_file_status status;
        bool known = platform_dir_stat(dir->handle, name, &status) == 0;
        fs_file *file = make_file(dir->path, name, status, known, dir->handle);
        if (file == nullptr)
            return report_walk_failure(dir);
        if (!visit(file))
            return count;
        ++count;
    }
    return platform_dir_error(dir->handle) == 0 ? count : report_walk_failure(dir);
}

// An entry that the public walks pass over: nothing is known of it, and a
// made-up time or type could have it taken for an old file or a folder.
void report_unreadable(fs_file *file)
{
    verbose_message(VESK_MSG_FS_ENTRY_NOT_READ, fs_tag, file->path);
    std::free(file);
}

// The listing record for an open handle; NULL, after the directory message
// with "dir<separator>name" (or dir alone for a NULL name), when the handle
// is NULL or memory runs out.
fs_dir *adopt_listing(platform_dir *handle, const char *path, const char *dir, const char *name)
{
    fs_dir *listing = nullptr;
    if (handle != nullptr)
        listing = static_cast<fs_dir *>(std::malloc(sizeof(fs_dir)));
    if (listing == nullptr) {
        platform_dir_close(handle);
        if (name == nullptr)
            verbose_message(VESK_MSG_FS_FOLDER_NOT_OPENED, fs_tag, dir);
        else
            verbose_message(VESK_MSG_FS_SUBFOLDER_NOT_OPENED, fs_tag, dir, PLATFORM_PATH_SEP, name);
        return nullptr;
    }
    std::strcpy(listing->path, path);
    listing->handle = handle;
    return listing;
}

// The orders of the named sorted walks, and any caller's comparison.
enum class Order { custom, name, time, size };

// One entry of a sorted walk. For the named orders it carries its key, so
// that nearly every comparison reads only the array being sorted and not
// records scattered over the heap.
struct Sorted {
    uint64_t high;
    uint64_t low;
    fs_file *file;
};

constexpr uint64_t sign_bit = uint64_t{1} << 63;

// The first 16 bytes of name, big-endian and padded with zeros: comparing
// these keys orders as strcmp does on those bytes.
void name_key(const char *name, uint64_t &high, uint64_t &low)
{
    unsigned char bytes[16] = {};
    for (size_t i = 0; i < sizeof bytes && name[i] != '\0'; ++i)
        bytes[i] = static_cast<unsigned char>(name[i]);
    high = 0;
    low = 0;
    for (size_t i = 0; i < 8; ++i) {
        high = high << 8 | bytes[i];
        low = low << 8 | bytes[i + 8];
    }
}

// Times and sizes are keyed in full, not from the records' 32-bit fields,
// which clamp files of 2 GiB and more, and times after 2038, to one value.
Sorted sorted_entry(fs_file *file, Order order)
{
    Sorted entry{0, 0, file};
    switch (order) {
    case Order::name: name_key(file->name, entry.high, entry.low); break;
    case Order::time: // newest first
        entry.high = ~(static_cast<uint64_t>(record_of(file).time) ^ sign_bit);
        break;
    case Order::size: entry.high = static_cast<uint64_t>(record_of(file).size) ^ sign_bit; break;
    case Order::custom: break;
    }
    return entry;
}

int32_t sign_of(int64_t difference)
{
    return (difference > 0) - (difference < 0);
}

// True when first belongs after second: the insertion rule's swap test.
struct After {
    Order kind;
    fs_file_compare compare; // for Order::custom
    uint8_t order;
    void *user_data;

    int32_t compare_entries(const Sorted &first, const Sorted &second) const
    {
        if (kind == Order::custom)
            return compare(first.file, second.file, user_data);
        if (first.high != second.high)
            return first.high < second.high ? -1 : 1;
        if (first.low != second.low)
            return first.low < second.low ? -1 : 1;
        return kind == Order::name ? sign_of(std::strcmp(first.file->name, second.file->name)) : 0;
    }

    bool operator()(const Sorted &first, const Sorted &second) const
    {
        int32_t result = compare_entries(first, second);
        return order == 0 ? result > 0 : result < 0;
    }
};

// Stable bottom-up merge sort. Each merge step moves every element exactly
// once whatever the comparison answers, so an inconsistent comparison can
// only give an odd order, never a lost, doubled or out-of-range element.
void merge_sort(std::vector<Sorted> &files, std::vector<Sorted> &scratch, const After &after)
{
    size_t n = files.size();
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t low = 0; low < n; low += 2 * width) {
            size_t mid = std::min(low + width, n);
            size_t high = std::min(low + 2 * width, n);
            size_t left = low;
            size_t right = mid;
            size_t out = low;
            while (left < mid && right < high)
                scratch[out++] = after(files[left], files[right]) ? files[right++] : files[left++];
            while (left < mid)
                scratch[out++] = files[left++];
            while (right < high)
                scratch[out++] = files[right++];
        }
        files.swap(scratch);
    }
}

void free_files(std::vector<Sorted> &files, size_t from)
{
    for (size_t i = from; i < files.size(); ++i)
        std::free(files[i].file);
}

// The sorted walk of fs_dir_sorted_iter, in the order after gives.
int sorted_iter(fs_dir *dir, fs_dir_callback callback, const After &after, void *user_data)
{
    std::vector<Sorted> files;
    std::vector<Sorted> scratch;
    bool out_of_memory = false;
    int count = walk(dir, [&](fs_file *file) {
        if (!record_of(file).known) {
            report_unreadable(file);
            return true;
        }
        try {
            files.push_back(sorted_entry(file, after.kind));
            return true;
        } catch (const std::bad_alloc &) {
            std::free(file);
            out_of_memory = true;
            return false;
        }
    });
    try {
        scratch.resize(files.size());
    } catch (const std::bad_alloc &) {
        out_of_memory = true;
    }
    if (out_of_memory && count >= 0)
        report_walk_failure(dir);
    if (count < 0 || out_of_memory) {
        free_files(files, 0);
        return -1;
    }
    // The insertion rule puts a new entry before every equal one, so its
    // order is a stable sort of the entries in reverse listing order.
    std::reverse(files.begin(), files.end());
    merge_sort(files, scratch, after);
    for (size_t i = 0; i + 1 < files.size(); ++i)
        files[i].file->next = files[i + 1].file;
    for (size_t i = 0; i < files.size(); ++i) {
        int stop = callback(dir, files[i].file, user_data);
        std::free(files[i].file);
        if (stop != 0) {
            free_files(files, i + 1);
            break;
        }
    }
    return count;
}

bool has_affixes(const char *name, const char *prefix, const char *suffix)
{
    size_t name_len = std::strlen(name);
    size_t prefix_len = std::strlen(prefix);
    size_t suffix_len = std::strlen(suffix);
    return name_len >= prefix_len + suffix_len && std::strncmp(name, prefix, prefix_len) == 0 &&
           std::memcmp(name + name_len - suffix_len, suffix, suffix_len) == 0;
}

// Grows a content buffer to 2 * size + 1 bytes; NULL, with the buffer
// released, when that fails or the length passes what the result can carry.
char *grow_content(char *buffer, size_t length, size_t &size)
{
    char *grown = nullptr;
    if (length <= INT32_MAX && size <= (SIZE_MAX - 1) / 2)
        grown = static_cast<char *>(std::realloc(buffer, 2 * size + 1));
    if (grown == nullptr)
        std::free(buffer);
    size = 2 * size + 1;
    return grown;
}

int32_t to_int32(const char *text)
{
    return clamp_int32(std::strtoll(text, nullptr, 10));
}

} // namespace

fs_dir *fs_dir_new(const char *path) noexcept
{
    if (path == nullptr)
        return nullptr;
    // A path that does not fit is refused rather than cut: a cut path names
    // some other directory.
    platform_dir *handle = std::strlen(path) < FS_PATH_SIZE ? platform_dir_open(path) : nullptr;
    return adopt_listing(handle, path, path, nullptr);
}

namespace ub::detail {

fs_dir *fs_dir_of_node(int folder, const char *path)
{
    platform_dir *handle =
        std::strlen(path) < FS_PATH_SIZE ? platform_dir_open_node(folder) : nullptr;
    return adopt_listing(handle, path, path, nullptr);
}

} // namespace ub::detail

fs_dir *fs_dir_new_at(fs_dir *parent, const char *name) noexcept
{
    if (parent == nullptr || name == nullptr)
        return nullptr;
    char path[FS_PATH_SIZE];
    int length = std::snprintf(path, sizeof path, "%s%c%s", parent->path, PLATFORM_PATH_SEP, name);
    bool fits = length >= 0 && length < FS_PATH_SIZE;
    platform_dir *handle = fits ? platform_dir_open_at(parent->handle, name) : nullptr;
    return adopt_listing(handle, path, parent->path, name);
}

int fs_dir_free(fs_dir *dir) noexcept
{
    if (dir == nullptr)
        return -1;
    platform_dir_close(dir->handle);
    std::free(dir);
    return 0;
}

fs_file *fs_file_new(const char *dir, const char *name) noexcept
{
    if (dir == nullptr || name == nullptr)
        return nullptr;
    fs_file *file = make_file(dir, name, platform_file_status{}, false, nullptr);
    if (file == nullptr)
        return nullptr;
    platform_file_status status;
    if (platform_file_stat(file->path, &status) == 0) {
        file_record &record = record_of(file);
        record.time = status.mtime;
        record.size = status.size;
        record.known = true;
        file->time = clamp_int32(status.mtime);
        file->size = clamp_int32(status.size);
    }
    return file;
}

int fs_file_free(fs_file *file) noexcept
{
    if (file == nullptr)
        return -1;
    std::free(file);
    return 0;
}

int fs_dir_iter(fs_dir *dir, fs_dir_callback callback, void *user_data) noexcept
{
    if (dir == nullptr || callback == nullptr)
        return -1;
    return walk(dir, [&](fs_file *file) {
        if (!record_of(file).known) {
            report_unreadable(file);
            return true;
        }
        int stop = callback(dir, file, user_data);
        std::free(file);
        return stop == 0;
    });
}

int ub::detail::dir_iter_all(fs_dir *dir, fs_dir_callback callback, void *user_data)
{
    if (dir == nullptr || callback == nullptr)
        return -1;
    return walk(dir, [&](fs_file *file) {
        int stop = callback(dir, file, user_data);
        std::free(file);
        return stop == 0;
    });
}

int fs_dir_sorted_iter(fs_dir *dir, fs_dir_callback callback, fs_file_compare compare,
                       uint8_t order, void *user_data) noexcept
{
    if (dir == nullptr || callback == nullptr || compare == nullptr)
        return -1;
    return sorted_iter(dir, callback, After{Order::custom, compare, order, user_data}, user_data);
}

int fs_dir_name_sorted_iter(fs_dir *dir, fs_dir_callback callback, uint8_t order,
                            void *user_data) noexcept
{
    if (dir == nullptr || callback == nullptr)
        return -1;
    return sorted_iter(dir, callback, After{Order::name, nullptr, order, nullptr}, user_data);
}

int fs_dir_time_sorted_iter(fs_dir *dir, fs_dir_callback callback, uint8_t order,
                            void *user_data) noexcept
{
    if (dir == nullptr || callback == nullptr)
        return -1;
    return sorted_iter(dir, callback, After{Order::time, nullptr, order, nullptr}, user_data);
}

int fs_dir_size_sorted_iter(fs_dir *dir, fs_dir_callback callback, uint8_t order,
                            void *user_data) noexcept
{
    if (dir == nullptr || callback == nullptr)
        return -1;
    return sorted_iter(dir, callback, After{Order::size, nullptr, order, nullptr}, user_data);
}

int fs_file_check(const fs_file *file, const char *prefix, const char *suffix) noexcept
{
    if (file == nullptr || file->name == nullptr || prefix == nullptr || suffix == nullptr)
        return 0;
    if (suffix[0] != '\0')
        return has_affixes(file->name, prefix, suffix) ? 1 : 0;
    return re_match_direct(prefix, file->name) >= 0 ? 1 : 0;
}

int fs_get_content(FILE *file, char **content) noexcept
{
    if (file == nullptr || content == nullptr)
        return -1;
    size_t size = content_start;
    size_t length = 0;
    auto *buffer = static_cast<char *>(std::malloc(size));
    while (buffer != nullptr) {
        size_t got = std::fread(buffer + length, 1, size - length, file);
        if (got == 0)
            break;
        length += got;
        // Grows to 2 * size + 1 once more than half is used, so there is
        // always room for the terminator.
        if (length > size / 2)
            buffer = grow_content(buffer, length, size);
    }
    if (buffer == nullptr || std::ferror(file)) {
        std::free(buffer);
        return -1;
    }
    buffer[length] = '\0';
    *content = buffer;
    return static_cast<int>(length);
}

int fs_file_get_content(const fs_file *file, char **content) noexcept
{
    if (file == nullptr || file->path == nullptr || content == nullptr)
        return -1;
    // A walk's record is read relative to its listing, by name; another by
    // its path. Either way only a regular file, never through a link.
    platform_dir *listing = record_of(file).listing;
    FILE *stream = listing != nullptr ? platform_dir_open_regular(listing, file->name)
                                      : platform_dir_open_regular(nullptr, file->path);
    if (stream == nullptr)
        return -1;
    int length = fs_get_content(stream, content);
    std::fclose(stream);
    return length;
}

int fs_delete(const char *path) noexcept
{
    if (path == nullptr)
        return 1;
    int error = 0;
    if (platform_delete_file(path, &error) == 0)
        return 0;
    verbose_message(VESK_MSG_FS_DELETE_FAILED, error, path);
    return 1;
}

int64_t convertMb(int32_t count, int32_t unit) noexcept
{
    return static_cast<int64_t>(static_cast<double>(count) * unit / 1048576.0);
}

int fs_proc_iter_dir_iter(fs_dir *dir, fs_file *file, void *user_data) noexcept
{
    auto *data = static_cast<fs_proc_data *>(user_data);
    if (dir == nullptr || file == nullptr || data == nullptr || data->callback == nullptr ||
        file->name[0] < '0' || file->name[0] > '9')
        return 0;
    // Read relative to the listing the entry came from.
    char stat_name[proc_path_size];
    int written = std::snprintf(stat_name, sizeof stat_name, "%s/stat", file->name);
    if (written < 0 || static_cast<size_t>(written) >= sizeof stat_name)
        return 0;
    char text[proc_stat_size + 1];
    int length = platform_dir_read_file(dir->handle, stat_name, text, proc_stat_size);
    if (length < 0)
        return 0;
    text[length] = '\0';
    // The name sits between the first "(" and the last ")", so a name with
    // blanks or parentheses does not shift the fields after it.
    char *open = std::strchr(text, '(');
    char *close = std::strrchr(text, ')');
    if (open == nullptr || close == nullptr || close < open || close[1] != ' ')
        return 0;
    *close = '\0';
    char *fields[proc_max_fields];
    if (tokenizer(' ', close + 2, fields, proc_max_fields) <= proc_threads_field)
        return 0;
    data->callback(open + 1, to_int32(text), to_int32(fields[proc_parent_field]),
                   to_int32(fields[proc_threads_field]), data->user_data);
    return 0;
}

int fs_proc_iter(void) noexcept
{
    return 0;
}

int fs_hd_iter(void) noexcept
{
    return 0;
}
