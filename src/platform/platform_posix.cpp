#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <sys/xattr.h>
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

namespace {

// What a descriptor opened: the kind, owner, group, number of links and size.
struct OpenedFile {
    unsigned mode;
    uid_t owner;
    gid_t group;
    unsigned links;
    int64_t size;
};

// Asks the descriptor (or, with AT_FDCWD and ".", the working folder the
// process holds), never a path again. statx fetches only the fields asked
// for, which costs a line a good deal less than fstat does; fstat stands in
// where statx is missing or not allowed.
bool opened_file(int fd, const char *name, unsigned mask, OpenedFile &out)
{
    struct statx info {};
    int flags = (*name == '\0' ? AT_EMPTY_PATH : 0) | AT_STATX_DONT_SYNC;
    if (statx(fd, name, flags, mask, &info) == 0) {
        out = {info.stx_mode, info.stx_uid, info.stx_gid, info.stx_nlink,
               static_cast<int64_t>(info.stx_size)};
        return (info.stx_mask & mask) == mask;
    }
    struct stat status {};
    if ((*name == '\0' ? fstat(fd, &status) : fstatat(fd, name, &status, 0)) != 0)
        return false;
    out = {status.st_mode, status.st_uid, status.st_gid, static_cast<unsigned>(status.st_nlink),
           static_cast<int64_t>(status.st_size)};
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

// Opens name relative to folder for appending; in a shared folder only a
// plain file of the effective user's own with one name, never through a
// link; elsewhere any regular file. The file's size as opened into *size.
int open_append_at(int folder, const char *name, bool shared, int64_t *size)
{
    // O_NONBLOCK: opening a FIFO without a reader fails instead of waiting
    // for one. On the regular file that must turn out, it changes nothing.
    int flags = O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK;
    if (shared)
        flags |= O_NOFOLLOW;
    // Reading too, so that the writer can look at the file's last line; a
    // file it may only write (an operator's, say) is opened for writing.
    int fd = open_retrying(folder, name, flags | O_RDWR);
    if (fd < 0 && errno == EACCES)
        fd = open_retrying(folder, name, flags | O_WRONLY);
    if (fd < 0)
        return -1;
    OpenedFile file{};
    unsigned needed = (shared ? STATX_TYPE | STATX_UID | STATX_NLINK : STATX_TYPE) |
                      (size != nullptr ? STATX_SIZE : 0);
    bool accepted = opened_file(fd, "", needed, file) && S_ISREG(file.mode) &&
                    (!shared || (file.owner == geteuid() && file.links == 1));
    if (!accepted) {
        close(fd);
        return -1;
    }
    if (size != nullptr)
        *size = file.size;
    return fd;
}

} // namespace

int platform_open_append(const char *path, int place, int64_t *size) noexcept
{
    if (path == nullptr)
        return -1;
    return open_append_at(AT_FDCWD, path, place != PLATFORM_APPEND_OWN_FOLDER, size);
}

namespace {

int open_node_at(int folder, const char *name, int flags)
{
    int fd;
    do {
        fd = openat(folder, name, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

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
    int open_flags = O_CLOEXEC | ((flags & PLATFORM_NODE_NOFOLLOW) != 0 ? O_NOFOLLOW : 0);
    // Reading: never waiting on a FIFO, and a link met with NOFOLLOW fails
    // (ELOOP) rather than being opened.
    open_flags |= (flags & PLATFORM_NODE_READ) != 0 ? O_RDONLY | O_NONBLOCK : O_PATH;
    int fd = open_node_at(base, name, open_flags);
    if (fd < 0) {
        if (error != nullptr)
            *error = errno;
        return -1;
    }
    OpenedFile file{};
    if ((flags & PLATFORM_NODE_READ) != 0) {
        if (!opened_file(fd, "", STATX_TYPE, file) || !S_ISREG(file.mode)) {
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
    return open_node_at(node, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
}

namespace {

// Whether the node name of folder (the folder itself for "") has an access
// list that may grant more than its mode shows.
bool has_access_list_at(int folder, const char *name)
{
    if (*name == '\0')
        return has_access_list(folder);
    int node = open_node_at(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
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
    const unsigned mask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_INO;
    struct statx info {};
    int flags = AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC | (*name == '\0' ? AT_EMPTY_PATH : 0);
    if (statx(base, name, flags, mask, &info) != 0 || (info.stx_mask & mask) != mask)
        return -1;
    unsigned mode = info.stx_mode;
    *out = platform_node_status{};
    out->kind = node_kind(mode);
    out->owner_trusted = info.stx_uid == 0 || info.stx_uid == geteuid() ? 1 : 0;
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

int platform_open_append_at(int folder, const char *name, int64_t *size) noexcept
{
    if (name == nullptr)
        return -1;
    return open_append_at(folder == PLATFORM_NODE_CWD ? AT_FDCWD : folder, name, false, size);
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

void platform_library_close(void *library) noexcept
{
    if (library != nullptr)
        dlclose(library);
}

namespace {

// Copies text into reason, cut to fit; nothing when there is no room.
void put_reason(char *reason, size_t size, const char *text)
{
    if (reason != nullptr && size > 0)
        std::snprintf(reason, size, "%s", text);
}

} // namespace

void *platform_library_open_reason(const char *path, int *missing, char *reason,
                                   size_t size) noexcept
{
    if (missing != nullptr)
        *missing = path == nullptr ? 1 : 0;
    if (path == nullptr) {
        put_reason(reason, size, "nao encontrado");
        return nullptr;
    }
    void *library = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    if (library != nullptr)
        return library;
    const char *text = dlerror();
    // The loader says the same of a missing library and of a missing
    // dependency; whether the file is there tells the two apart.
    struct stat status;
    if (text == nullptr ||
        (std::strchr(path, '/') != nullptr && stat(path, &status) != 0 && errno == ENOENT)) {
        if (missing != nullptr)
            *missing = 1;
        put_reason(reason, size, "nao encontrado");
        return nullptr;
    }
    // The loader's message starts with the name of the library it is about.
    size_t length = std::strlen(path);
    if (std::strncmp(text, path, length) == 0 && text[length] == ':')
        text += text[length + 1] == ' ' ? length + 2 : length + 1;
    put_reason(reason, size, text);
    return nullptr;
}

void *platform_jvm_library_open_node(int node, int *missing, char *reason, size_t size) noexcept
{
    // The loader maps the very file the descriptor holds, whatever happens
    // to its path meanwhile. The name it keeps is that of a descriptor of
    // its own, held open for good: the JVM resolves it to find its home.
    int held = fcntl(node, F_DUPFD_CLOEXEC, 0);
    if (held < 0) {
        if (missing != nullptr)
            *missing = 0;
        put_reason(reason, size, std::strerror(errno));
        return nullptr;
    }
    char path[32];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", held);
    void *library = platform_library_open_reason(path, missing, reason, size);
    if (library == nullptr)
        close(held);
    return library;
}

char *platform_jvm_library_paths(const char *build_java_home) noexcept
{
    static const char library[] = "/lib/server/libjvm.so";
    try {
        std::string paths;
        auto add = [&paths](char kind, const char *home) {
            if (home != nullptr && home[0] != '\0') {
                paths += kind;
                paths += home;
                paths += library;
                paths += '\0';
            }
        };
        add(PLATFORM_JVM_NAMED, std::getenv("JAVA_HOME"));
        add(PLATFORM_JVM_USUAL, "/usr/lib/jvm/default-java");
        add(PLATFORM_JVM_USUAL, build_java_home);
        paths += '\0';
        char *block = static_cast<char *>(std::malloc(paths.size()));
        if (block != nullptr)
            std::memcpy(block, paths.data(), paths.size());
        return block;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

// ---- System description for the machine information module.

namespace {

// Windows' architecture and processor-type codes for a uname machine name.
void cpu_codes(const char *machine, uint16_t *architecture, uint32_t *processor_type)
{
    *architecture = PLATFORM_ARCH_UNKNOWN;
    *processor_type = 0;
    if (std::strcmp(machine, "x86_64") == 0 || std::strcmp(machine, "amd64") == 0) {
        *architecture = PLATFORM_ARCH_AMD64;
        *processor_type = PLATFORM_CPU_AMD_X8664;
    } else if (machine[0] == 'i' && machine[1] >= '3' && machine[1] <= '6' &&
               std::strcmp(machine + 2, "86") == 0) {
        *architecture = PLATFORM_ARCH_X86;
        *processor_type = PLATFORM_CPU_INTEL_PENTIUM;
    } else if (std::strcmp(machine, "ia64") == 0) {
        *architecture = PLATFORM_ARCH_IA64;
        *processor_type = PLATFORM_CPU_INTEL_IA64;
    } else if (std::strcmp(machine, "aarch64") == 0 || std::strncmp(machine, "armv8", 5) == 0 ||
               std::strcmp(machine, "arm64") == 0) {
        *architecture = PLATFORM_ARCH_ARM64;
    } else if (std::strncmp(machine, "arm", 3) == 0) {
        *architecture = PLATFORM_ARCH_ARM;
    }
}

void copy_text(char *buffer, size_t size, const char *text)
{
    std::snprintf(buffer, size, "%s", text);
}

bool is_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

int platform_cpu_info_get(platform_cpu_info *out) noexcept
{
    if (out == nullptr)
        return -1;
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    out->count = online > 0 ? static_cast<uint32_t>(online) : 1;
    utsname names{};
    if (uname(&names) != 0)
        names.machine[0] = '\0';
    cpu_codes(names.machine, &out->architecture, &out->processor_type);
    return 0;
}

int platform_os_text(char *name, size_t name_size, char *release, size_t release_size) noexcept
{
    if (name == nullptr || release == nullptr || name_size == 0 || release_size == 0)
        return -1;
    utsname names{};
    if (uname(&names) != 0) {
        name[0] = '\0';
        release[0] = '\0';
        return -1;
    }
    copy_text(name, name_size, names.sysname);
    copy_text(release, release_size, names.release);
    return 0;
}

int platform_hw_profile_guid(const char *id_path, char *guid, size_t size,
                             unsigned long *error) noexcept
{
    unsigned long ignored = 0;
    unsigned long &code = error != nullptr ? *error : ignored;
    constexpr size_t digits = 32;
    constexpr size_t guid_size = digits + 4 + 2 + 1; // dashes, braces, terminator
    if (id_path == nullptr || guid == nullptr || size < guid_size) {
        code = EINVAL;
        return -1;
    }
    FILE *file = std::fopen(id_path, "r");
    if (file == nullptr) {
        code = static_cast<unsigned long>(errno);
        return -1;
    }
    char id[digits + 2] = {};
    size_t got = std::fread(id, 1, digits + 1, file);
    std::fclose(file);
    // Exactly 32 digits, then the end or a line feed.
    bool ok = got >= digits && (got == digits || id[digits] == '\n');
    for (size_t k = 0; ok && k < digits; ++k)
        ok = is_hex_digit(id[k]);
    if (!ok) {
        code = EINVAL;
        return -1;
    }
    std::snprintf(guid, size, "{%.8s-%.4s-%.4s-%.4s-%.12s}", id, id + 8, id + 12, id + 16, id + 20);
    return 0;
}

int platform_hostname(char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0 || gethostname(buffer, size) != 0)
        return -1;
    if (std::memchr(buffer, '\0', size) == nullptr) { // cut off without a terminator
        buffer[0] = '\0';
        return -1;
    }
    return 0;
}

// Directory listing, file status and deletion.

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
    return listing_of(open_node_at(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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

// ---- The running program.

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

// ---- No service manager: an init system starts the host as any program.

int platform_service_supported(void) noexcept
{
    return 0;
}

int platform_service_dispatch(const char *, platform_service_main_fn, platform_service_stop_fn,
                              void *) noexcept
{
    return PLATFORM_SERVICE_UNSUPPORTED;
}

int platform_service_report(int, int32_t, uint32_t) noexcept
{
    return -1;
}

int platform_service_install(const char *, const char *, char *const *, int, uint32_t,
                             int *error) noexcept
{
    if (error != nullptr)
        *error = 0;
    return PLATFORM_SERVICE_UNSUPPORTED;
}

int platform_service_uninstall(const char *, int *error) noexcept
{
    if (error != nullptr)
        *error = 0;
    return PLATFORM_SERVICE_UNSUPPORTED;
}
