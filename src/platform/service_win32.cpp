// The system's service manager: the Windows side.
// The Windows half of the operating-system layer, for 32- and 64-bit
// Windows. The only file that includes <windows.h>.
#include "platform/service.h"

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
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
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
    case SERVICE_CONTROL_SHUTDOWN: run->stop(run->context); return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE: return NO_ERROR;
    default: return ERROR_CALL_NOT_IMPLEMENTED;
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
    case ERROR_ACCESS_DENIED: return PLATFORM_SERVICE_DENIED;
    case ERROR_SERVICE_EXISTS: return PLATFORM_SERVICE_EXISTS;
    case ERROR_DUPLICATE_SERVICE_NAME: return PLATFORM_SERVICE_NAME_TAKEN;
    case ERROR_SERVICE_DOES_NOT_EXIST: return PLATFORM_SERVICE_MISSING;
    case ERROR_SERVICE_MARKED_FOR_DELETE: return PLATFORM_SERVICE_BEING_REMOVED;
    default: return PLATFORM_SERVICE_FAILED;
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
    return GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT
               ? PLATFORM_SERVICE_NOT_A_SERVICE
               : PLATFORM_SERVICE_FAILED;
}

int platform_service_report(int state, int32_t exit_code, uint32_t wait_hint_ms) noexcept
{
    ServiceRun *run = service_run;
    if (run == nullptr || run->handle == nullptr)
        return -1;
    bool pending =
        state == PLATFORM_SERVICE_START_PENDING || state == PLATFORM_SERVICE_STOP_PENDING;
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
