// Files by path and descriptor, and nodes held open: the Windows side.
// The Windows half of the operating-system layer, for 32- and 64-bit
// Windows. The only file that includes <windows.h>.
#include "platform/file.h"

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
#include "platform/node.h"

namespace platform_win32 {

// ---- Handles, names and access lists, shared by the file opens and the
// nodes.

// The handle behind the descriptor fd, or INVALID_HANDLE_VALUE.
HANDLE handle_of(int fd)
{
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// A descriptor that owns handle from now on; -1, the handle closed, for an
// empty handle or when the runtime has no room.
int descriptor_of(Handle handle, int flags)
{
    if (!handle)
        return -1;
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), flags);
    if (fd >= 0)
        handle.release();
    return fd;
}

// text, in the ANSI code page as every path of this layer, as UTF-16 in
// out. False, with the last error set, when it cannot be converted.
bool widen(const char *text, std::wstring &out)
{
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return false;
    out.assign(static_cast<size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), length) != length)
        return false;
    out.pop_back(); // the terminator
    return true;
}

// The length UTF-16 units of text into buffer (size bytes, terminated) in
// the ANSI code page. False when they cannot be converted or do not fit.
bool narrow(const wchar_t *text, size_t length, char *buffer, size_t size)
{
    if (buffer == nullptr || size == 0 || length > INT_MAX)
        return false;
    int room = static_cast<int>(std::min<size_t>(size - 1, INT_MAX));
    int written = length == 0 ? 0
                              : WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length),
                                                    buffer, room, nullptr, nullptr);
    if (written <= 0 && length > 0)
        return false;
    buffer[written] = '\0';
    return true;
}

// A block of the process token's information of kind; null when it cannot
// be read.
std::unique_ptr<char[]> token_info(TOKEN_INFORMATION_CLASS kind)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    Handle closer(token);
    DWORD size = 0;
    GetTokenInformation(token, kind, nullptr, 0, &size);
    if (size == 0)
        return nullptr;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer || !GetTokenInformation(token, kind, buffer.get(), size, &size))
        return nullptr;
    return buffer;
}

// The user of the process's token, read once; null when it cannot be.
PSID process_user()
{
    static const std::unique_ptr<char[]> user = token_info(TokenUser);
    return user ? reinterpret_cast<TOKEN_USER *>(user.get())->User.Sid : nullptr;
}

// What an account is to the judgement of who may change a node.
enum class Party {
    trusted,     // the process's user, SYSTEM, Administrators, TrustedInstaller
    everyone,    // a group every user is in: Everyone, Authenticated Users, Users
    placeholder, // CREATOR OWNER, CREATOR GROUP, OWNER RIGHTS: in no token of their own
    other
};

// The binary form of the SID whose text is text; empty when it cannot be
// made.
std::string sid_bytes(const char *text)
{
    PSID sid = nullptr;
    if (!ConvertStringSidToSidA(text, &sid))
        return std::string();
    LocalBlock sid_block(sid);
    return std::string(static_cast<const char *>(sid), GetLengthSid(sid));
}

Party party_of(PSID sid)
{
    // Made once: a node's status asks of every entry of its list.
    static const std::string trusted[] = {
        sid_bytes("S-1-5-18"), sid_bytes("S-1-5-32-544"),
        sid_bytes("S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464")};
    static const std::string everyone[] = {sid_bytes("S-1-1-0"), sid_bytes("S-1-5-11"),
                                           sid_bytes("S-1-5-32-545")};
    static const std::string placeholders[] = {sid_bytes("S-1-3-0"), sid_bytes("S-1-3-1"),
                                               sid_bytes("S-1-3-4")};
    PSID user = process_user();
    if (user != nullptr && EqualSid(sid, user))
        return Party::trusted;
    auto listed = [sid](const auto &list) {
        return std::any_of(std::begin(list), std::end(list), [sid](const std::string &entry) {
            return !entry.empty() && EqualSid(sid, const_cast<char *>(entry.data()));
        });
    };
    if (listed(trusted))
        return Party::trusted;
    if (listed(everyone))
        return Party::everyone;
    return listed(placeholders) ? Party::placeholder : Party::other;
}

