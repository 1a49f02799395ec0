// The Windows half of the operating-system layer, for 32- and 64-bit
// Windows. The only file that includes <windows.h>.
#include "platform/platform.h"

#include <winsock2.h>
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

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

int platform_open_append(const char *path, int follow_links) noexcept
{
    if (path == nullptr)
        return -1;
    // Appending access: the system puts every write at the end of the file
    // as one piece, whoever else has the file open.
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (follow_links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    BY_HANDLE_FILE_INFORMATION info{};
    bool refused = !follow_links && (!GetFileInformationByHandle(file, &info) ||
                                     (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
    int fd = refused ? -1 : _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND);
    if (fd < 0)
        CloseHandle(file);
    return fd;
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
