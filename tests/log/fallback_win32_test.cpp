// The fallback log file on Windows: where it lives, and what is refused in
// the place where every user may add.
#include "log/detail/fallback.hpp"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "access_lists.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;

using LogFallback = testing_support::TempDirTest;

// Each test runs in a process of its own: the path is asked first here.
TEST_F(LogFallback, FollowsProgramDataWhenItNamesADrivesPath)
{
    const fs::path base = dir() / "ProgramData";
    ASSERT_EQ(_putenv_s("ProgramData", (base.string() + "\\").c_str()), 0);
    EXPECT_EQ(std::string(ub::detail::fallback_path()), (base / "VESK" / "ubrontex.log").string());
}

// The fallback file's folder is the host's own under %ProgramData% (here
// the test's folder): made private, and refused when someone else made it.
TEST_F(LogFallback, LivesInAPrivateFolderOfItsOwn)
{
    const fs::path base = dir() / "ProgramData";
    fs::create_directory(base);
    const std::string path = (base / "VESK" / "ubrontex.log").string();
    const std::string folder = (base / "VESK").string();

    int64_t size = -1;
    int fd = ub::detail::open_fallback(path.c_str(), &size);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(platform_write_all(fd, "line\n", 5), 0);
    platform_close(fd);
    expect_private(folder, true);
    expect_private(path, false);
    fd = ub::detail::open_fallback(path.c_str(), &size);
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
        int refused = ub::detail::open_fallback(path.c_str(), nullptr);
        EXPECT_EQ(refused, -1);
        platform_close(refused);
    }
    fs::remove_all(folder);
    fd = ub::detail::open_fallback(path.c_str(), nullptr);
    EXPECT_GE(fd, 0);
    platform_close(fd);
}

} // namespace
