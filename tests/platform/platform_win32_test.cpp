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

#include "access_lists.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

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

TEST_F(PlatformWin32, LogFilesAreMadeWithAPrivateAccessList)
{
    int fd = platform_open_append_at(PLATFORM_NODE_CWD, "own.log", 0, nullptr);
    ASSERT_GE(fd, 0);
    platform_close(fd);
    expect_private("own.log", false);

    fs::create_directory("log");
    Node log(platform_node_open(PLATFORM_NODE_CWD, "log", 0, nullptr));
    int64_t size = -1;
    fd = platform_open_append_at(log.fd(), "day.log", 0, &size);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(platform_write_all(fd, "line\n", 5), 0);
    platform_close(fd);
    expect_private("log\\day.log", false);
    fd = platform_open_append_at(log.fd(), "day.log", 0, &size);
    EXPECT_EQ(size, 6); // CR LF
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
