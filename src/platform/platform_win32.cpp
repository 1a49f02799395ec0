// The Windows half of the operating-system layer, for 32- and 64-bit
// Windows. The only file that includes <windows.h>.
#include "platform/platform.h"

#include <winsock2.h>
#include <windows.h>

#include <aclapi.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>

int platform_getcwd(char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return -1;
    DWORD room = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    DWORD length = GetCurrentDirectoryA(room, buffer);
    // A result of room or more is the size needed, and nothing was copied.
    if (length == 0 || length >= room) {
        buffer[0] = '\0';
        return -1;
    }
    return 0;
}

void platform_sleep_ms(uint32_t milliseconds) noexcept
{
    Sleep(milliseconds);
}

int platform_localtime(time_t seconds, struct tm *out) noexcept
{
    if (out == nullptr || localtime_s(out, &seconds) != 0)
        return -1;
    return 0;
}

const char *platform_fallback_log_path(void) noexcept
{
    return "c:\\ubrontex.log";
}

namespace {

// Whether the token's user, or the owner it gives new objects (the
// Administrators group for an elevated administrator), is sid.
bool token_names(HANDLE token, TOKEN_INFORMATION_CLASS kind, PSID sid)
{
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0)
        return false;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer || !GetTokenInformation(token, kind, buffer.get(), size, &size))
        return false;
    PSID named = kind == TokenUser ? reinterpret_cast<TOKEN_USER *>(buffer.get())->User.Sid
                                   : reinterpret_cast<TOKEN_OWNER *>(buffer.get())->Owner;
    return EqualSid(named, sid) != FALSE;
}

// Whether the open file belongs to this process's user.
bool owned_by_process(HANDLE file)
{
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                        nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    HANDLE token = nullptr;
    bool mine = false;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        mine = token_names(token, TokenUser, owner) || token_names(token, TokenOwner, owner);
        CloseHandle(token);
    }
    LocalFree(descriptor);
    return mine;
}

} // namespace

