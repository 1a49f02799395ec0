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

} // namespace
