// Windows access lists for tests (access_lists.h).
#include "access_lists.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_support.h"

namespace testing_support {

// The process's user as a SID text.
std::string my_sid()
{
    HANDLE token = nullptr;
    char buffer[512];
    DWORD size = 0;
    char *text = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "";
    bool read = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
                ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, &text);
    CloseHandle(token);
    std::string sid = read ? text : "";
    LocalFree(text);
    return sid;
}

// The list the host gives what it makes, as SDDL; handed down for a folder.
std::string private_list(bool folder)
{
    const std::string handed = folder ? "OICI" : "";
    const std::string me = my_sid();
    std::string list;
    for (const std::string &who : {std::string("SY"), std::string("BA"), me})
        list += "(A;" + handed + ";FA;;;" + who + ")";
    return "D:P" + list;
}

// The access list of path, as SDDL.
std::string list_of(const std::string &path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    char *text = nullptr;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return "(unreadable)";
    ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &text, nullptr);
    std::string list = text != nullptr ? text : "(unconvertible)";
    LocalFree(text);
    LocalFree(descriptor);
    return list;
}

// Makes the folder (or file) path with the access list sddl.
bool make_with_list(const std::string &path, const std::string &sddl, bool folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    bool made = false;
    if (folder) {
        made = CreateDirectoryA(path.c_str(), &security) != FALSE;
    } else {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        made = file != INVALID_HANDLE_VALUE;
        if (made)
            CloseHandle(file);
    }
    LocalFree(descriptor);
    return made;
}

// Makes the folder path a junction to the folder target (absolute); false
// where the system makes none.
bool make_junction(const std::string &path, const std::string &target)
{
    fs::create_directory(path);
    HANDLE folder = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return false;
    std::wstring substitute = L"\\??\\" + fs::path(target).wstring();
    std::wstring print = fs::path(target).wstring();
    size_t names = (substitute.size() + 1 + print.size() + 1) * sizeof(wchar_t);
    std::string data(16 + names, '\0');
    auto put16 = [&data](size_t at, size_t value) {
        data[at] = static_cast<char>(value & 0xFF);
        data[at + 1] = static_cast<char>(value >> 8);
    };
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(data.data(), &tag, sizeof tag);
    put16(4, 8 + names);
    put16(8, 0);
    put16(10, substitute.size() * sizeof(wchar_t));
    put16(12, (substitute.size() + 1) * sizeof(wchar_t));
    put16(14, print.size() * sizeof(wchar_t));
    std::memcpy(data.data() + 16, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
    std::memcpy(data.data() + 16 + (substitute.size() + 1) * sizeof(wchar_t), print.c_str(),
                (print.size() + 1) * sizeof(wchar_t));
    DWORD returned = 0;
    bool made = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, data.data(),
                                static_cast<DWORD>(data.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(folder);
    if (!made)
        fs::remove(path);
    return made;
}

// Whether the suite runs under wine, which keeps no access lists of its own:
// it turns one into a Unix mode, and reads the mode back as a list (the
// owner, SYSTEM, and Everyone for the others' bits).
bool on_wine()
{
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The writer that the node path reports, or -1.
int writer_of(const fs::path &path)
{
    platform_node_status status{};
    int fd = platform_node_open(PLATFORM_NODE_CWD, path.string().c_str(), PLATFORM_NODE_NOFOLLOW,
                                nullptr);
    int found = platform_node_status_get(fd, &status) == 0 ? status.writer : -1;
    platform_close(fd);
    return found;
}

// Lets everyone change path, and whether it then reads so: an Everyone grant
// in its list, or under wine the mode 0777, set by the Linux chmod (whose
// status wine does not hand back).
bool open_to_everyone(const fs::path &path)
{
    if (!on_wine()) {
        std::string list = private_list(fs::is_directory(path)) + "(A;;FA;;;WD)";
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        bool set = ConvertStringSecurityDescriptorToSecurityDescriptorA(
                       list.c_str(), SDDL_REVISION_1, &descriptor, nullptr) &&
                   GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
                   SetNamedSecurityInfoA(const_cast<char *>(path.string().c_str()), SE_FILE_OBJECT,
                                         DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl,
                                         nullptr) == ERROR_SUCCESS;
        LocalFree(descriptor);
        return set;
    }
    using UnixName = char *(CDECL *)(const wchar_t *);
    auto unix_name = reinterpret_cast<UnixName>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char *name = unix_name != nullptr ? unix_name(fs::absolute(path).wstring().c_str()) : nullptr;
    if (name == nullptr)
        return false;
    std::string unix_path = name;
    HeapFree(GetProcessHeap(), 0, name);
    testing_support::run_child("/bin/chmod", {"0777", unix_path}, fs::current_path());
    return testing_support::wait_until(
        [&path] { return writer_of(path) == PLATFORM_WRITER_EVERYONE; });
}

// The list of what the host makes: exactly the private one, or under wine
// what it keeps of it (no one but the owner and SYSTEM).
void expect_private(const std::string &path, bool folder)
{
    SCOPED_TRACE(path);
    std::string list = list_of(path);
    if (!on_wine()) {
        EXPECT_EQ(list, private_list(folder));
    }
    EXPECT_EQ(list.find(";;;WD)"), std::string::npos) << list;
    EXPECT_EQ(list.find(";;;BU)"), std::string::npos) << list;
    EXPECT_NE(list.find(";;;" + my_sid() + ")"), std::string::npos) << list;
}

} // namespace testing_support
