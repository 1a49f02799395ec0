// The parts of the system layer that no module's suite reaches on every
// system: the running program's folder and the file times the walks read.
#include "platform/platform.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

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
    int fd = platform_open_append("log.txt", PLATFORM_APPEND_OWN_FOLDER, &size);
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

TEST_F(PlatformFiles, PathAccessTellsAMissingPathFromAReadableOne)
{
    testing_support::write_file("file", "x");
    EXPECT_EQ(platform_path_access("file"), PLATFORM_PATH_READABLE);
    EXPECT_EQ(platform_path_access("."), PLATFORM_PATH_READABLE);
    EXPECT_EQ(platform_path_access("missing.jar"), PLATFORM_PATH_MISSING);
    EXPECT_EQ(platform_path_access("file/below"), PLATFORM_PATH_MISSING);
    EXPECT_EQ(platform_path_access(nullptr), -1);
}

} // namespace
