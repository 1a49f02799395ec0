// Old-file deletion with the clock after 2038-01-19, when seconds since 1970
// no longer fit 32 bits. The suite is linked with -Wl,--wrap=time, so the
// library's clock is the one set here.
#include "fs/delete.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fs_files.h"
#include "test_support.h"

namespace {

time_t fake_now = 0; // 0: the system's clock

} // namespace

extern "C" time_t __real_time(time_t *out);

extern "C" time_t __wrap_time(time_t *out)
{
    time_t now = fake_now != 0 ? fake_now : __real_time(nullptr);
    if (out != nullptr)
        *out = now;
    return now;
}

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class DeleteClock : public testing_support::TempDirTest {
protected:
    void TearDown() override
    {
        fake_now = 0;
        TempDirTest::TearDown();
    }
};

TEST_F(DeleteClock, AgesAfter2038CountFromTheFullTime)
{
    constexpr int64_t day = fs_files::day;
    const time_t now = 2150928000; // 2038-03-02 00:00:00 UTC
    fs::create_directories("log");
    fs::create_directories("files");
    for (auto [name, time] : {std::pair{"f_minute", now - 60},
                              {"f_29days", now - 29 * day},
                              {"f_31days", now - 31 * day},
                              {"f_2033", int64_t{2000000000}}}) {
        fs_files::make(fs::path("files") / name);
        fs_files::set_mtime(fs::path("files") / name, time);
    }
    fake_now = now;
    EXPECT_EQ(execute_delete("files", "f_", "", 30, 0, nullptr, 0), 2);
    std::vector<std::string> left;
    for (const auto &entry : fs::directory_iterator("files"))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (Names{"f_29days", "f_minute"}));

    // Times past 32 bits are left out of the 32-bit results.
    int32_t newest = -1;
    int32_t oldest = -1;
    EXPECT_EQ(delete_get_new_old("files", "f_", "", &newest, &oldest), 0);
    EXPECT_EQ(newest, 0);
    EXPECT_EQ(oldest, INT32_MAX);
    fs_files::make("files/f_2030");
    fs_files::set_mtime("files/f_2030", 1900000000);
    EXPECT_EQ(delete_get_new_old("files", "f_", "", &newest, &oldest), 0);
    EXPECT_EQ(newest, 1900000000);
    EXPECT_EQ(oldest, 1900000000);
}

} // namespace

namespace {

TEST_F(DeleteClock, AgesAtTheEndsOfTheClockSaturate)
{
    // Either clock end against a file's time passes the 64-bit range: the age
    // is the largest (or most negative) there is, never a wrapped value.
    fs::create_directories("log");
    fs::create_directories("files");
    fs_files::make("files/f_1969");
    fs_files::set_mtime("files/f_1969", -100000);
    fs_files::make("files/f_2001");
    fs_files::set_mtime("files/f_2001", 1000000000);
    fake_now = INT64_MIN + 1;
    EXPECT_EQ(execute_delete("files", "f_2001", "", 0, 0, nullptr, 0), 0);
    fake_now = INT64_MAX;
    EXPECT_EQ(execute_delete("files", "f_1969", "", 30, 0, nullptr, 0), 1);
    EXPECT_TRUE(fs::exists("files/f_2001"));
}

} // namespace
