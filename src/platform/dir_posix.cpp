// Directory listings, file status and deletion: the POSIX side.
#include "platform/dir.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/detail/posix_files.hpp"
#include "platform/node.h"

// A listing is open (stream set) or suspended (stream NULL, its identity
// kept to check the folder taken up again). Once suspended, the entries it
// had not handed out yet are served from rest, NUL-separated, to the end.
struct platform_dir {
    DIR *stream;
    dev_t device;
    ino_t inode;
    char *rest;       // the saved entries, or NULL while read from stream
    size_t rest_size; // bytes in rest
    size_t rest_at;   // the next saved entry
    int error;        // errno of the failed read, or 0
};

namespace {

int fill_status(int result, const struct stat &info, platform_file_status *out)
{
    if (result != 0) {
        *out = platform_file_status{};
        return -1;
    }
    out->mtime = static_cast<int64_t>(info.st_mtime);
    out->size = static_cast<int64_t>(info.st_size);
    out->is_dir = S_ISDIR(info.st_mode) ? 1 : 0;
    return 0;
}

int unlink_result(int result, int *error)
{
    if (result == 0)
        return 0;
    if (error != nullptr)
        *error = errno;
    return -1;
}

} // namespace

namespace {

// The listing of an open directory descriptor, which it takes over.
platform_dir *listing_of(int fd)
{
    if (fd < 0)
        return nullptr;
    auto *dir = static_cast<platform_dir *>(std::malloc(sizeof(platform_dir)));
    DIR *stream = dir != nullptr ? fdopendir(fd) : nullptr;
    if (stream == nullptr) {
        std::free(dir);
        close(fd);
        return nullptr;
    }
    *dir = platform_dir{stream, 0, 0, nullptr, 0, 0, 0};
    return dir;
}

int fd_of(const platform_dir *dir)
{
    return dir->stream != nullptr ? dirfd(dir->stream) : -1;
}

// The entries of dir not read yet, saved into dir->rest; false when memory
// runs out, the entries read so far being lost then: the listing's reading
// ends with that error.
bool save_rest(platform_dir *dir)
{
    std::string names;
    int error = 0;
    try {
        for (;;) {
            errno = 0;
            const dirent *entry = readdir(dir->stream);
            if (entry == nullptr) {
                error = errno;
                break;
            }
            names.append(entry->d_name, std::strlen(entry->d_name) + 1);
        }
    } catch (const std::bad_alloc &) {
        dir->error = ENOMEM;
        return false;
    }
    auto *rest = static_cast<char *>(std::malloc(names.size() + 1));
    if (rest == nullptr) {
        dir->error = ENOMEM;
        return false;
    }
    std::memcpy(rest, names.data(), names.size());
    dir->rest = rest;
    dir->rest_size = names.size();
    dir->rest_at = 0;
    dir->error = error;
    return true;
}

// A name that stands for one entry of its folder, not for the folder itself,
// its parent or a deeper path.
bool is_child_name(const char *name)
{
    return name[0] != '\0' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
           std::strchr(name, '/') == nullptr;
}

} // namespace

