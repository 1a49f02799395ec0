// The running program: the Windows side.
// The Windows half of the operating-system layer, for 32- and 64-bit
// Windows. The only file that includes <windows.h>.
#include "platform/process.h"

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
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return PLATFORM_PATH_UNREADABLE;
    CloseHandle(file);
    return PLATFORM_PATH_READABLE;
}

int platform_set_cwd(const char *path) noexcept
{
    return path != nullptr && SetCurrentDirectoryA(path) ? 0 : -1;
}

int64_t platform_process_id(void) noexcept
{
    return GetCurrentProcessId();
}

int platform_temp_folder(char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return -1;
    DWORD room = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
    DWORD length = GetTempPathA(room, buffer);
    // A larger need is told as the room wanted, a failure as 0.
    if (length == 0 || length >= room) {
        buffer[0] = '\0';
        return -1;
    }
    if (length > 1 && buffer[length - 1] == '\\')
        buffer[length - 1] = '\0';
    return 0;
}

void platform_exit_now(int status) noexcept
{
    // Not ExitProcess: that unloads the libraries, a runtime's among them,
    // while its threads may still hold their locks.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
}

int platform_notify_manager(const char *) noexcept
{
    return 1;
}
