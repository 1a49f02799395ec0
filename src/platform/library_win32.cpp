// Shared libraries loaded at run time: the Windows side.
#include "platform/library.h"

#include <windows.h>

#include <cstdio>
#include <new>
#include <string>

#include "platform/detail/win32_files.hpp"
#include "platform/file.h"

using namespace platform_win32;

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

// Fills *why with a failed load's error, telling a file of no loadable kind
// (a library of the other width, the failure an operator meets most) from
// the rest.
void set_why(platform_library_why *why, int failure, DWORD error)
{
    if (why == nullptr)
        return;
    if (failure == PLATFORM_LIBRARY_FAILED && error == ERROR_BAD_EXE_FORMAT)
        failure = PLATFORM_LIBRARY_BAD_FORMAT;
    why->failure = failure;
    why->error = static_cast<int>(error);
    why->text[0] = '\0';
}

// Whether libraries are looked for in the system's safe places only, as
// platform_library_search_restrict asks. Set once; a system without the
// call (Windows 7 lacking its update) keeps its usual search.
bool restrict_library_search()
{
    static const bool restricted = [] {
        using SetDirectories = BOOL(WINAPI *)(DWORD);
        auto set = reinterpret_cast<SetDirectories>(reinterpret_cast<void *>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
        return set != nullptr && set(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS) != FALSE;
    }();
    return restricted;
}

// How a library named by its full path is loaded once the search is
// restricted: what it needs is looked for in its own folder first, then in
// the safe places.
DWORD library_search_flags()
{
    return restrict_library_search()
               ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
               : 0;
}

} // namespace

void *platform_library_open_why(const char *path, platform_library_why *why) noexcept
{
    if (path == nullptr) {
        set_why(why, PLATFORM_LIBRARY_MISSING, ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    HMODULE library = LoadLibraryA(path);
    if (library != nullptr)
        return reinterpret_cast<void *>(library);
    DWORD error = GetLastError();
    // A missing module is also what a missing dependency reports; the file's
    // presence tells the two apart.
    bool missing =
        error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        (error == ERROR_MOD_NOT_FOUND && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES);
    set_why(why, missing ? PLATFORM_LIBRARY_MISSING : PLATFORM_LIBRARY_FAILED, error);
    return nullptr;
}

void *platform_library_open_node(int node, platform_library_why *why) noexcept
{
    HANDLE handle = handle_of(node);
    try {
        std::wstring path;
        if (handle == INVALID_HANDLE_VALUE || !final_path(handle, path, true)) {
            set_why(why, PLATFORM_LIBRARY_FAILED,
                    handle == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE : GetLastError());
            return nullptr;
        }
        // By the held file's own path, which cannot lead elsewhere while it
        // is held.
        HMODULE library = LoadLibraryExW(path.c_str(), nullptr, library_search_flags());
        if (library == nullptr) {
            set_why(why, PLATFORM_LIBRARY_FAILED, GetLastError());
            return nullptr;
        }
        // A handle of the library's own, never closed: the file keeps the
        // name the library was loaded by, though a mapped file could
        // otherwise be renamed.
        HANDLE kept = INVALID_HANDLE_VALUE;
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &kept, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        return reinterpret_cast<void *>(library);
    } catch (const std::bad_alloc &) {
        set_why(why, PLATFORM_LIBRARY_FAILED, ERROR_NOT_ENOUGH_MEMORY);
    }
    return nullptr;
}

void platform_library_preload(const char *folder, const char *const *names) noexcept
{
    if (folder == nullptr || names == nullptr)
        return;
    try {
        for (; *names != nullptr; ++names) {
            std::string path = std::string(folder) + "\\" + *names;
            // One of another width or a failed load is left to the load that
            // needs it to report.
            if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
                LoadLibraryExA(path.c_str(), nullptr, library_search_flags());
        }
    } catch (const std::bad_alloc &) {
        // The load that needs them reports what is missing.
    }
}

void platform_library_search_restrict(void) noexcept
{
    restrict_library_search();
}
