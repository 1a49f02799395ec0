// Which of a file's times the walks report: the creation time on Windows
// (its st_ctime), the modification time on POSIX, where st_ctime changes on
// rename and chmod and no creation time is portable.
#include "fs/filesystem.h"

#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "fs_files.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

int first_time(fs_dir *, fs_file *file, void *time)
{
    *static_cast<int32_t *>(time) = file->time;
    return 1;
}

using FsFileTime = testing_support::TempDirTest;

TEST_F(FsFileTime, WalksReportCreationOnWindowsAndModificationElsewhere)
{
#if defined(_WIN32)
    void *ntdll = platform_library_open("ntdll.dll", nullptr);
    if (platform_library_symbol(ntdll, "wine_get_version") != nullptr)
        GTEST_SKIP() << "wine keeps no creation time apart from the modification time";
#endif
    fs::create_directory("files");
    fs_files::make("files/one", 1);
    fs_files::set_mtime("files/one", 1000000); // every time of the file
    fs::last_write_time("files/one", fs::file_time_type::clock::now());

    int32_t walked = 0;
    fs_dir *dir = fs_dir_new("files");
    fs_dir_iter(dir, first_time, &walked);
    fs_dir_free(dir);
    fs_file *file = fs_file_new("files", "one");
    ASSERT_NE(file, nullptr);
#if defined(_WIN32)
    EXPECT_EQ(walked, 1000000);
    EXPECT_EQ(file->time, 1000000);
#else
    EXPECT_GT(walked, 1000000);
    EXPECT_EQ(file->time, walked);
#endif
    fs_file_free(file);
}

} // namespace
