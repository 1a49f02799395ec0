// The running program: the POSIX side.
#include "platform/process.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

int platform_executable_dir(char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return -1;
    ssize_t length = readlink("/proc/self/exe", buffer, size);
    char *slash = nullptr;
    if (length > 0 && static_cast<size_t>(length) < size) {
        buffer[length] = '\0';
        slash = std::strrchr(buffer, '/');
    }
    if (slash == nullptr) {
        buffer[0] = '\0';
        return -1;
    }
    // The root folder keeps its slash.
    slash[slash == buffer ? 1 : 0] = '\0';
    return 0;
}

void platform_console_attach(void) noexcept {}

int platform_stderr_is_journal(void) noexcept
{
    // "<device>:<inode>" of the stream systemd connected; standard error
    // may have been sent elsewhere since, so the descriptor must match.
    const char *stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0;
    unsigned long long inode = 0;
    struct stat info {};
    return stream != nullptr && std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 &&
           fstat(STDERR_FILENO, &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

int platform_path_access(const char *path) noexcept
{
    if (path == nullptr)
        return -1;
    struct stat info {};
    if (stat(path, &info) != 0)
        return errno == EACCES ? PLATFORM_PATH_UNREADABLE : PLATFORM_PATH_MISSING;
    // A folder is of use only when it can be listed and entered.
    int wanted = S_ISDIR(info.st_mode) ? R_OK | X_OK : R_OK;
    return faccessat(AT_FDCWD, path, wanted, AT_EACCESS) == 0 ? PLATFORM_PATH_READABLE
                                                              : PLATFORM_PATH_UNREADABLE;
}

int platform_set_cwd(const char *path) noexcept
{
    return path != nullptr && chdir(path) == 0 ? 0 : -1;
}

int64_t platform_process_id(void) noexcept
{
    return getpid();
}

int platform_temp_folder(char *buffer, size_t size) noexcept
{
    constexpr char folder[] = "/tmp";
    if (buffer == nullptr || size == 0)
        return -1;
    if (size < sizeof folder) {
        buffer[0] = '\0';
        return -1;
    }
    std::memcpy(buffer, folder, sizeof folder);
    return 0;
}

void platform_exit_now(int status) noexcept
{
    _exit(status);
}

int platform_notify_manager(const char *state) noexcept
{
    const char *where = std::getenv("NOTIFY_SOCKET");
    if (where == nullptr || where[0] == '\0')
        return 1;
    if (state == nullptr)
        return -1;
    // A path, or "@name" in the abstract namespace.
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    size_t length = std::strlen(where);
    if ((where[0] != '/' && where[0] != '@') || length >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, where, length);
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0';
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    auto address_size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    ssize_t sent;
    do {
        sent = sendto(fd, state, std::strlen(state), MSG_NOSIGNAL,
                      reinterpret_cast<const sockaddr *>(&address), address_size);
    } while (sent < 0 && errno == EINTR);
    close(fd);
    return sent >= 0 ? 0 : -1;
}
