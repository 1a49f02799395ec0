// The fallback log file on Windows: in the host's own folder under
// %ProgramData%, where every user may add. The folder is made private when
// missing and taken only when no one but the system and the process's user
// may change it; the file, opened relative to the folder held open, must be
// a plain file of one name that no one else may change.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "log/detail/fallback.hpp"
#include "platform/platform.h"

namespace {

// Whether status is that of a node of kind that only the system and the
// process's user may change.
bool kept_private(const platform_node_status &status, int kind)
{
    return status.kind == kind && status.owner_trusted == 1 &&
           status.writer == PLATFORM_WRITER_NONE;
}

} // namespace

const char *ub::detail::fallback_path() noexcept
{
    static char path[PLATFORM_PATH_MAX];
    static std::once_flag made;
    std::call_once(made, [] {
        const char *base = std::getenv("ProgramData");
        size_t length = base != nullptr ? std::strlen(base) : 0;
        // Only a drive's absolute path will do; anything else is the
        // system's usual place.
        bool usable = length >= 3 && length < sizeof path - 32 && base[1] == ':' &&
                      (base[2] == '\\' || base[2] == '/');
        while (usable && length > 3 && (base[length - 1] == '\\' || base[length - 1] == '/'))
            --length;
        if (!usable) {
            base = "C:\\ProgramData";
            length = std::strlen(base);
        }
        std::snprintf(path, sizeof path, "%.*s\\VESK\\ubrontex.log", static_cast<int>(length),
                      base);
    });
    return path;
}

namespace {

// Opens <base>\<folder>\<file> under the rules of ub::detail::open_fallback.
int open_below(const char *path, int64_t *size)
{
    // <base>\<folder>\<file>
    std::string text(path);
    size_t file_at = text.find_last_of("\\/");
    size_t folder_at = file_at == std::string::npos || file_at == 0
                           ? std::string::npos
                           : text.find_last_of("\\/", file_at - 1);
    if (folder_at == std::string::npos || folder_at == 0)
        return -1;
    std::string base = text.substr(0, folder_at + 1);
    std::string folder = text.substr(folder_at + 1, file_at - folder_at - 1);
    int above = platform_node_open(PLATFORM_NODE_CWD, base.c_str(), 0, nullptr);
    if (above < 0)
        return -1;
    int held = platform_node_open(above, folder.c_str(),
                                  PLATFORM_NODE_NOFOLLOW | PLATFORM_NODE_MAKE_FOLDER, nullptr);
    platform_close(above);
    platform_node_status status{};
    if (held < 0 || platform_node_status_get(held, &status) != 0 ||
        !kept_private(status, PLATFORM_NODE_FOLDER)) {
        platform_close(held);
        return -1;
    }
    int fd = platform_open_append_at(held, text.c_str() + file_at + 1,
                                     PLATFORM_APPEND_NOFOLLOW | PLATFORM_APPEND_ASKABLE, size);
    platform_close(held);
    if (fd >= 0 && (platform_node_status_get(fd, &status) != 0 ||
                    !kept_private(status, PLATFORM_NODE_FILE) || status.links != 1)) {
        platform_close(fd);
        return -1;
    }
    return fd;
}

} // namespace

int ub::detail::open_fallback(const char *path, int64_t *size) noexcept
{
    try {
        return open_below(path, size);
    } catch (const std::bad_alloc &) {
        return -1;
    }
}
