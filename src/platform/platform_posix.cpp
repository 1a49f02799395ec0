#include "platform/platform.h"

#include <cerrno>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

int platform_getcwd(char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return -1;
    if (getcwd(buffer, size) == nullptr) {
        buffer[0] = '\0';
        return -1;
    }
    return 0;
}

void platform_sleep_ms(uint32_t milliseconds) noexcept
{
    timespec rest{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

int platform_localtime(time_t seconds, struct tm *out) noexcept
{
    if (out == nullptr || localtime_r(&seconds, out) == nullptr)
        return -1;
    return 0;
}

const char *platform_fallback_log_path(void) noexcept
{
    return "/tmp/ubrontex.log";
}

int platform_open_append(const char *path, int follow_links) noexcept
{
    if (path == nullptr)
        return -1;
    int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
    if (!follow_links)
        flags |= O_NOFOLLOW;
    int fd;
    do {
        fd = open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int platform_write_all(int fd, const void *data, size_t size) noexcept
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

void platform_close(int fd) noexcept
{
    if (fd >= 0)
        close(fd);
}

void *platform_library_open(const char *path, int *error) noexcept
{
    if (path == nullptr) {
        if (error != nullptr)
            *error = EINVAL;
        return nullptr;
    }
    errno = 0;
    void *library = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr && error != nullptr)
        *error = errno != 0 ? errno : -1;
    return library;
}

void *platform_library_symbol(void *library, const char *name) noexcept
{
    if (library == nullptr || name == nullptr)
        return nullptr;
    return dlsym(library, name);
}

// Directory listing, file status and deletion.

#include <cstdlib>

#include <dirent.h>
#include <sys/stat.h>

struct platform_dir {
    DIR *stream;
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

platform_dir *platform_dir_open(const char *path) noexcept
{
    if (path == nullptr)
        return nullptr;
    DIR *stream = opendir(path);
    if (stream == nullptr)
        return nullptr;
    auto *dir = static_cast<platform_dir *>(std::malloc(sizeof(platform_dir)));
    if (dir == nullptr) {
        closedir(stream);
        return nullptr;
    }
    dir->stream = stream;
    return dir;
}

const char *platform_dir_read(platform_dir *dir) noexcept
{
    if (dir == nullptr)
        return nullptr;
    const dirent *entry = readdir(dir->stream);
    return entry == nullptr ? nullptr : entry->d_name;
}

int platform_dir_stat(platform_dir *dir, const char *name, platform_file_status *out) noexcept
{
    if (out == nullptr)
        return -1;
    struct stat info {};
    int result = dir == nullptr || name == nullptr
                     ? -1
                     : fstatat(dirfd(dir->stream), name, &info, AT_SYMLINK_NOFOLLOW);
    return fill_status(result, info, out);
}

int platform_dir_unlink(platform_dir *dir, const char *name, int *error) noexcept
{
    if (dir == nullptr || name == nullptr) {
        errno = EINVAL;
        return unlink_result(-1, error);
    }
    return unlink_result(unlinkat(dirfd(dir->stream), name, 0), error);
}

void platform_dir_close(platform_dir *dir) noexcept
{
    if (dir == nullptr)
        return;
    closedir(dir->stream);
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
