// Directory listings, file status and deletion: the Windows side.
// The Windows half of the operating-system layer, for 32- and 64-bit
// Windows. The only file that includes <windows.h>.
#include "platform/dir.h"

#include <winsock2.h>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <tlhelp32.h>
#include <winioctl.h>
#include <winternl.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>

#include "platform/detail/win32_files.hpp"
#include "platform/file.h"
#include "platform/node.h"

using namespace platform_win32;

// Directory listing, file status and deletion: the C runtime's
// _findfirst/_findnext and _stat, and DeleteFileA. A file's time is its
// st_ctime, on Windows the creation time. The runtime lists and looks up by
// path, so each listing holds a handle to its folder, shared for reading and
// writing but not for deletion: while it is open the folder cannot be
// renamed or removed (nor, on NTFS, any folder above it), so the paths
// joined below it name what was listed.

struct platform_dir {
    HANDLE folder;               // the listed folder, held open
    intptr_t find;               // the runtime's search handle, -1 when exhausted
    struct __finddata64_t entry; // the entry read ahead by _findfirst/_findnext
    bool pending;                // entry holds a name not yet handed out
    int error;                   // errno of a failed read, or 0
    char path[1];                // the listed folder, allocated to its length
};

namespace {

// "dir\name" in a malloc'd buffer, or NULL; no second separator after one
// that ends dir.
char *join_path(const char *dir, const char *name)
{
    size_t dir_len = std::strlen(dir);
    size_t name_len = std::strlen(name);
    bool ends_in_separator = dir_len > 0 && (dir[dir_len - 1] == '\\' || dir[dir_len - 1] == '/');
    auto *path = static_cast<char *>(std::malloc(dir_len + name_len + 2));
    if (path != nullptr)
        std::snprintf(path, dir_len + name_len + 2, "%s%s%s", dir, ends_in_separator ? "" : "\\",
                      name);
    return path;
}

struct FreeDeleter {
    void operator()(char *p) const { std::free(p); }
};
using Text = std::unique_ptr<char, FreeDeleter>;

int delete_result(BOOL deleted, int *error)
{
    if (deleted)
        return 0;
    if (error != nullptr)
        *error = static_cast<int>(GetLastError());
    return -1;
}

// A handle to the directory at path; with follow_links 0 a reparse point
// (link or junction) in its place is refused. INVALID_HANDLE_VALUE otherwise.
HANDLE open_folder(const char *path, bool follow_links)
{
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow_links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE folder = CreateFileA(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, flags, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return folder;
    BY_HANDLE_FILE_INFORMATION info{};
    bool refused = !GetFileInformationByHandle(folder, &info) ||
                   (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
                   (!follow_links && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    if (refused) {
        CloseHandle(folder);
        return INVALID_HANDLE_VALUE;
    }
    return folder;
}

// A listing of the folder open as folder, which it takes over (closed on
// failure), whose path is path.
platform_dir *listing_over(HANDLE folder, const char *path)
{
    size_t length = std::strlen(path);
    auto *dir = static_cast<platform_dir *>(std::malloc(sizeof(platform_dir) + length));
    if (dir == nullptr) {
        CloseHandle(folder);
        return nullptr;
    }
    std::memcpy(dir->path, path, length + 1);
    dir->folder = folder;
    Text pattern(join_path(path, "*"));
    dir->find = pattern ? _findfirst64(pattern.get(), &dir->entry) : -1;
    if (dir->find == -1) {
        CloseHandle(folder);
        std::free(dir);
        return nullptr;
    }
    dir->pending = true;
    dir->error = 0;
    return dir;
}

platform_dir *listing_of(const char *path, bool follow_links)
{
    if (path[0] == '\0') // would name the root of the current drive
        return nullptr;
    HANDLE folder = open_folder(path, follow_links);
    return folder != INVALID_HANDLE_VALUE ? listing_over(folder, path) : nullptr;
}

bool is_child_name(const char *name)
{
    return name[0] != '\0' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
           std::strpbrk(name, "\\/:") == nullptr;
}

} // namespace

platform_dir *platform_dir_open(const char *path) noexcept
{
    if (path == nullptr)
        return nullptr;
    return listing_of(path, true);
}

platform_dir *platform_dir_open_node(int folder) noexcept
{
    HANDLE node = handle_of(folder);
    if (node == INVALID_HANDLE_VALUE)
        return nullptr;
    try {
        // A handle of the listing's own to the same folder, so that it
        // outlives the node; never a reparse point, which the listing's
        // path would follow.
        Wish wish{FILE_LIST_DIRECTORY,
                  0,
                  FILE_SHARE_READ | FILE_SHARE_WRITE,
                  want_folder,
                  false,
                  true,
                  nullptr};
        Handle listed = open_wish(node, std::wstring(), wish);
        BY_HANDLE_FILE_INFORMATION info{};
        std::wstring path;
        char narrowed[PLATFORM_PATH_MAX];
        if (!listed || !GetFileInformationByHandle(listed.get(), &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
            !final_path(listed.get(), path, true) ||
            !narrow(path.data(), path.size(), narrowed, sizeof narrowed))
            return nullptr;
        return listing_over(listed.release(), narrowed);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

platform_dir *platform_dir_open_at(platform_dir *parent, const char *name) noexcept
{
    if (parent == nullptr || name == nullptr || !is_child_name(name))
        return nullptr;
    Text path(join_path(parent->path, name));
    return path ? listing_of(path.get(), false) : nullptr;
}

const char *platform_dir_read(platform_dir *dir) noexcept
{
    if (dir == nullptr || dir->find == -1)
        return nullptr;
    if (dir->error != 0)
        return nullptr;
    if (!dir->pending && _findnext64(dir->find, &dir->entry) != 0) {
        // ENOENT marks the end; anything else is a failed read.
        dir->error = errno != ENOENT ? errno : 0;
        return nullptr;
    }
    dir->pending = false;
    return dir->entry.name;
}

int platform_dir_stat(platform_dir *dir, const char *name, platform_file_status *out) noexcept
{
    if (out == nullptr)
        return -1;
    Text path(dir != nullptr && name != nullptr ? join_path(dir->path, name) : nullptr);
    if (!path) {
        *out = platform_file_status{};
        return -1;
    }
    return platform_file_stat(path.get(), out);
}

int platform_dir_unlink(platform_dir *dir, const char *name, int *error) noexcept
{
    Text path(dir != nullptr && name != nullptr ? join_path(dir->path, name) : nullptr);
    if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return delete_result(FALSE, error);
    }
    return platform_delete_file(path.get(), error);
}

int platform_dir_read_file(platform_dir *dir, const char *name, char *buffer, size_t size) noexcept
{
    Text path(dir != nullptr && name != nullptr && buffer != nullptr ? join_path(dir->path, name)
                                                                     : nullptr);
    if (!path)
        return -1;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileA(path.get(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    BY_HANDLE_FILE_INFORMATION info{};
    bool ok =
        GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    size_t length = 0;
    size = size > INT32_MAX ? INT32_MAX : size;
    while (ok && length < size) {
        DWORD got = 0;
        DWORD room = static_cast<DWORD>(size - length);
        ok = ReadFile(file, buffer + length, room, &got, nullptr) != 0;
        if (!ok || got == 0)
            break;
        length += got;
    }
    CloseHandle(file);
    return ok ? static_cast<int>(length) : -1;
}

int platform_dir_error(const platform_dir *dir) noexcept
{
    return dir != nullptr ? dir->error : EINVAL;
}

// Handles are not the scarce resource descriptors are on POSIX, and the
// held folder handles are what keeps the paths below them valid: a listing
// stays open.
int platform_dir_suspend(platform_dir *dir) noexcept
{
    return dir != nullptr ? 0 : -1;
}

int platform_dir_resume(platform_dir *dir, platform_dir *) noexcept
{
    return dir != nullptr ? 0 : -1;
}

FILE *platform_dir_open_regular(platform_dir *dir, const char *name) noexcept
{
    if (name == nullptr)
        return nullptr;
    Text joined(dir != nullptr ? join_path(dir->path, name) : nullptr);
    if (dir != nullptr && !joined)
        return nullptr;
    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileA(dir != nullptr ? joined.get() : name, GENERIC_READ, share, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    BY_HANDLE_FILE_INFORMATION info{};
    bool regular =
        GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    int fd =
        regular ? _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY) : -1;
    if (fd < 0) {
        CloseHandle(file);
        return nullptr;
    }
    FILE *stream = _fdopen(fd, "rb");
    if (stream == nullptr)
        _close(fd); // closes the handle too
    return stream;
}

void platform_dir_close(platform_dir *dir) noexcept
{
    if (dir == nullptr)
        return;
    if (dir->find != -1)
        _findclose(dir->find);
    CloseHandle(dir->folder);
    std::free(dir);
}

int platform_file_stat(const char *path, platform_file_status *out) noexcept
{
    if (out == nullptr)
        return -1;
    struct _stat64 info {};
    if (path == nullptr || _stat64(path, &info) != 0) {
        *out = platform_file_status{};
        return -1;
    }
    out->mtime = static_cast<int64_t>(info.st_ctime);
    out->size = static_cast<int64_t>(info.st_size);
    // A symbolic link or junction is never a directory for the walks, so
    // that they stay inside the tree they were given.
    DWORD attributes = GetFileAttributesA(path);
    bool link =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    out->is_dir = (info.st_mode & _S_IFMT) == _S_IFDIR && !link ? 1 : 0;
    return 0;
}

int platform_delete_file(const char *path, int *error) noexcept
{
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return delete_result(FALSE, error);
    }
    return delete_result(DeleteFileA(path), error);
}

int platform_file_set_time(const char *path, int64_t seconds) noexcept
{
    if (path == nullptr)
        return -1;
    // Opened as itself, a link included, with the right to change its times.
    HANDLE file = CreateFileA(
        path, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    // 100-nanosecond steps since 1601-01-01.
    int64_t ticks = (seconds + 11644473600LL) * 10000000LL;
    FILETIME time{static_cast<DWORD>(ticks),
                  static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32)};
    BOOL done = SetFileTime(file, &time, &time, &time);
    CloseHandle(file);
    return done ? 0 : -1;
}