int platform_open_append(const char *path, int place, int64_t *size) noexcept
{
    if (path == nullptr)
        return -1;
    bool shared = place != PLATFORM_APPEND_OWN_FOLDER;
    // Appending access: the system puts every write at the end of the file
    // as one piece, whoever else has the file open. A disk path is never a
    // pipe, so the open does not wait. A new file takes the permissions its
    // folder hands down. In a shared folder the handle may also read the
    // owner, and a link (reparse point) is opened as itself, to be refused.
    // Reading data too where allowed, for platform_read_tail.
    DWORD access = FILE_APPEND_DATA | (shared ? READ_CONTROL : 0);
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (shared ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileA(path, access | FILE_READ_DATA, sharing, nullptr, OPEN_ALWAYS, flags,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        file = CreateFileA(path, access, sharing, nullptr, OPEN_ALWAYS, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    // What was opened, asked of the handle: a second lookup of the path
    // could meet another file. A disk file it is (not a pipe, console or
    // other device): a folder does not open for appending data.
    bool accepted = GetFileType(file) == FILE_TYPE_DISK;
    if (accepted && shared) {
        BY_HANDLE_FILE_INFORMATION info{};
        DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
        accepted = GetFileInformationByHandle(file, &info) && (info.dwFileAttributes & refused) == 0 &&
                   info.nNumberOfLinks == 1 && owned_by_process(file);
    }
    LARGE_INTEGER length{};
    if (accepted && size != nullptr) {
        accepted = GetFileSizeEx(file, &length) != FALSE;
        *size = length.QuadPart;
    }
    int fd = accepted ? _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND) : -1;
    if (fd < 0)
        CloseHandle(file);
    return fd;
}

int platform_open_log_append(const char *folder, const char *name, int64_t *size) noexcept
{
    if (folder == nullptr || name == nullptr)
        return -1;
    // The folder's access list is not judged: reading and weighing it on
    // every line would cost more than the line; the operator keeps log\ to
    // the service's account and administrators.
    char path[PLATFORM_PATH_MAX];
    int length = std::snprintf(path, sizeof path, "%s%c%s", folder, PLATFORM_PATH_SEP, name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof path)
        return -1;
    return platform_open_append(path, PLATFORM_APPEND_OWN_FOLDER, size);
}

int platform_read_tail(int fd, char *buffer, size_t size) noexcept
{
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    LARGE_INTEGER end{};
    if (file == INVALID_HANDLE_VALUE || buffer == nullptr || !GetFileSizeEx(file, &end))
        return -1;
    // Read at an offset, leaving the descriptor's position alone; a handle
    // without read access fails here.
    DWORD wanted = static_cast<DWORD>(std::min<int64_t>(
        {static_cast<int64_t>(std::min<size_t>(size, INT_MAX)), end.QuadPart}));
    OVERLAPPED at{};
    uint64_t start = static_cast<uint64_t>(end.QuadPart) - wanted;
    at.Offset = static_cast<DWORD>(start);
    at.OffsetHigh = static_cast<DWORD>(start >> 32);
    DWORD read = 0;
    if (wanted > 0 && !ReadFile(file, buffer, wanted, &read, &at))
        return -1;
    return static_cast<int>(read);
}

int platform_write_all(int fd, const void *data, size_t size) noexcept
{
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (file == INVALID_HANDLE_VALUE || (data == nullptr && size > 0))
        return -1;
    // Log files are text files: each line feed goes out as CR LF. The whole
    // text is translated first and written with one call.
    const char *text = static_cast<const char *>(data);
    size_t feeds = 0;
    for (size_t k = 0; k < size; ++k)
        feeds += text[k] == '\n';
    if (size > MAXDWORD - feeds)
        return -1;
    std::unique_ptr<char[]> translated(new (std::nothrow) char[size + feeds]);
    if (!translated)
        return -1;
    char *out = translated.get();
    for (size_t k = 0; k < size; ++k) {
        if (text[k] == '\n')
            *out++ = '\r';
        *out++ = text[k];
    }
    DWORD total = static_cast<DWORD>(size + feeds);
    DWORD done = 0;
    // Appending access makes each write one piece on Windows; wine does not
    // promise as much, so the writers of this process also take turns.
    static std::mutex turns;
    std::lock_guard<std::mutex> turn(turns);
    while (done < total) {
        DWORD written = 0;
        if (!WriteFile(file, translated.get() + done, total - done, &written, nullptr) ||
            written == 0)
            return done == 0 ? -1 : -2;
        done += written;
    }
    return 0;
}

void platform_close(int fd) noexcept
{
    if (fd >= 0)
        _close(fd);
}

void *platform_library_open(const char *path, int *error) noexcept
{
    if (path == nullptr) {
        if (error != nullptr)
            *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    HMODULE library = LoadLibraryA(path);
    if (library == nullptr && error != nullptr)
        *error = static_cast<int>(GetLastError());
    return reinterpret_cast<void *>(library);
}

void *platform_library_symbol(void *library, const char *name) noexcept
{
    if (library == nullptr || name == nullptr)
        return nullptr;
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void platform_library_close(void *library) noexcept
{
    if (library != nullptr)
        FreeLibrary(static_cast<HMODULE>(library));
}

namespace {

// Copies text into reason, cut to fit; nothing when there is no room.
void put_reason(char *reason, size_t size, const char *text)
{
    if (reason != nullptr && size > 0)
        std::snprintf(reason, size, "%s", text);
}

// The value name of key (opened in view) when it is a text; "" otherwise.
std::string registry_text(HKEY key, const char *name)
{
    char value[PLATFORM_PATH_MAX];
    DWORD type = 0;
    DWORD length = sizeof value - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(value), &length) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::string();
    // A stored text need not end in a terminator.
    value[length] = '\0';
    return std::string(value);
}

// The RuntimeLib of the current version under HKLM\SOFTWARE\JavaSoft\<kind>,
// read in the registry view of this executable's width; "" when absent.
std::string registry_runtime(const char *kind)
{
    const REGSAM view = sizeof(void *) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    std::string result;
    HKEY key = nullptr;
    std::string name = std::string("SOFTWARE\\JavaSoft\\") + kind;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return result;
    std::string version = registry_text(key, "CurrentVersion");
    HKEY current = nullptr;
    if (!version.empty() &&
        RegOpenKeyExA(key, version.c_str(), 0, KEY_READ | view, &current) == ERROR_SUCCESS) {
        result = registry_text(current, "RuntimeLib");
        RegCloseKey(current);
    }
    RegCloseKey(key);
    return result;
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
    HMODULE library = LoadLibraryA(path);
    if (library != nullptr)
        return reinterpret_cast<void *>(library);
    DWORD error = GetLastError();
    // A missing module is also what a missing dependency reports; the file's
    // presence tells the two apart.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        (error == ERROR_MOD_NOT_FOUND && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)) {
        if (missing != nullptr)
            *missing = 1;
        put_reason(reason, size, "nao encontrado");
    } else if (reason != nullptr && size > 0) {
        // The one failure an operator meets most: a jvm.dll of the other width.
        const char *meaning =
            error == ERROR_BAD_EXE_FORMAT ? " (biblioteca de 32/64 bits diferente do vesk.exe)" : "";
        std::snprintf(reason, size, "erro %lu%s", static_cast<unsigned long>(error), meaning);
    }
    return nullptr;
}

void *platform_jvm_library_open(const char *path, int *missing, char *reason, size_t size) noexcept
{
    static const char *const runtimes[] = {"msvcr100.dll", "msvcr120.dll", "vcruntime140.dll",
                                           "vcruntime140_1.dll", "msvcp140.dll"};
    const char *server = path != nullptr ? std::strrchr(path, '\\') : nullptr;
    const char *bin = server;
    while (bin != nullptr && bin > path && bin[-1] != '\\')
        --bin;
    // path up to bin is the folder above path's own (...\bin\ for
    // ...\bin\server\jvm.dll); there is none for "jvm.dll" or "C:\jvm.dll".
    if (server != nullptr && bin != nullptr && bin > path) {
        try {
            std::string folder(path, static_cast<size_t>(bin - path));
            for (const char *runtime : runtimes) {
                std::string dll = folder + runtime;
                // A runtime of another width or a failed load is left to
                // jvm.dll's own load to report.
                if (GetFileAttributesA(dll.c_str()) != INVALID_FILE_ATTRIBUTES)
                    LoadLibraryA(dll.c_str());
            }
        } catch (const std::bad_alloc &) {
            // Without the runtimes, the load below reports what is missing.
        }
    }
    return platform_library_open_reason(path, missing, reason, size);
}

char *platform_jvm_library_paths(const char *build_java_home) noexcept
{
    (void)build_java_home;
    try {
        std::string paths;
        auto add = [&paths](char kind, const std::string &path) {
            if (!path.empty()) {
                paths += kind;
                paths += path;
                paths += '\0';
            }
        };
        char home[PLATFORM_PATH_MAX];
        DWORD length = GetEnvironmentVariableA("JAVA_HOME", home, sizeof home);
        if (length > 0 && length < sizeof home) {
            add(PLATFORM_JVM_NAMED, std::string(home) + "\\bin\\server\\jvm.dll");
            // A JDK 8 keeps its runtime one level down; a newer one has no
            // such folder, so its absence is no news.
            add(PLATFORM_JVM_USUAL, std::string(home) + "\\jre\\bin\\server\\jvm.dll");
        }
        add(PLATFORM_JVM_NAMED, registry_runtime("JDK"));
        add(PLATFORM_JVM_NAMED, registry_runtime("JRE"));
        char dir[PLATFORM_PATH_MAX];
        if (platform_executable_dir(dir, sizeof dir) == 0) {
            add(PLATFORM_JVM_USUAL, std::string(dir) + "\\jre\\bin\\server\\jvm.dll");
            add(PLATFORM_JVM_USUAL, std::string(dir) + "\\jre\\bin\\client\\jvm.dll");
        }
        add(PLATFORM_JVM_USUAL, "jvm.dll");
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

// Name of a Windows release by its major and minor version numbers.
const char *windows_name(DWORD major, DWORD minor)
{
    struct Release {
        DWORD major;
        DWORD minor;
        const char *name;
    };
    static const Release releases[] = {
        {10, 0, "Windows 10 / Windows Server 2016"},
        {6, 3, "Windows 8.1 / Windows Server 2012 R2"},
        {6, 2, "Windows 8 / Windows Server 2012"},
        {6, 1, "Windows 7 / Windows Server 2008 R2"},
        {6, 0, "Windows Server 2008 / Windows Vista"},
        {5, 2, "Windows Server 2003 R2 / Windows Server 2003"},
        {5, 1, "Windows XP"},
        {5, 0, "Windows 2000"},
    };
    for (const Release &release : releases) {
        if (release.major == major && release.minor == minor)
            return release.name;
    }
    return "Windows > 10";
}

} // namespace

int platform_cpu_info_get(platform_cpu_info *out) noexcept
{
    if (out == nullptr)
        return -1;
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    out->count = info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
    out->architecture = info.wProcessorArchitecture;
    out->processor_type = info.dwProcessorType;
    return 0;
}

int platform_os_text(char *name, size_t name_size, char *release, size_t release_size) noexcept
{
    if (name == nullptr || release == nullptr || name_size == 0 || release_size == 0)
        return -1;
    // The extended record (156 bytes); its result is not needed: a failed
    // query leaves the version 0.0, which names no release.
    OSVERSIONINFOEXA version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA *>(&version));
#pragma GCC diagnostic pop
    std::snprintf(name, name_size, "%s", windows_name(version.dwMajorVersion, version.dwMinorVersion));
    std::snprintf(release, release_size, "%s", version.szCSDVersion);
    return 0;
}

int platform_hw_profile_guid(const char *id_path, char *guid, size_t size,
                             unsigned long *error) noexcept
{
    (void)id_path; // the system keeps the profile itself
    unsigned long ignored = 0;
    unsigned long &code = error != nullptr ? *error : ignored;
    HW_PROFILE_INFOA profile{};
    if (!GetCurrentHwProfileA(&profile)) {
        code = GetLastError();
        return -1;
    }
    size_t length = strnlen(profile.szHwProfileGuid, sizeof profile.szHwProfileGuid);
    if (guid == nullptr || length < 2 || length >= size) {
        code = ERROR_INSUFFICIENT_BUFFER;
        return -1;
    }
    std::memcpy(guid, profile.szHwProfileGuid, length);
    guid[length] = '\0';
    return 0;
}

int platform_hostname(char *buffer, size_t size) noexcept
{
    // Version 2.2 of the sockets library, started once and kept for the
    // life of the process.
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (buffer == nullptr || size == 0 || size > INT32_MAX ||
        gethostname(buffer, static_cast<int>(size)) != 0)
        return -1;
    if (std::memchr(buffer, '\0', size) == nullptr) { // cut off without a terminator
        buffer[0] = '\0';
        return -1;
    }
    return 0;
}

// ---- Directory listing, file status and deletion: the C runtime's
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
        std::snprintf(path, dir_len + name_len + 2, "%s%s%s", dir, ends_in_separator ? "" : "\\", name);
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
    HANDLE folder = CreateFileA(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, flags, nullptr);
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

platform_dir *listing_of(const char *path, bool follow_links)
{
    if (path[0] == '\0') // would name the root of the current drive
        return nullptr;
    size_t length = std::strlen(path);
    auto *dir = static_cast<platform_dir *>(std::malloc(sizeof(platform_dir) + length));
    if (dir == nullptr)
        return nullptr;
    std::memcpy(dir->path, path, length + 1);
    dir->folder = open_folder(path, follow_links);
    Text pattern(dir->folder != INVALID_HANDLE_VALUE ? join_path(path, "*") : nullptr);
    dir->find = pattern ? _findfirst64(pattern.get(), &dir->entry) : -1;
    if (dir->find == -1) {
        if (dir->folder != INVALID_HANDLE_VALUE)
            CloseHandle(dir->folder);
        std::free(dir);
        return nullptr;
    }
    dir->pending = true;
    dir->error = 0;
    return dir;
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
    bool ok = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
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
    bool regular = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) &&
                   (info.dwFileAttributes &
                    (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    int fd = regular ? _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY) : -1;
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
    bool link = attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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
    HANDLE file = CreateFileA(path, FILE_WRITE_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    // 100-nanosecond steps since 1601-01-01.
    int64_t ticks = (seconds + 11644473600LL) * 10000000LL;
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32)};
    BOOL done = SetFileTime(file, &time, &time, &time);
    CloseHandle(file);
    return done ? 0 : -1;
}

// ---- The running program.

int platform_executable_dir(char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return -1;
    DWORD room = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    DWORD length = GetModuleFileNameA(nullptr, buffer, room);
    // A name that fills the whole buffer was cut.
    char *separator = length > 0 && length < room ? std::strrchr(buffer, '\\') : nullptr;
    if (separator == nullptr) {
        buffer[0] = '\0';
        return -1;
    }
    *separator = '\0';
    return 0;
}

void platform_console_attach(void) noexcept
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    bool no_out = out == nullptr || out == INVALID_HANDLE_VALUE;
    bool no_err = err == nullptr || err == INVALID_HANDLE_VALUE;
    // A redirected stream stays where it was sent.
    if ((!no_out && !no_err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (no_out)
        std::freopen("CONOUT$", "w", stdout);
    if (no_err)
        std::freopen("CONOUT$", "w", stderr);
}

int platform_stderr_is_journal(void) noexcept
{
    return 0;
}

int platform_path_access(const char *path) noexcept
{
    if (path == nullptr)
        return -1;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_ACCESS_DENIED ? PLATFORM_PATH_UNREADABLE
                                                     : PLATFORM_PATH_MISSING;
    // Opening for reading is the test the access list answers; a folder
    // needs the backup flag to be opened at all.
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                              FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return PLATFORM_PATH_UNREADABLE;
    CloseHandle(file);
    return PLATFORM_PATH_READABLE;
}

int platform_set_cwd(const char *path) noexcept
{
    return path != nullptr && SetCurrentDirectoryA(path) ? 0 : -1;
}

void platform_exit_now(int status) noexcept
{
    // Not ExitProcess: that unloads the libraries, a JVM's among them,
    // while its threads may still hold their locks.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
}

int platform_notify_manager(const char *) noexcept
{
    return 1;
}

// ---- The service manager.

namespace {

// The one service of this process, while the dispatcher runs it.
struct ServiceRun {
    const char *name;
    platform_service_main_fn main;
    platform_service_stop_fn stop;
    void *context;
    SERVICE_STATUS_HANDLE handle;
    DWORD checkpoint;
};

ServiceRun *service_run = nullptr;

// Whether the parent of this process is the service manager's program. The
// dispatcher can take seconds to fail in a process it did not start (under
// wine), so such a process does not ask it.
bool started_by_manager()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return true; // cannot tell: the dispatcher decides
    DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    bool found = false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self)
            parent = entry.th32ParentProcessID;
    }
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more && parent != 0;
         more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == parent) {
            found = _stricmp(entry.szExeFile, "services.exe") == 0;
            break;
        }
    }
    CloseHandle(snapshot);
    return found;
}