// sid as the system names it into out (size bytes, cut to fit):
// "DOMAIN\name", or the SID's text when no account answers to it. Each
// SID's name is looked up once (the lookup may ask a domain controller);
// an account renamed meanwhile keeps its old name here.
void account_name(PSID sid, char *out, size_t size)
{
    static std::mutex lock;
    static std::map<std::string, std::string> names;
    std::string key(static_cast<const char *>(sid), GetLengthSid(sid));
    {
        std::lock_guard<std::mutex> guard(lock);
        auto known = names.find(key);
        if (known != names.end()) {
            std::snprintf(out, size, "%s", known->second.c_str());
            return;
        }
    }
    char name[256];
    char domain[256];
    DWORD name_size = sizeof name;
    DWORD domain_size = sizeof domain;
    SID_NAME_USE use;
    char *text = nullptr;
    std::string found;
    if (LookupAccountSidA(nullptr, sid, name, &name_size, domain, &domain_size, &use)) {
        found = std::string(domain) + (domain[0] != '\0' ? "\\" : "") + name;
    } else if (ConvertSidToStringSidA(sid, &text)) {
        found = text;
        LocalFree(text);
    }
    std::snprintf(out, size, "%s", found.c_str());
    std::lock_guard<std::mutex> guard(lock);
    names.emplace(std::move(key), std::move(found));
}

// Rights that change a node or what a folder holds. Writing attributes
// counts: it may make a junction of an empty folder.
constexpr DWORD changing_rights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                  FILE_WRITE_ATTRIBUTES | DELETE | FILE_DELETE_CHILD | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
// In a folder: adding files and subfolders, which replaces nothing of anyone
// else's (what C:\ grants Authenticated Users).
constexpr DWORD adding_rights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;

// Names sid, of party, as the node's other writer.
void set_writer(platform_node_status *out, PSID sid, Party party)
{
    out->writer = party == Party::everyone ? PLATFORM_WRITER_EVERYONE : PLATFORM_WRITER_ACL;
    account_name(sid, out->who, sizeof out->who);
}

// Fills the writer, who and sticky of *out from the access list dacl. Only
// grants count (leaving a denial out errs towards refusing), and only those
// that apply to the node itself, not the ones merely handed down. False when
// the list cannot be read.
bool judge_writers(PACL dacl, bool folder, platform_node_status *out)
{
    if (dacl == nullptr) { // no list at all: anyone may do anything
        BYTE everyone[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof everyone;
        if (!CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size))
            return false;
        set_writer(out, everyone, Party::everyone);
        return true;
    }
    ACL_SIZE_INFORMATION sizes{};
    if (!GetAclInformation(dacl, &sizes, sizeof sizes, AclSizeInformation))
        return false;
    PSID adder = nullptr;
    Party adder_party = Party::other;
    for (DWORD k = 0; k < sizes.AceCount; ++k) {
        void *entry = nullptr;
        if (!GetAce(dacl, k, &entry))
            return false;
        auto *header = static_cast<ACE_HEADER *>(entry);
        if ((header->AceType != ACCESS_ALLOWED_ACE_TYPE &&
             header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) ||
            (header->AceFlags & INHERIT_ONLY_ACE) != 0)
            continue;
        // A callback grant is laid out as a plain one.
        auto *grant = static_cast<ACCESS_ALLOWED_ACE *>(entry);
        DWORD rights = grant->Mask & changing_rights;
        PSID sid = &grant->SidStart;
        Party party = rights != 0 ? party_of(sid) : Party::trusted;
        if (party == Party::trusted || party == Party::placeholder)
            continue;
        if (folder && (rights & ~adding_rights) == 0) {
            if (adder == nullptr) {
                adder = sid;
                adder_party = party;
            }
            continue;
        }
        set_writer(out, sid, party);
        return true;
    }
    if (adder != nullptr) {
        set_writer(out, adder, adder_party);
        out->sticky = 1;
    }
    return true;
}

