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
    const char *start = static_cast<const char *>(data);
    const char *p = start;
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return p == start ? -1 : -2;
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