platform_dir *platform_dir_open(const char *path) noexcept
{
    if (path == nullptr || path[0] == '\0')
        return nullptr;
    return listing_of(open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

platform_dir *platform_dir_open_node(int folder) noexcept
{
    return listing_of(
        platform_posix::open_node_at(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

platform_dir *platform_dir_open_at(platform_dir *parent, const char *name) noexcept
{
    if (parent == nullptr || name == nullptr || !is_child_name(name))
        return nullptr;
    // O_NOFOLLOW with O_DIRECTORY: a link put in the folder's place is
    // refused, whatever it points to.
    return listing_of(openat(fd_of(parent), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

const char *platform_dir_read(platform_dir *dir) noexcept
{
    if (dir == nullptr)
        return nullptr;
    if (dir->rest != nullptr) {
        if (dir->rest_at >= dir->rest_size)
            return nullptr;
        const char *name = dir->rest + dir->rest_at;
        dir->rest_at += std::strlen(name) + 1;
        return name;
    }
    if (dir->stream == nullptr || dir->error != 0)
        return nullptr;
    // readdir gives NULL at the end and on a failure alike; errno tells.
    errno = 0;
    const dirent *entry = readdir(dir->stream);
    if (entry == nullptr)
        dir->error = errno;
    return entry == nullptr ? nullptr : entry->d_name;
}

int platform_dir_error(const platform_dir *dir) noexcept
{
    if (dir == nullptr)
        return EINVAL;
    // A suspended listing reports its failure once its saved entries are out.
    return dir->rest != nullptr && dir->rest_at < dir->rest_size ? 0 : dir->error;
}

int platform_dir_suspend(platform_dir *dir) noexcept
{
    if (dir == nullptr || dir->stream == nullptr)
        return 0;
    struct stat info {};
    if (fstat(dirfd(dir->stream), &info) != 0) {
        dir->error = errno;
        return -1;
    }
    if (dir->rest == nullptr && !save_rest(dir))
        return -1;
    dir->device = info.st_dev;
    dir->inode = info.st_ino;
    closedir(dir->stream);
    dir->stream = nullptr;
    return 0;
}

int platform_dir_resume(platform_dir *dir, platform_dir *child) noexcept
{
    if (dir == nullptr)
        return -1;
    if (dir->stream != nullptr)
        return 0;
    int fd = child != nullptr
                 ? openat(fd_of(child), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                 : -1;
    struct stat info {};
    bool same =
        fd >= 0 && fstat(fd, &info) == 0 && info.st_dev == dir->device && info.st_ino == dir->inode;
    DIR *stream = same ? fdopendir(fd) : nullptr;
    if (stream == nullptr) {
        if (fd >= 0)
            close(fd);
        // Another folder, or none: what is left of the listing is dropped
        // rather than looked up in the wrong place.
        dir->rest_at = dir->rest_size;
        dir->error = ESTALE;
        return -1;
    }
    dir->stream = stream;
    return 0;
}

int platform_dir_stat(platform_dir *dir, const char *name, platform_file_status *out) noexcept
{
    if (out == nullptr)
        return -1;
    struct stat info {};
    int result = dir == nullptr || name == nullptr
                     ? -1
                     : fstatat(fd_of(dir), name, &info, AT_SYMLINK_NOFOLLOW);
    return fill_status(result, info, out);
}

int platform_dir_unlink(platform_dir *dir, const char *name, int *error) noexcept
{
    if (dir == nullptr || name == nullptr) {
        errno = EINVAL;
        return unlink_result(-1, error);
    }
    return unlink_result(unlinkat(fd_of(dir), name, 0), error);
}

int platform_dir_read_file(platform_dir *dir, const char *name, char *buffer, size_t size) noexcept
{
    if (dir == nullptr || name == nullptr || buffer == nullptr)
        return -1;
    size = std::min<size_t>(size, INT_MAX);
    int fd = openat(fd_of(dir), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    size_t length = 0;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    while (ok && length < size) {
        ssize_t got = read(fd, buffer + length, size - length);
        if (got < 0 && errno == EINTR)
            continue;
        ok = got >= 0;
        if (got <= 0)
            break;
        length += static_cast<size_t>(got);
    }
    close(fd);
    return ok ? static_cast<int>(length) : -1;
}

FILE *platform_dir_open_regular(platform_dir *dir, const char *name) noexcept
{
    if (name == nullptr)
        return nullptr;
    int at = dir != nullptr ? fd_of(dir) : AT_FDCWD;
    int fd = openat(at, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    FILE *stream = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? fdopen(fd, "rb") : nullptr;
    if (stream == nullptr)
        close(fd);
    return stream;
}

void platform_dir_close(platform_dir *dir) noexcept
{
    if (dir == nullptr)
        return;
    if (dir->stream != nullptr)
        closedir(dir->stream);
    std::free(dir->rest);
    std::free(dir);
}

int platform_file_stat(const char *path, platform_file_status *out) noexcept
{
    if (out == nullptr)
        return -1;
    struct stat info {};
    int result = path == nullptr ? -1 : lstat(path, &info);
    return fill_status(result, info, out);
}

int platform_delete_file(const char *path, int *error) noexcept
{
    if (path == nullptr) {
        errno = EINVAL;
        return unlink_result(-1, error);
    }
    return unlink_result(unlink(path), error);
}

int platform_file_set_time(const char *path, int64_t seconds) noexcept
{
    if (path == nullptr)
        return -1;
    timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    return utimensat(AT_FDCWD, path, times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : -1;
}