// The kind of the node open as handle, whose attributes are attributes. A
// reparse point that stands for another place (a symbolic link, a junction)
// is a link; others (deduplicated or cloud files) are what they hold.
int node_kind(HANDLE handle, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
            IsReparseTagNameSurrogate(tag.ReparseTag))
            return PLATFORM_NODE_LINK;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return PLATFORM_NODE_FOLDER;
    return GetFileType(handle) == FILE_TYPE_DISK ? PLATFORM_NODE_FILE : PLATFORM_NODE_OTHER;
}

// What the handle tells about who may change its node; -1 when it cannot
// be asked (the handle lacks READ_CONTROL, or is no file's).
int node_status(HANDLE handle, platform_node_status *out)
{
    *out = platform_node_status{};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info))
        return -1;
    out->kind = node_kind(handle, info.dwFileAttributes);
    out->id[0] = info.dwVolumeSerialNumber;
    out->id[1] = static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return -1;
    LocalBlock descriptor_block(descriptor);
    out->links = info.nNumberOfLinks;
    if (owner != nullptr) {
        PSID user = process_user();
        out->owner_self = user != nullptr && EqualSid(owner, user) ? 1 : 0;
        out->owner_trusted = party_of(owner) == Party::trusted ? 1 : 0;
        account_name(owner, out->owner, sizeof out->owner);
    }
    if (!judge_writers(dacl, out->kind == PLATFORM_NODE_FOLDER, out)) {
        *out = platform_node_status{};
        return -1;
    }
    return 0;
}

