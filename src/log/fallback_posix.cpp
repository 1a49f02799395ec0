// The fallback log file on POSIX: in /tmp, where every user may write, so
// only a plain file of the effective user's own with no other name will do,
// never reached through a link: anything else may be another user's trap.
#include "log/detail/fallback.hpp"

#include "platform/platform.h"

const char *ub::detail::fallback_path() noexcept
{
    return "/tmp/ubrontex.log";
}

int ub::detail::open_fallback(const char *path, int64_t *size) noexcept
{
    int fd = platform_open_append_at(PLATFORM_NODE_CWD, path,
                                     PLATFORM_APPEND_NOFOLLOW | PLATFORM_APPEND_ASKABLE, size);
    platform_node_status status{};
    if (fd >= 0 &&
        (platform_node_status_get(fd, &status) != 0 || status.kind != PLATFORM_NODE_FILE ||
         status.owner_self != 1 || status.links != 1)) {
        platform_close(fd);
        return -1;
    }
    return fd;
}
