// The parts of the system layer that no module's suite reaches on every
// system: the running program's folder, files and their times, folder
// listings, libraries and the process.
#include "platform/platform.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

using testing_support::Node;

TEST(Platform, ExecutableDirIsTheFolderOfTheRunningProgram)
{
    char dir[PLATFORM_PATH_MAX];
    ASSERT_EQ(platform_executable_dir(dir, sizeof dir), 0);
    EXPECT_TRUE(fs::equivalent(dir, VESK_TEST_BIN_DIR)) << dir;
    char small[4] = "xyz";
    EXPECT_EQ(platform_executable_dir(small, sizeof small), -1);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(platform_executable_dir(nullptr, 8), -1);
}

using PlatformFiles = testing_support::TempDirTest;

TEST_F(PlatformFiles, StatusGivesTheSetTimeSizeAndKind)
{
    testing_support::write_file("file", "12345");
    fs::create_directory("folder");
    ASSERT_EQ(platform_file_set_time("file", 1234567), 0);
    platform_file_status status{};
    ASSERT_EQ(platform_file_stat("file", &status), 0);
    EXPECT_EQ(status.mtime, 1234567);
    EXPECT_EQ(status.size, 5);
    EXPECT_EQ(status.is_dir, 0);
    ASSERT_EQ(platform_file_stat("folder", &status), 0);
    EXPECT_EQ(status.is_dir, 1);
    EXPECT_EQ(platform_file_stat("missing", &status), -1);
    EXPECT_EQ(status.size, 0);
    EXPECT_EQ(platform_file_set_time("missing", 1), -1);
}

// The writer judges a file by its size as opened and its last line.
TEST_F(PlatformFiles, AppendGivesTheSizeAndTheTailReadsTheLastBytes)
{
    testing_support::write_file("log.txt", "first\nsecond\n");
    int64_t size = -1;
    int fd = platform_open_append_at(PLATFORM_NODE_CWD, "log.txt", 0, &size);
    ASSERT_GE(fd, 0);
    char tail[64] = {};
    int count = platform_read_tail(fd, tail, 7);
    ASSERT_GT(count, 0);
    // Windows keeps text files in CR LF: the tail is what lies on disk.
    EXPECT_EQ(std::string(tail, static_cast<size_t>(count)).find("second"), 0u);
    EXPECT_EQ(platform_read_tail(fd, tail, sizeof tail), static_cast<int>(size));
    EXPECT_EQ(platform_write_all(fd, "x", 1), 0);
    EXPECT_EQ(platform_read_tail(fd, tail, 1), 1);
    EXPECT_EQ(tail[0], 'x');
    platform_close(fd);
    EXPECT_GE(size, 13);
    EXPECT_EQ(platform_read_tail(-1, tail, 1), -1);
}

// What the callers judge an append by: the descriptor's own status, a
// folder made for the process alone, a link refused when asked.
TEST_F(PlatformFiles, AppendDescriptorsAndMadeFoldersCanBeJudged)
{
    Node here(platform_node_open(PLATFORM_NODE_CWD, ".", 0, nullptr));
    ASSERT_GE(here.fd(), 0);
    for (int round = 0; round < 2; ++round) { // made, then found
        SCOPED_TRACE(round);
        Node folder(platform_node_open(
            here.fd(), "own", PLATFORM_NODE_NOFOLLOW | PLATFORM_NODE_MAKE_FOLDER, nullptr));
        ASSERT_GE(folder.fd(), 0);
        platform_node_status status{};
        ASSERT_EQ(platform_node_status_get(folder.fd(), &status), 0);
        EXPECT_EQ(status.kind, PLATFORM_NODE_FOLDER);
        EXPECT_EQ(status.owner_self, 1);
        EXPECT_EQ(status.writer, PLATFORM_WRITER_NONE);
    }
    testing_support::write_file("file", "x");
    EXPECT_LT(platform_node_open(here.fd(), "file", PLATFORM_NODE_MAKE_FOLDER, nullptr), 0);

    Node log(platform_open_append_at(PLATFORM_NODE_CWD, "own" PLATFORM_PATH_SEP_STR "a.log",
                                     PLATFORM_APPEND_ASKABLE, nullptr));
    ASSERT_GE(log.fd(), 0);
    platform_node_status status{};
    ASSERT_EQ(platform_node_status_get(log.fd(), &status), 0);
    EXPECT_EQ(status.kind, PLATFORM_NODE_FILE);
    EXPECT_EQ(status.owner_self, 1);
    EXPECT_EQ(status.links, 1u);
}

TEST_F(PlatformFiles, PathAccessTellsAMissingPathFromAReadableOne)
{
    testing_support::write_file("file", "x");
    EXPECT_EQ(platform_path_access("file"), PLATFORM_PATH_READABLE);
    EXPECT_EQ(platform_path_access("."), PLATFORM_PATH_READABLE);
    EXPECT_EQ(platform_path_access("missing.jar"), PLATFORM_PATH_MISSING);
    EXPECT_EQ(platform_path_access("file/below"), PLATFORM_PATH_MISSING);
    EXPECT_EQ(platform_path_access(nullptr), -1);
}

using PlatformFolders = testing_support::TempDirTest;

