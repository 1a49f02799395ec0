// Files by path and descriptor, and nodes held open: the POSIX side.
#include "platform/file.h"
#include "platform/node.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/detail/posix_files.hpp"

namespace {

// What a descriptor opened: its kind and size.
struct OpenedFile {
    unsigned mode;
    int64_t size;
};

// Asks the descriptor, never a path again. statx fetches only the fields
// asked for, which costs a line a good deal less than fstat does; fstat
// stands in where statx is missing or not allowed.
bool opened_file(int fd, unsigned mask, OpenedFile &out)
{
    struct statx info {};
    if (statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, mask, &info) == 0) {
        out = {info.stx_mode, static_cast<int64_t>(info.stx_size)};
        return (info.stx_mask & mask) == mask;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0)
        return false;
    out = {status.st_mode, static_cast<int64_t>(status.st_size)};
    return true;
}

int open_retrying(int folder, const char *name, int flags)
{
    int fd;
    do {
        fd = openat(folder, name, flags, 0640);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens name relative to folder for appending, as platform_open_append_at
// says: a regular file only. The file's size as opened into *size.
int open_append_at(int folder, const char *name, int wanted, int64_t *size)
{
    // O_NONBLOCK: opening a FIFO without a reader fails instead of waiting
    // for one. On the regular file that must turn out, it changes nothing.
    int flags = O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK;
    if ((wanted & PLATFORM_APPEND_NOFOLLOW) != 0)
        flags |= O_NOFOLLOW;
    // Reading too, so that the writer can look at the file's last line; a
    // file it may only write (an operator's, say) is opened for writing.
    int fd = open_retrying(folder, name, flags | O_RDWR);
    if (fd < 0 && errno == EACCES)
        fd = open_retrying(folder, name, flags | O_WRONLY);
    if (fd < 0)
        return -1;
    OpenedFile file{};
    unsigned needed = STATX_TYPE | (size != nullptr ? STATX_SIZE : 0);
    if (!opened_file(fd, needed, file) || !S_ISREG(file.mode)) {
        close(fd);
        return -1;
    }
    if (size != nullptr)
        *size = file.size;
    return fd;
}

} // namespace

int platform_posix::open_node_at(int folder, const char *name, int flags)
{
    int fd;
    do {
        fd = openat(folder, name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

namespace {

// Whether the node's POSIX access list may grant more than its mode's
// owner, group and other bits show: the system keeps one as an extended
// attribute only when it names users or groups beyond those three. A
// handle the system cannot ask is taken to have one (the caller only asks
// where a list would matter).
bool has_access_list(int node)
{
    char path[32];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", node);
    ssize_t size = getxattr(path, "system.posix_acl_access", nullptr, 0);
    return size > 0 || (size < 0 && errno != ENODATA && errno != ENOTSUP);
}

int node_kind(unsigned mode)
{
    if (S_ISREG(mode))
        return PLATFORM_NODE_FILE;
    if (S_ISDIR(mode))
        return PLATFORM_NODE_FOLDER;
    return S_ISLNK(mode) ? PLATFORM_NODE_LINK : PLATFORM_NODE_OTHER;
}

} // namespace

int platform_node_open(int folder, const char *name, int flags, int *error) noexcept
{
    if (name == nullptr || name[0] == '\0') {
        if (error != nullptr)
            *error = ENOENT;
        return -1;
    }
    int base = folder == PLATFORM_NODE_CWD ? AT_FDCWD : folder;
    // A folder to make is made for the effective user alone; one that is
    // there already is opened as it is, to be judged by the caller.
    if ((flags & PLATFORM_NODE_MAKE_FOLDER) != 0 && mkdirat(base, name, 0700) != 0 &&
        errno != EEXIST) {
        if (error != nullptr)
            *error = errno;
        return -1;
    }
    int open_flags = O_CLOEXEC | ((flags & PLATFORM_NODE_NOFOLLOW) != 0 ? O_NOFOLLOW : 0) |
                     ((flags & PLATFORM_NODE_MAKE_FOLDER) != 0 ? O_DIRECTORY : 0);
    // Reading: never waiting on a FIFO, and a link met with NOFOLLOW fails
    // (ELOOP) rather than being opened.
    open_flags |= (flags & PLATFORM_NODE_READ) != 0 ? O_RDONLY | O_NONBLOCK : O_PATH;
    int fd = platform_posix::open_node_at(base, name, open_flags);
    if (fd < 0) {
        if (error != nullptr)
            *error = errno;
        return -1;
    }
    OpenedFile file{};
    if ((flags & PLATFORM_NODE_READ) != 0) {
        if (!opened_file(fd, STATX_TYPE, file) || !S_ISREG(file.mode)) {
            close(fd);
            if (error != nullptr)
                *error = EINVAL;
            return -1;
        }
        // The read was only kept from waiting; reads themselves may block.
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

int platform_node_parent(int node) noexcept
{
    return platform_posix::open_node_at(node, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

namespace {

// Whether the node name of folder (the folder itself for "") has an access
// list that may grant more than its mode shows.
bool has_access_list_at(int folder, const char *name)
{
    if (*name == '\0')
        return has_access_list(folder);
    int node = platform_posix::open_node_at(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    bool listed = node < 0 || has_access_list(node);
    if (node >= 0)
        close(node);
    return listed;
}

// The status of the node name of folder ("" for folder itself), never
// following a link in name's last part. statx asks for only what is needed.
int node_status_at(int folder, const char *name, platform_node_status *out)
{
    if (out == nullptr)
        return -1;
    int base = folder == PLATFORM_NODE_CWD ? AT_FDCWD : folder;
    if (folder == PLATFORM_NODE_CWD && *name == '\0')
        name = ".";
    const unsigned mask = STATX_TYPE | STATX_MODE | STATX_NLINK | STATX_UID | STATX_GID | STATX_INO;
    struct statx info {};
    int flags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | (*name == '\0' ? AT_EMPTY_PATH : 0);
    if (statx(base, name, flags, mask, &info) != 0 || (info.stx_mask & mask) != mask)
        return -1;
    unsigned mode = info.stx_mode;
    *out = platform_node_status{};
    out->kind = node_kind(mode);
    out->owner_self = info.stx_uid == geteuid() ? 1 : 0;
    out->owner_trusted = info.stx_uid == 0 || out->owner_self == 1 ? 1 : 0;
    out->links = info.stx_nlink;
    out->sticky = S_ISDIR(mode) && (mode & S_ISVTX) != 0 ? 1 : 0;
    out->id[0] = (static_cast<uint64_t>(info.stx_dev_major) << 32) | info.stx_dev_minor;
    out->id[1] = info.stx_ino;
    std::snprintf(out->owner, sizeof out->owner, "%lu", static_cast<unsigned long>(info.stx_uid));
    // A link's own permissions mean nothing: who may replace it is asked of
    // its folder.
    if (out->kind == PLATFORM_NODE_LINK)
        return 0;
    if (out->owner_trusted == 0) {
        out->writer = PLATFORM_WRITER_OWNER;
        std::snprintf(out->who, sizeof out->who, "%s", out->owner);
    } else if ((mode & S_IWOTH) != 0) {
        out->writer = PLATFORM_WRITER_EVERYONE;
    } else if ((mode & S_IWGRP) != 0 && info.stx_gid != 0) {
        out->writer = PLATFORM_WRITER_GROUP;
        std::snprintf(out->who, sizeof out->who, "%lu", static_cast<unsigned long>(info.stx_gid));
    } else if ((mode & S_IWGRP) != 0 && has_access_list_at(base, name)) {
        // With an access list the group bits are its mask: the most that a
        // named user or group, or the group, is granted.
        out->writer = PLATFORM_WRITER_ACL;
    }
    return 0;
}

} // namespace

int platform_node_status_get(int node, platform_node_status *out) noexcept
{
    return node_status_at(node, "", out);
}

int platform_node_status_above(int node, int levels, platform_node_status *out) noexcept
{
    // "../.." relative to the node held: a folder on the way can only be
    // moved elsewhere by someone who may write to it, so the folders above
    // a trusted one are the ones this names, and above an untrusted one the
    // judgement has already ended.
    if (levels < 1 || levels > PLATFORM_PATH_MAX / 3 - 1)
        return -1;
    std::string path;
    for (int level = 0; level < levels; ++level)
        path += level == 0 ? ".." : "/..";
    return node_status_at(node, path.c_str(), out);
}

int platform_node_read_link(int folder, const char *name, char *buffer, size_t size) noexcept
{
    if (name == nullptr || buffer == nullptr || size == 0)
        return -1;
    ssize_t length =
        readlinkat(folder == PLATFORM_NODE_CWD ? AT_FDCWD : folder, name, buffer, size);
    if (length < 0 || static_cast<size_t>(length) >= size)
        return -1;
    buffer[length] = '\0';
    return 0;
}

int platform_node_path(int node, char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return -1;
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", node);
    ssize_t length = node < 0 ? -1 : readlink(link, buffer, size);
    if (length <= 0 || static_cast<size_t>(length) >= size) {
        buffer[0] = '\0';
        return -1;
    }
    buffer[length] = '\0';
    return 0;
}

int platform_open_append_at(int folder, const char *name, int flags, int64_t *size) noexcept
{
    if (name == nullptr)
        return -1;
    return open_append_at(folder == PLATFORM_NODE_CWD ? AT_FDCWD : folder, name, flags, size);
}

int platform_read_tail(int fd, char *buffer, size_t size) noexcept
{
    if (buffer == nullptr)
        return -1;
    off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0)
        return -1;
    size_t wanted = std::min<size_t>({size, static_cast<size_t>(end), INT_MAX});
    size_t done = 0;
    while (done < wanted) {
        ssize_t n = pread(fd, buffer + done, wanted - done,
                          end - static_cast<off_t>(wanted) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0 ? static_cast<int>(done) : -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
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
