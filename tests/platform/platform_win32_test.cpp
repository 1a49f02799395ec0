// The Windows half of the system layer where only Windows' own calls can
// look: who an access list lets change a node, the lists of the files the
// host makes, the fallback file's folder, reparse points and the JVM's
// library loaded from a held file.
#include "platform/platform.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// A node handle, closed when it goes.
class Node {
public:
    explicit Node(int fd) : fd_(fd) {}
    ~Node() { platform_close(fd_); }
    Node(const Node &) = delete;
    Node &operator=(const Node &) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

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

platform_node_status status_of(const char *name, int flags = PLATFORM_NODE_NOFOLLOW)
{
    platform_node_status status{};
    Node node(platform_node_open(PLATFORM_NODE_CWD, name, flags, nullptr));
    EXPECT_GE(node.fd(), 0) << name;
    EXPECT_EQ(platform_node_status_get(node.fd(), &status), 0) << name;
    return status;
}

using PlatformWin32 = testing_support::TempDirTest;

TEST_F(PlatformWin32, NodeStatusTellsWhoTheAccessListLetsChangeIt)
{
    if (on_wine())
        GTEST_SKIP() << "wine keeps no access lists: it reads a Unix mode as one";
    const std::string own = private_list(true);
    struct Row {
        const char *name;
        bool folder;
        std::string list;
        int writer;
        int sticky;
        const char *who;
    } rows[] = {
        {"own", true, own, PLATFORM_WRITER_NONE, 0, ""},
        {"read by everyone", true, own + "(A;;FR;;;WD)", PLATFORM_WRITER_NONE, 0, ""},
        {"handed down only", true, own + "(A;OICIIO;FA;;;BU)", PLATFORM_WRITER_NONE, 0, ""},
        {"creator owner", true, own + "(A;;FA;;;CO)", PLATFORM_WRITER_NONE, 0, ""},
        // Adding files and folders, as C:\ lets Authenticated Users.
        {"users add", true, own + "(A;;0x6;;;BU)", PLATFORM_WRITER_EVERYONE, 1, "Users"},
        {"users add and delete", true, own + "(A;;0x46;;;BU)", PLATFORM_WRITER_EVERYONE, 0,
         "Users"},
        {"users add and write attributes", true, own + "(A;;0x106;;;BU)", PLATFORM_WRITER_EVERYONE,
         0, "Users"},
        {"guests write", true, own + "(A;;FW;;;BG)", PLATFORM_WRITER_ACL, 0, "Guests"},
        // The first full grant is named, not an earlier adding one.
        {"guests after users add", true, own + "(A;;0x6;;;BU)(A;;WD;;;BG)", PLATFORM_WRITER_ACL, 0,
         "Guests"},
        {"no list", true, "D:NO_ACCESS_CONTROL", PLATFORM_WRITER_EVERYONE, 0, ""},
        // On a file the same bits write its data.
        {"file users add", false, private_list(false) + "(A;;0x6;;;BU)", PLATFORM_WRITER_EVERYONE,
         0, "Users"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(make_with_list(row.name, row.list, row.folder));
        platform_node_status status = status_of(row.name);
        EXPECT_EQ(status.kind, row.folder ? PLATFORM_NODE_FOLDER : PLATFORM_NODE_FILE);
        EXPECT_EQ(status.owner_trusted, 1) << status.owner;
        EXPECT_NE(status.owner[0], '\0');
        EXPECT_EQ(status.writer, row.writer) << status.who;
        EXPECT_EQ(status.sticky, row.sticky);
        EXPECT_NE(std::string(status.who).find(row.who), std::string::npos) << status.who;
        if (row.writer == PLATFORM_WRITER_NONE) {
            EXPECT_STREQ(status.who, "");
        }
    }
}

TEST_F(PlatformWin32, NodesOpenRelativeToTheirFolderAndClimbToTheTop)
{
    fs::create_directories("a/b");
    testing_support::write_file("a/b/file", "x");
    Node a(platform_node_open(PLATFORM_NODE_CWD, "a", 0, nullptr));
    ASSERT_GE(a.fd(), 0);
    Node b(platform_node_open(a.fd(), "b", PLATFORM_NODE_NOFOLLOW, nullptr));
    ASSERT_GE(b.fd(), 0);
    platform_node_status a_status{};
    platform_node_status status{};
    ASSERT_EQ(platform_node_status_get(a.fd(), &a_status), 0);
    auto same_as_a = [&a_status](int fd) {
        Node node(fd);
        platform_node_status found{};
        return node.fd() >= 0 && platform_node_status_get(node.fd(), &found) == 0 &&
               found.id[0] == a_status.id[0] && found.id[1] == a_status.id[1];
    };
    EXPECT_TRUE(same_as_a(platform_node_parent(b.fd())));
    EXPECT_TRUE(same_as_a(platform_node_open(b.fd(), "..", 0, nullptr)));
    EXPECT_TRUE(same_as_a(platform_node_open(a.fd(), "b/../.", 0, nullptr)));
    EXPECT_TRUE(same_as_a(platform_node_open(b.fd(), "..\\..\\a", 0, nullptr)));

    platform_node_status over_b{};
    ASSERT_EQ(platform_node_status_above(b.fd(), 1, &over_b), 0);
    EXPECT_TRUE(over_b.id[0] == a_status.id[0] && over_b.id[1] == a_status.id[1]);
    platform_node_status working{};
    platform_node_status over_a{};
    ASSERT_EQ(platform_node_status_get(PLATFORM_NODE_CWD, &working), 0);
    ASSERT_EQ(platform_node_status_above(a.fd(), 1, &over_a), 0);
    EXPECT_TRUE(over_a.id[0] == working.id[0] && over_a.id[1] == working.id[1]);
    EXPECT_EQ(platform_node_status_above(a.fd(), 0, &over_a), -1);

    // Two parts at once, and a file opened for reading through its handle.
    Node file(platform_node_open(a.fd(), "b\\file", PLATFORM_NODE_READ, nullptr));
    ASSERT_GE(file.fd(), 0);
    ASSERT_EQ(platform_node_status_get(file.fd(), &status), 0);
    EXPECT_EQ(status.kind, PLATFORM_NODE_FILE);
    char byte = 0;
    EXPECT_EQ(_read(file.fd(), &byte, 1), 1);
    EXPECT_EQ(byte, 'x');

    int error = 0;
    EXPECT_EQ(platform_node_open(a.fd(), "missing", 0, &error), -1);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(platform_node_open(a.fd(), "missing\\below", 0, &error), -1);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(platform_node_open(a.fd(), "b", PLATFORM_NODE_READ, &error), -1);
    EXPECT_NE(error, 0);

    // Up to the drive's top, which is its own parent.
    int steps = 0;
    int up = platform_node_parent(b.fd());
    for (; up >= 0 && steps < 64; ++steps) {
        int next = platform_node_parent(up);
        platform_node_status here{};
        platform_node_status above{};
        ASSERT_EQ(platform_node_status_get(up, &here), 0);
        ASSERT_EQ(platform_node_status_get(next, &above), 0);
        EXPECT_EQ(here.kind, PLATFORM_NODE_FOLDER);
        platform_close(up);
        up = next;
        if (here.id[0] == above.id[0] && here.id[1] == above.id[1])
            break;
    }
    platform_close(up);
    EXPECT_LT(steps, 64);
    EXPECT_GE(steps, 2);
    platform_node_status top{};
    platform_node_status beyond{};
    ASSERT_EQ(platform_node_status_above(b.fd(), steps + 1, &top), 0);
    ASSERT_EQ(platform_node_status_above(b.fd(), steps + 5, &beyond), 0);
    EXPECT_TRUE(top.id[0] == beyond.id[0] && top.id[1] == beyond.id[1]);
}

// Under wine too: a folder or file others may change, whose list names
// Everyone.
TEST_F(PlatformWin32, NodeStatusNamesEveryoneWhoMayChangeIt)
{
    fs::create_directory("folder");
    testing_support::write_file("file", "x");
    for (const char *name : {"folder", "file"}) {
        SCOPED_TRACE(name);
        platform_node_status status = status_of(name);
        EXPECT_EQ(status.owner_trusted, 1) << status.owner;
        EXPECT_EQ(status.writer, PLATFORM_WRITER_NONE) << status.who;
        ASSERT_TRUE(open_to_everyone(name));
        status = status_of(name);
        EXPECT_EQ(status.writer, PLATFORM_WRITER_EVERYONE);
        EXPECT_EQ(status.sticky, 0);
        EXPECT_NE(status.who[0], '\0');
    }
}

// What the handle promises: a held node stays where it was judged. Wine
// holds files so, but renames and removes a held folder all the same.
TEST_F(PlatformWin32, AHeldNodeCannotBeRenamedOrRemoved)
{
    fs::create_directory("folder");
    testing_support::write_file("folder/entry", "x");
    testing_support::write_file("file", "x");
    const bool folders_held = !on_wine();
    {
        int folder =
            platform_node_open(PLATFORM_NODE_CWD, "folder", PLATFORM_NODE_NOFOLLOW, nullptr);
        Node file(platform_node_open(PLATFORM_NODE_CWD, "file", PLATFORM_NODE_READ, nullptr));
        ASSERT_GE(folder, 0);
        ASSERT_GE(file.fd(), 0);
        EXPECT_FALSE(MoveFileA("file", "moved"));
        EXPECT_FALSE(DeleteFileA("file"));
        if (folders_held) {
            EXPECT_FALSE(MoveFileA("folder", "moved"));
        }
        // Its listing outlives the node, and holds the folder as well.
        platform_dir *listing = platform_dir_open_node(folder);
        platform_close(folder);
        ASSERT_NE(listing, nullptr);
        const char *name = nullptr;
        bool seen = false;
        while ((name = platform_dir_read(listing)) != nullptr)
            seen = seen || std::strcmp(name, "entry") == 0;
        EXPECT_TRUE(seen);
        if (folders_held) {
            EXPECT_FALSE(MoveFileA("folder", "moved"));
        }
        platform_dir_close(listing);
    }
    EXPECT_TRUE(MoveFileA("folder", "moved"));
    EXPECT_TRUE(DeleteFileA("file"));
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

TEST_F(PlatformWin32, LogFilesAreMadeWithAPrivateAccessList)
{
    int fd = platform_open_append("own.log", PLATFORM_APPEND_OWN_FOLDER, nullptr);
    ASSERT_GE(fd, 0);
    platform_close(fd);
    expect_private("own.log", false);

    fs::create_directory("log");
    Node log(platform_node_open(PLATFORM_NODE_CWD, "log", 0, nullptr));
    int64_t size = -1;
    fd = platform_open_append_at(log.fd(), "day.log", &size);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(platform_write_all(fd, "line\n", 5), 0);
    platform_close(fd);
    expect_private("log\\day.log", false);
    fd = platform_open_append_at(log.fd(), "day.log", &size);
    EXPECT_EQ(size, 6); // CR LF
    platform_close(fd);
}

// A shared place's folder is a program's own below one where every user may
// add (here the test's folder): made private, and refused when someone else
// made it.
TEST_F(PlatformWin32, SharedPlaceLivesInAPrivateFolder)
{
    const fs::path base = dir() / "ProgramData";
    fs::create_directory(base);
    const std::string path = (base / "VESK" / "ubrontex.log").string();
    const std::string folder = (base / "VESK").string();

    int64_t size = -1;
    int fd = platform_open_append(path.c_str(), PLATFORM_APPEND_SHARED_FOLDER, &size);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(platform_write_all(fd, "line\n", 5), 0);
    platform_close(fd);
    expect_private(folder, true);
    expect_private(path, false);
    fd = platform_open_append(path.c_str(), PLATFORM_APPEND_SHARED_FOLDER, &size);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(size, 6);
    platform_close(fd);

    // What someone else may have left there: each refused, none for good.
    struct Row {
        const char *name;
        std::string folder_list; // "" for a plain file in the folder's place
        std::string file_list;   // "" for no file
        bool to_everyone;        // then let everyone change the last one made
        bool under_wine;         // false for lists wine would not keep
    } rows[] = {
        {"folder everyone may change", private_list(true), "", true, true},
        {"file everyone may change", private_list(true), private_list(false), true, true},
        {"a file in the folder's place", "", "", false, true},
        {"folder users may change", private_list(true) + "(A;;FA;;;BU)", "", false, false},
        {"folder guests may add to", private_list(true) + "(A;;0x6;;;BG)", "", false, false},
        {"file users may write", private_list(true), private_list(false) + "(A;;FW;;;BU)", false,
         false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (on_wine() && !row.under_wine)
            continue;
        fs::remove_all(folder);
        if (row.folder_list.empty()) {
            testing_support::write_file(folder, "x");
        } else {
            ASSERT_TRUE(make_with_list(folder, row.folder_list, true));
            if (!row.file_list.empty()) {
                ASSERT_TRUE(make_with_list(path, row.file_list, false));
            }
        }
        if (row.to_everyone) {
            ASSERT_TRUE(open_to_everyone(row.file_list.empty() ? folder : path));
        }
        int refused = platform_open_append(path.c_str(), PLATFORM_APPEND_SHARED_FOLDER, nullptr);
        EXPECT_EQ(refused, -1);
        platform_close(refused);
    }
    fs::remove_all(folder);
    fd = platform_open_append(path.c_str(), PLATFORM_APPEND_SHARED_FOLDER, nullptr);
    EXPECT_GE(fd, 0);
    platform_close(fd);
}

TEST_F(PlatformWin32, JunctionsAreNodesOfTheirOwn)
{
    fs::create_directory("target");
    const std::string target = (dir() / "target").string();
    if (!make_junction("link", target))
        GTEST_SKIP() << "this system makes no junctions (wine)";
    EXPECT_EQ(status_of("link").kind, PLATFORM_NODE_LINK);
    platform_node_status followed = status_of("link", 0);
    platform_node_status real = status_of("target");
    EXPECT_EQ(followed.kind, PLATFORM_NODE_FOLDER);
    EXPECT_EQ(followed.id[1], real.id[1]);
    char read[PLATFORM_PATH_MAX];
    ASSERT_EQ(platform_node_read_link(PLATFORM_NODE_CWD, "link", read, sizeof read), 0);
    EXPECT_EQ(std::string(read), target);
    EXPECT_EQ(platform_node_read_link(PLATFORM_NODE_CWD, "link", read, 4), -1);
    EXPECT_EQ(platform_node_read_link(PLATFORM_NODE_CWD, "target", read, sizeof read), -1);
    int error = 0;
    EXPECT_EQ(platform_node_open(PLATFORM_NODE_CWD, "link",
                                 PLATFORM_NODE_READ | PLATFORM_NODE_NOFOLLOW, &error),
              -1);
    EXPECT_EQ(error, ELOOP);
    Node link(platform_node_open(PLATFORM_NODE_CWD, "link", PLATFORM_NODE_NOFOLLOW, nullptr));
    EXPECT_EQ(platform_dir_open_node(link.fd()), nullptr);
    fs::remove("link");
}

TEST_F(PlatformWin32, LibraryLoadsFromTheHeldFile)
{
    fs::create_directories("jdk/bin/server");
    fs::copy_file(VESK_TEST_PROBE_DLL, "jdk/bin/server/jvm.dll");
    platform_library_search_restrict();
    Node node(platform_node_open(PLATFORM_NODE_CWD, "jdk\\bin\\server\\jvm.dll",
                                 PLATFORM_NODE_READ | PLATFORM_NODE_NOFOLLOW, nullptr));
    ASSERT_GE(node.fd(), 0);
    char held[PLATFORM_PATH_MAX];
    ASSERT_EQ(platform_node_path(node.fd(), held, sizeof held), 0);
    EXPECT_EQ(fs::path(held).filename(), "jvm.dll");
    EXPECT_EQ(fs::path(held).parent_path().filename(), "server");
    platform_library_why why{};
    void *library = platform_library_open_node(node.fd(), &why);
    ASSERT_NE(library, nullptr) << why.error;
    auto probe = reinterpret_cast<int (*)(void)>(platform_library_symbol(library, "vesk_probe"));
    ASSERT_NE(probe, nullptr);
    EXPECT_EQ(probe(), 42);
    // The loaded file keeps its name: it cannot be removed while loaded.
    EXPECT_FALSE(DeleteFileA("jdk\\bin\\server\\jvm.dll"));
    platform_library_close(library);
    EXPECT_EQ(platform_library_open_node(-1, &why), nullptr);
    EXPECT_EQ(why.failure, PLATFORM_LIBRARY_FAILED);
    EXPECT_EQ(why.error, ERROR_INVALID_HANDLE);
}

} // namespace
