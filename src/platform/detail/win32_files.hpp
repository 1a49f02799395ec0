#ifndef PLATFORM_DETAIL_WIN32_FILES_HPP
#define PLATFORM_DETAIL_WIN32_FILES_HPP
// What the Windows sources of the layer share: handles, names in the ANSI
// code page, access lists and opens relative to a folder held open.

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "platform/node.h"

namespace platform_win32 {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// An open handle, closed when it goes; empty after a failed open.
using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

// handle, held; empty for INVALID_HANDLE_VALUE.
inline Handle held(HANDLE handle)
{
    return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct LocalFreer {
    void operator()(void *block) const { LocalFree(block); }
};
// A block the system allocated for the caller (descriptors, SID texts).
using LocalBlock = std::unique_ptr<void, LocalFreer>;

// The handle behind the descriptor fd, or INVALID_HANDLE_VALUE.
HANDLE handle_of(int fd);

// A descriptor that owns handle from now on; -1, the handle closed, for an
// empty handle or when the runtime has no room.
int descriptor_of(Handle handle, int flags);

// text, in the ANSI code page as every path of this layer, as UTF-16 in
// out. False, with the last error set, when it cannot be converted.
bool widen(const char *text, std::wstring &out);

// The length UTF-16 units of text into buffer (size bytes, terminated) in
// the ANSI code page. False when they cannot be converted or do not fit.
bool narrow(const wchar_t *text, size_t length, char *buffer, size_t size);

// Fills *out with what handle tells about who may change its node. 0; -1.
int node_status(HANDLE handle, platform_node_status *out);

// The private access list (SYSTEM, Administrators and the token's user,
// full control, nothing inherited) for a file or a folder; made once.
PSECURITY_DESCRIPTOR private_descriptor(bool folder);

// What an open asks for.
enum Want { want_any, want_file, want_folder };
struct Wish {
    DWORD access;   // what the handle may do
    DWORD optional; // the part of access given up, in a second try, when it is denied
    DWORD sharing;  // what others may do meanwhile
    Want want;      // a file (never a folder), a folder (below a handle only), or either
    bool create;    // made when missing, with descriptor's access list
    bool nofollow;  // a reparse point in the last part is opened itself
    PSECURITY_DESCRIPTOR descriptor;
};

// Held nodes let no one rename or remove them.
constexpr DWORD node_sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Opens name below the folder root (a path of its own when root is null)
// as wish says; empty, with the last error set, when it cannot.
Handle open_wish(HANDLE root, const std::wstring &name, const Wish &wish);

// The path the system knows handle's node by now into path; plain drops
// the "\\?\" prefix where the path needs none. False when it cannot tell.
bool final_path(HANDLE handle, std::wstring &path, bool plain);

} // namespace platform_win32

#endif