DWORD WINAPI service_control(DWORD control, DWORD, void *, void *context)
{
    auto *run = static_cast<ServiceRun *>(context);
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        run->stop(run->context);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI service_main(DWORD argc, LPSTR *argv)
{
    ServiceRun *run = service_run;
    run->handle = RegisterServiceCtrlHandlerExA(run->name, service_control, run);
    // Without a handle nothing can be reported; the manager gives up on
    // this start by itself.
    if (run->handle != nullptr)
        run->main(static_cast<int>(argc), argv, run->context);
}

int service_result(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return PLATFORM_SERVICE_DENIED;
    case ERROR_SERVICE_EXISTS:
        return PLATFORM_SERVICE_EXISTS;
    case ERROR_DUPLICATE_SERVICE_NAME:
        return PLATFORM_SERVICE_NAME_TAKEN;
    case ERROR_SERVICE_DOES_NOT_EXIST:
        return PLATFORM_SERVICE_MISSING;
    case ERROR_SERVICE_MARKED_FOR_DELETE:
        return PLATFORM_SERVICE_BEING_REMOVED;
    default:
        return PLATFORM_SERVICE_FAILED;
    }
}

// The failure's result, with its error number for the caller.
int service_failure(int *error)
{
    DWORD code = GetLastError();
    if (error != nullptr)
        *error = static_cast<int>(code);
    return service_result(code);
}