// Everything a walk does in a folder it holds open: list, look up, open a
// subfolder, read and delete, and let go of the folder and take it up again.
TEST_F(PlatformFolders, AnOpenListingIsReadLookedUpAndChangedRelativeToItself)
{
    testing_support::write_file("d/file", "abc");
    fs::create_directories("d/sub");
    platform_dir *dir = platform_dir_open("d");
    ASSERT_NE(dir, nullptr);
    std::set<std::string> names;
    for (const char *name = platform_dir_read(dir); name != nullptr; name = platform_dir_read(dir))
        names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{".", "..", "file", "sub"}));
    EXPECT_EQ(platform_dir_error(dir), 0);

    platform_file_status status{};
    ASSERT_EQ(platform_dir_stat(dir, "file", &status), 0);
    EXPECT_EQ(status.size, 3);
    EXPECT_EQ(status.is_dir, 0);
    ASSERT_EQ(platform_dir_stat(dir, "sub", &status), 0);
    EXPECT_EQ(status.is_dir, 1);
    EXPECT_EQ(platform_dir_stat(dir, "missing", &status), -1);

    char text[8] = {};
    EXPECT_EQ(platform_dir_read_file(dir, "file", text, sizeof text), 3);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(platform_dir_read_file(dir, "sub", text, sizeof text), -1);
    FILE *file = platform_dir_open_regular(dir, "file");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fgetc(file), 'a');
    std::fclose(file);
    EXPECT_EQ(platform_dir_open_regular(dir, "sub"), nullptr);

    for (const char *name : {"", ".", "..", "file", "missing", "sub/x"})
        EXPECT_EQ(platform_dir_open_at(dir, name), nullptr) << name;
    platform_dir *sub = platform_dir_open_at(dir, "sub");
    ASSERT_NE(sub, nullptr);
    // Let go and taken up again through the subfolder, the folder works as before.
    EXPECT_EQ(platform_dir_suspend(dir), 0);
    EXPECT_EQ(platform_dir_resume(dir, sub), 0);
    EXPECT_EQ(platform_dir_stat(dir, "file", &status), 0);

    int error = 0;
    EXPECT_EQ(platform_dir_unlink(dir, "sub", &error), -1);
    EXPECT_NE(error, 0);
    EXPECT_EQ(platform_dir_unlink(dir, "file", &error), 0);
    EXPECT_FALSE(fs::exists("d/file"));
    platform_dir_close(sub);
    platform_dir_close(dir);
    platform_dir_close(nullptr);
    EXPECT_EQ(platform_dir_open("d/missing"), nullptr);
    EXPECT_EQ(platform_dir_open(""), nullptr);
}

TEST_F(PlatformFolders, DeletingAFileLeavesFoldersAndTellsWhy)
{
    testing_support::write_file("file", "x");
    fs::create_directory("folder");
    int error = 0;
    EXPECT_EQ(platform_delete_file("file", &error), 0);
    EXPECT_FALSE(fs::exists("file"));
    EXPECT_EQ(platform_delete_file("file", &error), -1);
    EXPECT_NE(error, 0);
    EXPECT_EQ(platform_delete_file("folder", nullptr), -1);
    EXPECT_TRUE(fs::is_directory("folder"));
}

// A library is loaded and its functions found; what is no library says why.
TEST_F(PlatformFiles, LibrariesLoadAndSayWhyTheyCannot)
{
    void *probe = platform_library_open(VESK_TEST_PROBE_DLL, nullptr);
    ASSERT_NE(probe, nullptr);
    auto function = reinterpret_cast<int (*)()>(platform_library_symbol(probe, "vesk_probe"));
    ASSERT_NE(function, nullptr);
    EXPECT_EQ(function(), 42);
    EXPECT_EQ(platform_library_symbol(probe, "vesk_no_such_function"), nullptr);
    platform_library_close(probe);
    platform_library_close(nullptr);

    testing_support::write_file("text.so", "no library");
    // A missing file and a file that is no library fail apart, the second
    // with the system's own account.
    const struct {
        const char *path;
        bool missing;
    } cases[] = {{"missing.so", true}, {"text.so", false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        std::string path = (fs::current_path() / c.path).string();
        int error = 0;
        EXPECT_EQ(platform_library_open(path.c_str(), &error), nullptr);
        EXPECT_NE(error, 0);
        platform_library_why why{};
        EXPECT_EQ(platform_library_open_why(path.c_str(), &why), nullptr);
        EXPECT_EQ(why.failure == PLATFORM_LIBRARY_MISSING, c.missing);
        if (!c.missing) {
            EXPECT_TRUE(why.text[0] != '\0' || why.error != 0);
        }
    }

    // Loaded from a file held open, whose path the system can tell.
    int node =
        platform_node_open(PLATFORM_NODE_CWD, VESK_TEST_PROBE_DLL, PLATFORM_NODE_READ, nullptr);
    ASSERT_GE(node, 0);
    char held[PLATFORM_PATH_MAX];
    ASSERT_EQ(platform_node_path(node, held, sizeof held), 0);
    EXPECT_EQ(fs::path(held).filename(), fs::path(VESK_TEST_PROBE_DLL).filename());
    EXPECT_EQ(platform_node_path(node, held, 2), -1);
    platform_library_why why{};
    void *loaded = platform_library_open_node(node, &why);
    platform_close(node);
    ASSERT_NE(loaded, nullptr) << why.text;
    EXPECT_NE(platform_library_symbol(loaded, "vesk_probe"), nullptr);
    EXPECT_EQ(platform_library_open_node(-1, &why), nullptr);
    EXPECT_EQ(why.failure, PLATFORM_LIBRARY_FAILED);
}

TEST(Platform, ProcessIdAndTemporaryFolder)
{
    EXPECT_GT(platform_process_id(), 0);
    EXPECT_EQ(platform_process_id(), platform_process_id());
    char folder[PLATFORM_PATH_MAX];
    ASSERT_EQ(platform_temp_folder(folder, sizeof folder), 0);
    EXPECT_TRUE(fs::is_directory(folder)) << folder;
    char small[2] = "x";
    EXPECT_EQ(platform_temp_folder(small, sizeof small), -1);
    EXPECT_STREQ(small, "");
    EXPECT_EQ(platform_temp_folder(nullptr, 8), -1);
}

} // namespace