// The private access list below, in a descriptor of its own.
LocalBlock make_private_descriptor(bool folder)
{
    PSID user = process_user();
    char *sid = nullptr;
    if (user == nullptr || !ConvertSidToStringSidA(user, &sid))
        return nullptr;
    LocalBlock sid_block(sid);
    const char *handed = folder ? "OICI" : "";
    char text[512];
    int length = std::snprintf(text, sizeof text, "D:P(A;%s;FA;;;SY)(A;%s;FA;;;BA)(A;%s;FA;;;%s)",
                               handed, handed, handed, sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (length < 0 || static_cast<size_t>(length) >= sizeof text ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorA(text, SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return nullptr;
    return LocalBlock(descriptor);
}

// The private access list of what this layer makes: SYSTEM, Administrators and the
// process's user have full control, nothing is inherited from above, and a
// folder hands the same down. Made once; null when it cannot be.
PSECURITY_DESCRIPTOR private_descriptor(bool folder)
{
    static const LocalBlock file = make_private_descriptor(false);
    static const LocalBlock parent = make_private_descriptor(true);
    return folder ? parent.get() : file.get();
}

// ---- Opening relative to a folder held open.

using NtCreateFileCall = NTSTATUS(NTAPI *)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                           PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                           ULONG, PVOID, ULONG);
using StatusErrorCall = ULONG(NTAPI *)(NTSTATUS);

// The system's own open, which looks a name up from a folder's handle, and
// the translation of its status; from ntdll, which every process has loaded.
struct NtCalls {
    NtCreateFileCall create;
    StatusErrorCall error;
};

const NtCalls &nt_calls()
{
    static const NtCalls calls = [] {
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        NtCalls found{nullptr, nullptr};
        if (ntdll != nullptr) {
            found.create = reinterpret_cast<NtCreateFileCall>(
                reinterpret_cast<void *>(GetProcAddress(ntdll, "NtCreateFile")));
            found.error = reinterpret_cast<StatusErrorCall>(
                reinterpret_cast<void *>(GetProcAddress(ntdll, "RtlNtStatusToDosError")));
        }
        return found;
    }();
    return calls;
}

// Opens name ("a\b", or "" for root itself) below the folder open as root,
// looked up by the system from that very folder.
HANDLE open_below(HANDLE root, const std::wstring &name, DWORD access, const Wish &wish)
{
    const NtCalls &nt = nt_calls();
    if (nt.create == nullptr || nt.error == nullptr || name.size() > 32767) {
        SetLastError(nt.create == nullptr ? ERROR_NOT_SUPPORTED : ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<wchar_t *>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, root, wish.descriptor);
    ULONG options =
        FILE_SYNCHRONOUS_IO_NONALERT |
        (wish.want == want_file ? FILE_NON_DIRECTORY_FILE : FILE_OPEN_FOR_BACKUP_INTENT) |
        (wish.want == want_folder ? FILE_DIRECTORY_FILE : 0) |
        (wish.nofollow ? FILE_OPEN_REPARSE_POINT : 0);
    HANDLE handle = nullptr;
    IO_STATUS_BLOCK io{};
    NTSTATUS status = nt.create(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &object, &io,
                                nullptr, FILE_ATTRIBUTE_NORMAL, wish.sharing,
                                wish.create ? FILE_OPEN_IF : FILE_OPEN, options, nullptr, 0);
    if (status < 0) {
        SetLastError(nt.error(status));
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

// Opens path as the system resolves it, from the working folder for a
// relative one.
HANDLE open_path(const std::wstring &path, DWORD access, const Wish &wish)
{
    DWORD flags = FILE_ATTRIBUTE_NORMAL |
                  (wish.want != want_file ? FILE_FLAG_BACKUP_SEMANTICS : 0) |
                  (wish.nofollow ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
    SECURITY_ATTRIBUTES security{sizeof security, wish.descriptor, FALSE};
    return CreateFileW(path.c_str(), access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, wish.sharing,
                       wish.descriptor != nullptr ? &security : nullptr,
                       wish.create ? OPEN_ALWAYS : OPEN_EXISTING, flags, nullptr);
}

// Opens name below root, or by its path when root is null, as wish says.
// Empty, with the last error set, when it cannot.
Handle open_wish(HANDLE root, const std::wstring &name, const Wish &wish)
{
    auto open = [&](DWORD access) {
        return root != nullptr ? open_below(root, name, access, wish)
                               : open_path(name, access, wish);
    };
    HANDLE handle = open(wish.access);
    if (handle == INVALID_HANDLE_VALUE && wish.optional != 0 &&
        GetLastError() == ERROR_ACCESS_DENIED)
        handle = open(wish.access & ~wish.optional);
    return held(handle);
}

// The path that the node open as handle has now, as the system resolved it
// (its "\\?\" form, or with plain "C:\dir" and "\\server\share\dir" without
// that prefix). False when it cannot be told.
bool final_path(HANDLE handle, std::wstring &path, bool plain)
{
    DWORD length = 0;
    DWORD room = MAX_PATH;
    for (int tries = 0; tries < 3; ++tries) {
        path.assign(room, L'\0');
        length = GetFinalPathNameByHandleW(handle, path.data(), room, FILE_NAME_NORMALIZED);
        if (length < room)
            break;
        room = length; // the room needed, terminator included
    }
    if (length == 0 || length >= path.size())
        return false;
    path.resize(length);
    if (plain && path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        path.replace(0, 8, L"\\\\");
    else if (plain && path.compare(0, 4, L"\\\\?\\") == 0 && path.size() >= 6 && path[5] == L':')
        path.erase(0, 4);
    return true;
}

// How much of a final path ("\\?\" form) names its volume's top, separator
// included: "\\?\C:\", "\\?\UNC\server\share\", "\\?\Volume{...}\".
size_t top_length(const std::wstring &path)
{
    size_t at = 4;
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        at = path.find(L'\\', 8); // after the server's name
        at = at == std::wstring::npos ? at : at + 1;
    }
    at = at == std::wstring::npos ? at : path.find(L'\\', at);
    return at == std::wstring::npos ? path.size() : at + 1;
}

// Opens the folder levels above the node open as node: its path less as
// many parts, a volume's top being its own parent. While the node is held,
// that path leads to the same folder: the node cannot be renamed, nor, on
// NTFS, any folder above it.
Handle open_above(HANDLE node, int levels)
{
    std::wstring path;
    if (!final_path(node, path, false))
        return nullptr;
    size_t top = top_length(path);
    if (path.size() <= top) {
        HANDLE copy = INVALID_HANDLE_VALUE;
        if (!DuplicateHandle(GetCurrentProcess(), node, GetCurrentProcess(), &copy, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            return nullptr;
        return held(copy);
    }
    for (int level = 0; level < levels && path.size() > top; ++level)
        path.resize(std::max(top, path.rfind(L'\\')));
    Wish wish{READ_CONTROL, READ_CONTROL, node_sharing, want_any, false, true, nullptr};
    return open_wish(nullptr, path, wish);
}

// Whether name starts from a drive or the top of one ("C:\x", "C:x", "\x",
// "\\server\share\x") rather than from a folder.
bool is_rooted(const char *name)
{
    return name[0] == '\\' || name[0] == '/' || (name[0] != '\0' && name[1] == ':');
}

// name's parts as the system takes them below a handle ("a\b"): "." left
// out, ".." taking back the part before it, and counted in ups where it
// climbs above the folder itself.
void relative_parts(const std::wstring &name, std::wstring &rest, int &ups)
{
    rest.clear();
    ups = 0;
    for (size_t start = 0; start <= name.size();) {
        size_t end = std::min(name.find_first_of(L"\\/", start), name.size());
        std::wstring part = name.substr(start, end - start);
        if (part == L"..") {
            size_t cut = rest.rfind(L'\\');
            if (rest.empty())
                ++ups;
            else
                rest.erase(cut == std::wstring::npos ? 0 : cut);
        } else if (!part.empty() && part != L".") {
            if (!rest.empty())
                rest += L'\\';
            rest += part;
        }
        start = end + 1;
    }
}

// Opens name relative to the folder node folder (the working folder for
// PLATFORM_NODE_CWD; where it says for a rooted name). Empty, with the last
// error set, when it cannot.
Handle open_named(int folder, const char *name, const Wish &wish)
{
    std::wstring wide;
    if (!widen(name, wide))
        return nullptr;
    if (folder == PLATFORM_NODE_CWD || is_rooted(name))
        return open_wish(nullptr, wide, wish);
    HANDLE root = handle_of(folder);
    if (root == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::wstring rest;
    int ups = 0;
    relative_parts(wide, rest, ups);
    Handle climbed = ups > 0 ? open_above(root, ups) : nullptr;
    if (ups > 0 && !climbed)
        return nullptr;
    return open_wish(climbed ? climbed.get() : root, rest, wish);
}

// ---- Appending.

// An append open: appending, reading too where allowed (for
// platform_read_tail), shared with every other writer and with deletion
// (old logs are deleted while a process may hold them), made with the
// private access list; as flags (platform_append_flags) says.
Wish append_wish(int flags)
{
    bool askable = (flags & PLATFORM_APPEND_ASKABLE) != 0;
    DWORD access = FILE_APPEND_DATA | FILE_READ_DATA | (askable ? READ_CONTROL : 0);
    DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    return Wish{access,
                FILE_READ_DATA,
                sharing,
                want_file,
                true,
                (flags & PLATFORM_APPEND_NOFOLLOW) != 0,
                private_descriptor(false)};
}

// The descriptor for file, opened to append, after asking the handle what
// it opened: a disk file (not a pipe, console or other device; a folder
// does not open for appending data). -1, the handle closed, when refused.
int append_descriptor(Handle file, int64_t *size)
{
    bool accepted = file && GetFileType(file.get()) == FILE_TYPE_DISK;
    LARGE_INTEGER length{};
    if (accepted && size != nullptr) {
        accepted = GetFileSizeEx(file.get(), &length) != FALSE;
        *size = length.QuadPart;
    }
    return accepted ? descriptor_of(std::move(file), _O_APPEND) : -1;
}

} // namespace platform_win32

using namespace platform_win32;

int platform_read_tail(int fd, char *buffer, size_t size) noexcept
{
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    LARGE_INTEGER end{};
    if (file == INVALID_HANDLE_VALUE || buffer == nullptr || !GetFileSizeEx(file, &end))
        return -1;
    // Read at an offset, leaving the descriptor's position alone; a handle
    // without read access fails here.
    DWORD wanted = static_cast<DWORD>(
        std::min<int64_t>({static_cast<int64_t>(std::min<size_t>(size, INT_MAX)), end.QuadPart}));
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
    // What goes through here is text, whose lines end in CR LF on Windows.
    // The whole text is translated first and written with one call.
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

// ---- Nodes: files and folders held open.

int platform_node_open(int folder, const char *name, int flags, int *error) noexcept
{
    int ignored = 0;
    int &code = error != nullptr ? *error : ignored;
    if (name == nullptr || name[0] == '\0') {
        code = name == nullptr ? ERROR_INVALID_PARAMETER : ERROR_FILE_NOT_FOUND;
        return -1;
    }
    bool read = (flags & PLATFORM_NODE_READ) != 0;
    bool make = (flags & PLATFORM_NODE_MAKE_FOLDER) != 0;
    // READ_CONTROL lets the node's status be asked; a node the process may
    // not ask still opens, to be judged unreadable then.
    Wish wish{read ? GENERIC_READ : READ_CONTROL,
              read || make ? 0u : READ_CONTROL,
              node_sharing,
              make ? want_folder : want_any,
              make,
              (flags & PLATFORM_NODE_NOFOLLOW) != 0,
              make ? private_descriptor(true) : nullptr};
    if (make && wish.descriptor == nullptr) {
        code = ERROR_NOT_ENOUGH_MEMORY;
        return -1;
    }
    try {
        Handle node = open_named(folder, name, wish);
        if (!node) {
            DWORD failure = GetLastError();
            // A missing folder on the way is a missing node too (ENOENT).
            code =
                static_cast<int>(failure == ERROR_PATH_NOT_FOUND ? ERROR_FILE_NOT_FOUND : failure);
            return -1;
        }
        if (read) {
            BY_HANDLE_FILE_INFORMATION info{};
            if (!GetFileInformationByHandle(node.get(), &info)) {
                code = static_cast<int>(GetLastError());
                return -1;
            }
            int kind = node_kind(node.get(), info.dwFileAttributes);
            if (kind != PLATFORM_NODE_FILE) {
                code = kind == PLATFORM_NODE_LINK ? ELOOP : ERROR_BAD_FILE_TYPE;
                return -1;
            }
        }
        int fd = descriptor_of(std::move(node), _O_RDONLY | _O_BINARY);
        if (fd < 0)
            code = ERROR_TOO_MANY_OPEN_FILES;
        return fd;
    } catch (const std::bad_alloc &) {
        code = ERROR_NOT_ENOUGH_MEMORY;
        return -1;
    }
}

int platform_node_parent(int node) noexcept
{
    HANDLE handle = handle_of(node);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    try {
        return descriptor_of(open_above(handle, 1), _O_RDONLY | _O_BINARY);
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

namespace {

// The handle of node, or for PLATFORM_NODE_CWD of the working folder, then
// held in own; INVALID_HANDLE_VALUE when there is none.
HANDLE node_or_cwd(int node, Handle &own)
{
    if (node != PLATFORM_NODE_CWD)
        return handle_of(node);
    own =
        open_wish(nullptr, L".",
                  Wish{READ_CONTROL, READ_CONTROL, node_sharing, want_any, false, false, nullptr});
    return own ? own.get() : INVALID_HANDLE_VALUE;
}

} // namespace

int platform_node_status_get(int node, platform_node_status *out) noexcept
{
    if (out == nullptr)
        return -1;
    *out = platform_node_status{};
    try {
        Handle own;
        HANDLE handle = node_or_cwd(node, own);
        return handle != INVALID_HANDLE_VALUE ? node_status(handle, out) : -1;
    } catch (const std::bad_alloc &) {
        *out = platform_node_status{};
        return -1;
    }
}

int platform_node_status_above(int node, int levels, platform_node_status *out) noexcept
{
    if (out == nullptr)
        return -1;
    *out = platform_node_status{};
    if (levels < 1)
        return -1;
    try {
        Handle own;
        HANDLE handle = node_or_cwd(node, own);
        Handle above = handle != INVALID_HANDLE_VALUE ? open_above(handle, levels) : nullptr;
        return above ? node_status(above.get(), out) : -1;
    } catch (const std::bad_alloc &) {
        *out = platform_node_status{};
        return -1;
    }
}

namespace {

// A reparse point's data as the system hands it out: a tag, then for a
// symbolic link or a junction where in the path buffer its two names lie.
struct LinkData {
    DWORD tag;
    USHORT length;
    USHORT reserved;
    USHORT substitute_offset; // bytes into the path buffer
    USHORT substitute_length; // bytes
    USHORT print_offset;
    USHORT print_length;
};

// The offset of the path buffer after LinkData: a symbolic link has a word
// of flags first, a junction has none.
constexpr size_t link_paths_at = sizeof(LinkData) + sizeof(ULONG);
constexpr size_t junction_paths_at = sizeof(LinkData);

} // namespace

int platform_node_read_link(int folder, const char *name, char *buffer, size_t size) noexcept
{
    if (name == nullptr || buffer == nullptr || size == 0)
        return -1;
    try {
        Handle link =
            open_named(folder, name, Wish{0, 0, node_sharing, want_any, false, true, nullptr});
        std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[MAXIMUM_REPARSE_DATA_BUFFER_SIZE]);
        DWORD got = 0;
        if (!link || !data ||
            !DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, data.get(),
                             MAXIMUM_REPARSE_DATA_BUFFER_SIZE, &got, nullptr) ||
            got < sizeof(LinkData))
            return -1;
        LinkData head;
        std::memcpy(&head, data.get(), sizeof head);
        size_t paths_at = head.tag == IO_REPARSE_TAG_SYMLINK       ? link_paths_at
                          : head.tag == IO_REPARSE_TAG_MOUNT_POINT ? junction_paths_at
                                                                   : 0;
        // The name to show when there is one; the name the system follows,
        // less its "\??\" prefix, otherwise.
        bool printed = head.print_length > 0;
        size_t offset = printed ? head.print_offset : head.substitute_offset;
        size_t length = printed ? head.print_length : head.substitute_length;
        if (paths_at == 0 || paths_at + offset + length > got || length % sizeof(wchar_t) != 0)
            return -1;
        std::wstring target(length / sizeof(wchar_t), L'\0');
        std::memcpy(target.data(), data.get() + paths_at + offset, length);
        if (!printed && target.compare(0, 8, L"\\??\\UNC\\") == 0)
            target.replace(0, 8, L"\\\\");
        else if (!printed && target.compare(0, 4, L"\\??\\") == 0)
            target.erase(0, 4);
        return narrow(target.data(), target.size(), buffer, size) ? 0 : -1;
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

int platform_node_path(int node, char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return -1;
    HANDLE handle = handle_of(node);
    try {
        std::wstring path;
        if (handle != INVALID_HANDLE_VALUE && final_path(handle, path, true) &&
            narrow(path.data(), path.size(), buffer, size))
            return 0;
    } catch (const std::bad_alloc &) {
    }
    buffer[0] = '\0';
    return -1;
}

int platform_open_append_at(int folder, const char *name, int flags, int64_t *size) noexcept
{
    if (name == nullptr)
        return -1;
    try {
        Wish wish = append_wish(flags);
        if (wish.descriptor == nullptr)
            return -1;
        return append_descriptor(open_named(folder, name, wish), size);
    } catch (const std::bad_alloc &) {
        return -1;
    }
}