struct ServiceHandleCloser {
    void operator()(SC_HANDLE handle) const { CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// word as the C runtime splits a command line back into words: quoted when
// it is empty or holds a blank or a quote; backslashes doubled before a
// quote, the closing one included.
void append_word(std::string &line, const char *word)
{
    if (!line.empty())
        line += ' ';
    if (word[0] != '\0' && std::strpbrk(word, " \t\n\v\"") == nullptr) {
        line += word;
        return;
    }
    line += '"';
    size_t backslashes = 0;
    for (const char *at = word; *at != '\0'; ++at) {
        if (*at == '\\') {
            ++backslashes;
            continue;
        }
        line.append(*at == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        line += *at;
        backslashes = 0;
    }
    line.append(2 * backslashes, '\\');
    line += '"';
}

// The path of the running executable, whatever its length.
bool executable_path(std::string &path)
{
    for (DWORD room = MAX_PATH;; room *= 2) {
        path.resize(room);
        DWORD length = GetModuleFileNameA(nullptr, path.data(), room);
        if (length == 0)
            return false;
        if (length < room) {
            path.resize(length);
            return true;
        }
        if (room >= 32768)
            return false;
    }
}

// Asks a running service to stop and waits while it makes progress, within
// an overall bound: a service that keeps reporting progress (a long start,
// or a stop with a long bound of its own) is left to stop by itself. Whether
// it stopped.
bool stop_and_wait(SC_HANDLE service)
{
    constexpr DWORD longest_ms = 60000;
    const DWORD started = GetTickCount(); // the difference survives a wrap
    SERVICE_STATUS status;
    DWORD state = 0;
    DWORD checkpoint = 0;
    DWORD quiet = 0;
    for (;;) {
        if (!QueryServiceStatus(service, &status))
            return false;
        if (status.dwCurrentState == SERVICE_STOPPED)
            return true;
        if (status.dwCurrentState == SERVICE_RUNNING)
            ControlService(service, SERVICE_CONTROL_STOP, &status);
        if (status.dwCurrentState != state || status.dwCheckPoint != checkpoint) {
            state = status.dwCurrentState;
            checkpoint = status.dwCheckPoint;
            quiet = 0;
        } else if (quiet > status.dwWaitHint + 5000) {
            return false; // no progress within its own hint: it hangs
        }
        if (GetTickCount() - started >= longest_ms)
            return false;
        Sleep(250);
        quiet += 250;
    }
}

} // namespace

int platform_service_supported(void) noexcept
{
    return 1;
}

int platform_service_dispatch(const char *name, platform_service_main_fn main,
                              platform_service_stop_fn stop, void *context) noexcept
{
    if (name == nullptr || main == nullptr || stop == nullptr)
        return PLATFORM_SERVICE_FAILED;
    if (!started_by_manager())
        return PLATFORM_SERVICE_NOT_A_SERVICE;
    // Lives as long as the process: the manager's threads may still report
    // through it while the process ends.
    static ServiceRun run;
    run = ServiceRun{name, main, stop, context, nullptr, 0};
    service_run = &run;
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char *>(name), service_main}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherA(table))
        return PLATFORM_SERVICE_OK;
    return GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT ? PLATFORM_SERVICE_NOT_A_SERVICE
                                                                     : PLATFORM_SERVICE_FAILED;
}

