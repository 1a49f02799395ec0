// The Windows half of the operating-system layer, for 32- and 64-bit
// Windows. The only file that includes <windows.h>.
#include "platform/platform.h"

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

// ---- Handles, names and access lists, shared by the file opens and the
// nodes.

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// An open handle, closed when it goes; empty after a failed open.
using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

Handle held(HANDLE handle)
{
    return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct LocalFreer {
    void operator()(void *block) const { LocalFree(block); }
};
// A block the system allocated for the caller (descriptors, SID texts).
using LocalBlock = std::unique_ptr<void, LocalFreer>;

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
    if (owner != nullptr) {
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

// The access list of what the host makes: SYSTEM, Administrators and the
// process's user have full control, nothing is inherited from above, and a
// folder hands the same down. Made once; null when it cannot be.
PSECURITY_DESCRIPTOR private_descriptor(bool folder)
{
    static const LocalBlock file = make_private_descriptor(false);
    static const LocalBlock parent = make_private_descriptor(true);
    return folder ? parent.get() : file.get();
}

// ---- Opening relative to a folder held open.

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
// private access list.
Wish append_wish(bool judged)
{
    DWORD access = FILE_APPEND_DATA | FILE_READ_DATA | (judged ? READ_CONTROL : 0);
    DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    return Wish{access, FILE_READ_DATA,           sharing, want_file, true,
                judged, private_descriptor(false)};
}

// The descriptor for file, opened to append, after asking the handle what
// it opened: a disk file (not a pipe, console or other device; a folder
// does not open for appending data). A judged one must also be a plain file
// of one name, owned by the system or the process's user, that no one else
// may change. -1, the handle closed, when refused.
int append_descriptor(Handle file, bool judged, int64_t *size)
{
    bool accepted = file && GetFileType(file.get()) == FILE_TYPE_DISK;
    if (accepted && judged) {
        BY_HANDLE_FILE_INFORMATION info{};
        platform_node_status status{};
        accepted = GetFileInformationByHandle(file.get(), &info) && info.nNumberOfLinks == 1 &&
                   node_status(file.get(), &status) == 0 && status.kind == PLATFORM_NODE_FILE &&
                   status.owner_trusted == 1 && status.writer == PLATFORM_WRITER_NONE;
    }
    LARGE_INTEGER length{};
    if (accepted && size != nullptr) {
        accepted = GetFileSizeEx(file.get(), &length) != FALSE;
        *size = length.QuadPart;
    }
    return accepted ? descriptor_of(std::move(file), _O_APPEND) : -1;
}

// Opens <base>\<folder>\<file> for appending, where folder is the host's own
// below a folder that others may add to (the fallback file's under
// %ProgramData%): folder is made when missing, with the private access list,
// opened without following a reparse point, and taken only when owned by the
// system or the process's user with no one else allowed to change it; the
// file is opened relative to it, and judged as well.
int open_judged_append(const char *path, int64_t *size)
{
    std::string text(path);
    size_t file_at = text.find_last_of("\\/");
    size_t folder_at = file_at == std::string::npos || file_at == 0
                           ? std::string::npos
                           : text.find_last_of("\\/", file_at - 1);
    if (folder_at == std::string::npos || folder_at == 0)
        return -1;
    std::wstring base;
    std::wstring folder;
    std::wstring file;
    if (!widen(text.substr(0, folder_at + 1).c_str(), base) ||
        !widen(text.substr(folder_at + 1, file_at - folder_at - 1).c_str(), folder) ||
        !widen(text.substr(file_at + 1).c_str(), file))
        return -1;
    Handle above =
        open_wish(nullptr, base, Wish{0, 0, node_sharing, want_any, false, false, nullptr});
    Wish own{READ_CONTROL, 0, node_sharing, want_folder, true, true, private_descriptor(true)};
    Handle held_folder =
        above && own.descriptor != nullptr ? open_wish(above.get(), folder, own) : nullptr;
    platform_node_status status{};
    if (!held_folder || node_status(held_folder.get(), &status) != 0 ||
        status.kind != PLATFORM_NODE_FOLDER || status.owner_trusted != 1 ||
        status.writer != PLATFORM_WRITER_NONE)
        return -1;
    Wish wish = append_wish(true);
    if (wish.descriptor == nullptr)
        return -1;
    return append_descriptor(open_wish(held_folder.get(), file, wish), true, size);
}

} // namespace

const char *platform_fallback_log_path(void) noexcept
{
    static char path[MAX_PATH + 32];
    static std::once_flag made;
    std::call_once(made, [] {
        char base[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("ProgramData", base, sizeof base);
        // Only a drive's absolute path will do; anything else is the
        // system's usual place.
        bool usable = length >= 3 && length < sizeof base && base[1] == ':' &&
                      (base[2] == '\\' || base[2] == '/');
        while (usable && length > 3 && (base[length - 1] == '\\' || base[length - 1] == '/'))
            base[--length] = '\0';
        std::snprintf(path, sizeof path, "%s\\VESK\\ubrontex.log",
                      usable ? base : "C:\\ProgramData");
    });
    return path;
}

int platform_open_append(const char *path, int place, int64_t *size) noexcept
{
    if (path == nullptr)
        return -1;
    try {
        if (place != PLATFORM_APPEND_OWN_FOLDER)
            return open_judged_append(path, size);
        return platform_open_append_at(PLATFORM_NODE_CWD, path, size);
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

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

// The system's account of a failed load into reason: its error number,
// with a word on the one failure an operator meets most, a library of the
// other width.
void put_load_error(char *reason, size_t size, DWORD error)
{
    if (reason == nullptr || size == 0)
        return;
    const char *meaning =
        error == ERROR_BAD_EXE_FORMAT ? " (biblioteca de 32/64 bits diferente do vesk.exe)" : "";
    std::snprintf(reason, size, "erro %lu%s", static_cast<unsigned long>(error), meaning);
}

// Whether libraries are looked for in the system's safe places only: the
// program's folder, the system folder and folders added on purpose, never
// the working folder or PATH, where anyone may have left a DLL of a wanted
// name. Set once, before the JVM's library is loaded; a system without the
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

// How a library named by its full path is loaded: what it needs is looked
// for in its own folder first, then in the safe places.
DWORD library_search_flags()
{
    return restrict_library_search()
               ? LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS
               : 0;
}

// Loads the C runtime DLLs that a Java runtime keeps in its bin folder, the
// folder above that of path (...\bin\ for ...\bin\server\jvm.dll), as the
// java launcher does, so that a runtime outside the library search starts
// on a system without that C runtime installed.
void load_runtimes(const char *path)
{
    static const char *const runtimes[] = {"msvcr100.dll", "msvcr120.dll", "vcruntime140.dll",
                                           "vcruntime140_1.dll", "msvcp140.dll"};
    const char *server = std::strrchr(path, '\\');
    const char *bin = server;
    while (bin != nullptr && bin > path && bin[-1] != '\\')
        --bin;
    // There is no such folder for "jvm.dll" or "C:\jvm.dll".
    if (server == nullptr || bin == nullptr || bin == path)
        return;
    try {
        std::string folder(path, static_cast<size_t>(bin - path));
        for (const char *runtime : runtimes) {
            std::string dll = folder + runtime;
            // A runtime of another width or a failed load is left to
            // jvm.dll's own load to report.
            if (GetFileAttributesA(dll.c_str()) != INVALID_FILE_ATTRIBUTES)
                LoadLibraryExA(dll.c_str(), nullptr, library_search_flags());
        }
    } catch (const std::bad_alloc &) {
        // Without the runtimes, the load of jvm.dll reports what is missing.
    }
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
    } else {
        put_load_error(reason, size, error);
    }
    return nullptr;
}

char *platform_jvm_library_paths(const char *build_java_home) noexcept
{
    (void)build_java_home;
    restrict_library_search();
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
        paths += '\0';
        char *block = static_cast<char *>(std::malloc(paths.size()));
        if (block != nullptr)
            std::memcpy(block, paths.data(), paths.size());
        return block;
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
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
    // READ_CONTROL lets the node's status be asked; a node the process may
    // not ask still opens, to be judged unreadable then.
    Wish wish{read ? GENERIC_READ : READ_CONTROL,
              read ? 0u : READ_CONTROL,
              node_sharing,
              want_any,
              false,
              (flags & PLATFORM_NODE_NOFOLLOW) != 0,
              nullptr};
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

int platform_open_append_at(int folder, const char *name, int64_t *size) noexcept
{
    if (name == nullptr)
        return -1;
    try {
        Wish wish = append_wish(false);
        if (wish.descriptor == nullptr)
            return -1;
        return append_descriptor(open_named(folder, name, wish), false, size);
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

void *platform_jvm_library_open_node(int node, int *missing, char *reason, size_t size) noexcept
{
    if (missing != nullptr)
        *missing = 0; // the node holds the file
    restrict_library_search();
    HANDLE handle = handle_of(node);
    try {
        std::wstring path;
        char narrowed[PLATFORM_PATH_MAX];
        if (handle == INVALID_HANDLE_VALUE || !final_path(handle, path, true) ||
            !narrow(path.data(), path.size(), narrowed, sizeof narrowed)) {
            put_load_error(reason, size,
                           handle == INVALID_HANDLE_VALUE ? ERROR_INVALID_HANDLE : GetLastError());
            return nullptr;
        }
        load_runtimes(narrowed);
        // By the held file's own path, which cannot lead elsewhere while it
        // is held; what it needs is looked for beside it, then in the
        // system's places.
        HMODULE library = LoadLibraryExW(path.c_str(), nullptr, library_search_flags());
        if (library == nullptr) {
            put_load_error(reason, size, GetLastError());
            return nullptr;
        }
        // A handle of the library's own, never closed: the file keeps the
        // name the library was loaded by (the JVM finds its home through
        // it), though a mapped file could otherwise be renamed.
        HANDLE kept = INVALID_HANDLE_VALUE;
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &kept, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        return reinterpret_cast<void *>(library);
    } catch (const std::bad_alloc &) {
        put_load_error(reason, size, ERROR_NOT_ENOUGH_MEMORY);
    }
    return nullptr;
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
