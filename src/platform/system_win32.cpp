// The machine and its clock: the Windows side.
// The Windows half of the operating-system layer, for 32- and 64-bit
// Windows. The only file that includes <windows.h>.
#include "platform/system.h"

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
    std::snprintf(name, name_size, "%s",
                  windows_name(version.dwMajorVersion, version.dwMinorVersion));
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

namespace {

// Closes a registry key when it goes.
struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

} // namespace

int platform_registry_text(const char *key, const char *name, char *buffer, size_t size) noexcept
{
    if (key == nullptr || buffer == nullptr || size == 0 || size > MAXDWORD)
        return -1;
    buffer[0] = '\0';
    const REGSAM view = sizeof(void *) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | view, &opened) != ERROR_SUCCESS)
        return -1;
    Key held(opened);
    DWORD type = 0;
    DWORD length = static_cast<DWORD>(size - 1);
    if (RegQueryValueExA(held.get(), name, nullptr, &type, reinterpret_cast<BYTE *>(buffer),
                         &length) != ERROR_SUCCESS ||
        type != REG_SZ) {
        buffer[0] = '\0';
        return -1;
    }
    // A stored text need not end in a terminator.
    buffer[length] = '\0';
    return 0;
}