int platform_service_report(int state, int32_t exit_code, uint32_t wait_hint_ms) noexcept
{
    ServiceRun *run = service_run;
    if (run == nullptr || run->handle == nullptr)
        return -1;
    bool pending = state == PLATFORM_SERVICE_START_PENDING || state == PLATFORM_SERVICE_STOP_PENDING;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = static_cast<DWORD>(state);
    status.dwControlsAccepted =
        state == PLATFORM_SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    if (exit_code == PLATFORM_SERVICE_EXIT_TIMEOUT) {
        status.dwWin32ExitCode = ERROR_TIMEOUT;
    } else if (exit_code > 0) {
        status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
        status.dwServiceSpecificExitCode = static_cast<DWORD>(exit_code);
    }
    run->checkpoint = pending ? run->checkpoint + 1 : 0;
    status.dwCheckPoint = run->checkpoint;
    status.dwWaitHint = pending ? wait_hint_ms : 0;
    return SetServiceStatus(run->handle, &status) ? 0 : -1;
}

int platform_service_install(const char *name, const char *display_name, char *const *words,
                             int count, uint32_t restart_delay_ms, int *error) noexcept
{
    if (error != nullptr)
        *error = 0;
    if (name == nullptr || display_name == nullptr || (words == nullptr && count > 0))
        return PLATFORM_SERVICE_FAILED;
    std::string command;
    try {
        std::string path;
        if (!executable_path(path))
            return service_failure(error);
        // The program's path always quoted, so that no part of a path with
        // blanks can be taken for a program of its own.
        command = '"' + path + '"';
        for (int k = 0; k < count; ++k)
            append_word(command, words[k] != nullptr ? words[k] : "");
    } catch (const std::bad_alloc &) {
        return PLATFORM_SERVICE_FAILED;
    }
    ServiceHandle manager(
        OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (manager == nullptr)
        return service_failure(error);
    // Windows refuses to create a service that exists; wine replaces it. A
    // change that changes nothing tells one that awaits removal (it goes
    // once it stops) from one in place.
    if (ServiceHandle existing(OpenServiceA(manager.get(), name, SERVICE_CHANGE_CONFIG));
        existing != nullptr) {
        DWORD code = ChangeServiceConfigA(existing.get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                          SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr) ||
                             GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE
                         ? ERROR_SERVICE_EXISTS
                         : ERROR_SERVICE_MARKED_FOR_DELETE;
        if (error != nullptr)
            *error = static_cast<int>(code);
        return service_result(code);
    }
    // The local system account, as services of their own process usually run.
    ServiceHandle service(CreateServiceA(manager.get(), name, display_name, SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                         SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr,
                                         nullptr, nullptr, nullptr));
    if (service == nullptr)
        return service_failure(error);
    // Restarted after each crash, the count of failures forgotten after a day.
    SC_ACTION restart[3] = {{SC_ACTION_RESTART, restart_delay_ms},
                            {SC_ACTION_RESTART, restart_delay_ms},
                            {SC_ACTION_RESTART, restart_delay_ms}};
    SERVICE_FAILURE_ACTIONSA actions{24 * 60 * 60, nullptr, nullptr, 3, restart};
    if (!ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &actions)) {
        int result = service_failure(error);
        DeleteService(service.get());
        return result == PLATFORM_SERVICE_OK ? PLATFORM_SERVICE_FAILED : result;
    }
    // A STOPPED with an exit code (a failed launch) is no crash: no restart.
    // That is the manager's default too, so a system that cannot set the
    // flag (wine) still behaves as wanted.
    SERVICE_FAILURE_ACTIONS_FLAG on_exit_code{FALSE};
    ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &on_exit_code);
    return PLATFORM_SERVICE_OK;
}

int platform_service_uninstall(const char *name, int *error) noexcept
{
    if (error != nullptr)
        *error = 0;
    if (name == nullptr)
        return PLATFORM_SERVICE_FAILED;
    ServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (manager == nullptr)
        return service_failure(error);
    ServiceHandle service(
        OpenServiceA(manager.get(), name, DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
    if (service == nullptr)
        return service_failure(error);
    bool stopped = stop_and_wait(service.get());
    if (!DeleteService(service.get())) {
        if (GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE)
            return PLATFORM_SERVICE_REMOVED_ON_STOP;
        return service_failure(error);
    }
    return stopped ? PLATFORM_SERVICE_OK : PLATFORM_SERVICE_REMOVED_ON_STOP;
}
