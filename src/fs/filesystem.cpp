#include "fs/filesystem.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/re.h"
#include "util/vesk_utils.h"

namespace {

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

// The record and its three texts in one allocation, so fs_file_free is a
// single free and a sorted walk of many entries stays compact.
fs_file *make_file(const char *dir, const char *name, const platform_file_status &status)
{
    size_t dir_len = std::strlen(dir);
    size_t name_len = std::strlen(name);
    size_t path_len = dir_len + 1 + name_len;
    size_t texts = (name_len + 1) + (dir_len + 1) + (path_len + 1);
    auto *file = static_cast<fs_file *>(std::malloc(sizeof(fs_file) + texts));
    if (file == nullptr)
        return nullptr;
    char *text = reinterpret_cast<char *>(file + 1);
    file->name = static_cast<char *>(std::memcpy(text, name, name_len + 1));
    file->dir = static_cast<char *>(std::memcpy(text + name_len + 1, dir, dir_len + 1));
    file->path = file->dir + dir_len + 1;
    std::memcpy(file->path, dir, dir_len);
    file->path[dir_len] = PLATFORM_PATH_SEP;
    std::memcpy(file->path + dir_len + 1, name, name_len + 1);
    file->time = clamp_int32(status.mtime);
    file->size = clamp_int32(status.size);
    file->is_dir = 0;
    file->next = nullptr;
    return file;
}

// Reads the listing to its end or until visit returns false. visit takes
// ownership of each record. The count of entries read, "." and ".."
// included, except the one that stopped the walk; -1 when memory runs out.
template <typename Visit> int walk(fs_dir *dir, Visit visit)
{
    int count = 0;
    while (const char *name = platform_dir_read(dir->handle)) {
        if (is_dot_entry(name)) {
            ++count;
            continue;
        }
        // One status query, relative to the open listing, gives time, size
        // and the directory flag.
        platform_file_status status;
        platform_dir_stat(dir->handle, name, &status);
        fs_file *file = make_file(dir->path, name, status);
        if (file == nullptr)
            return -1;
        file->is_dir = status.is_dir ? 1 : 0;
        if (!visit(file))
            break;
        ++count;
    }
    return count;
}

// True when first belongs after second: the insertion rule's swap test.
struct After {
    fs_file_compare compare;
    uint8_t order;
    void *user_data;
    bool operator()(const fs_file *first, const fs_file *second) const
    {
        int32_t result = compare(first, second, user_data);
        return order == 0 ? result > 0 : result < 0;
    }
};

// Stable bottom-up merge sort. Each merge step moves every element exactly
// once whatever the comparison answers, so an inconsistent comparison can
// only give an odd order, never a lost, doubled or out-of-range element.
void merge_sort(std::vector<fs_file *> &files, std::vector<fs_file *> &scratch, const After &after)
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

void free_files(std::vector<fs_file *> &files, size_t from)
{
    for (size_t i = from; i < files.size(); ++i)
        std::free(files[i]);
}

int32_t sign_of(int64_t difference)
{
    return (difference > 0) - (difference < 0);
}

int32_t compare_name(const fs_file *first, const fs_file *second, void *)
{
    return sign_of(std::strcmp(first->name, second->name));
}

// Times and sizes subtract in 64 bits: a 32-bit difference overflows for
// values far apart.
int32_t compare_time(const fs_file *first, const fs_file *second, void *)
{
    return sign_of(static_cast<int64_t>(second->time) - first->time);
}

int32_t compare_size(const fs_file *first, const fs_file *second, void *)
{
    return sign_of(static_cast<int64_t>(first->size) - second->size);
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
    platform_dir *handle = nullptr;
    fs_dir *dir = nullptr;
    // A path that does not fit is refused rather than cut: a cut path names
    // some other directory.
    if (std::strlen(path) < FS_PATH_SIZE)
        handle = platform_dir_open(path);
    if (handle != nullptr)
        dir = static_cast<fs_dir *>(std::malloc(sizeof(fs_dir)));
    if (dir == nullptr) {
        platform_dir_close(handle);
        std::fprintf(stderr, "|%s| Falha ao tentar abrir diretorio: '%s'.\n", fs_tag, path);
        return nullptr;
    }
    std::strcpy(dir->path, path);
    dir->handle = handle;
    return dir;
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
    fs_file *file = make_file(dir, name, platform_file_status{});
    if (file == nullptr)
        return nullptr;
    platform_file_status status;
    platform_file_stat(file->path, &status);
    file->time = clamp_int32(status.mtime);
    file->size = clamp_int32(status.size);
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
        int stop = callback(dir, file, user_data);
        std::free(file);
        return stop == 0;
    });
}

int fs_dir_sorted_iter(fs_dir *dir, fs_dir_callback callback, fs_file_compare compare, uint8_t order,
                       void *user_data) noexcept
{
    if (dir == nullptr || callback == nullptr || compare == nullptr)
        return -1;
    std::vector<fs_file *> files;
    std::vector<fs_file *> scratch;
    bool out_of_memory = false;
    int count = walk(dir, [&](fs_file *file) {
        try {
            files.push_back(file);
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
    if (count < 0 || out_of_memory) {
        free_files(files, 0);
        return -1;
    }
    // The insertion rule puts a new entry before every equal one, so its
    // order is a stable sort of the entries in reverse listing order.
    std::reverse(files.begin(), files.end());
    merge_sort(files, scratch, After{compare, order, user_data});
    for (size_t i = 0; i + 1 < files.size(); ++i)
        files[i]->next = files[i + 1];
    for (size_t i = 0; i < files.size(); ++i) {
        int stop = callback(dir, files[i], user_data);
        std::free(files[i]);
        if (stop != 0) {
            free_files(files, i + 1);
            break;
        }
    }
    return count;
}

int fs_dir_name_sorted_iter(fs_dir *dir, fs_dir_callback callback, uint8_t order,
                            void *user_data) noexcept
{
    return fs_dir_sorted_iter(dir, callback, compare_name, order, user_data);
}

int fs_dir_time_sorted_iter(fs_dir *dir, fs_dir_callback callback, uint8_t order,
                            void *user_data) noexcept
{
    return fs_dir_sorted_iter(dir, callback, compare_time, order, user_data);
}

int fs_dir_size_sorted_iter(fs_dir *dir, fs_dir_callback callback, uint8_t order,
                            void *user_data) noexcept
{
    return fs_dir_sorted_iter(dir, callback, compare_size, order, user_data);
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
    FILE *stream = std::fopen(file->path, "rb");
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
    std::fprintf(stderr, "Erro (%d) ao tentar apagar arquivo: '%s'.\n", error, path);
    return 1;
}

int64_t convertMb(int32_t count, int32_t unit) noexcept
{
    return static_cast<int64_t>(static_cast<double>(count) * unit / 1048576.0);
}

int fs_proc_iter_dir_iter(fs_dir *, fs_file *file, void *user_data) noexcept
{
    auto *data = static_cast<fs_proc_data *>(user_data);
    if (file == nullptr || data == nullptr || data->callback == nullptr || file->name[0] < '0' ||
        file->name[0] > '9')
        return 0;
    char stat_path[proc_path_size];
    int written = std::snprintf(stat_path, sizeof stat_path, "%s/stat", file->path);
    if (written < 0 || static_cast<size_t>(written) >= sizeof stat_path)
        return 0;
    FILE *stream = std::fopen(stat_path, "rb");
    if (stream == nullptr)
        return 0;
    char text[proc_stat_size + 1];
    size_t length = std::fread(text, 1, proc_stat_size, stream);
    std::fclose(stream);
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
