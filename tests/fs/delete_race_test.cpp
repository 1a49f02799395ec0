// Old-file deletion while other processes change the tree: a log rotation
// that renames and recreates a file, and a folder swapped with a link to
// somewhere outside the tree. Linux only (rename exchange).
#include "fs/delete.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "fs_files.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Names = std::vector<std::string>;
using testing_support::StderrCapture;
using testing_support::TempDirTest;

constexpr auto race_time = std::chrono::seconds(2);

int note_removal(const char *dir, const char *name, intptr_t removed)
{
    reinterpret_cast<Names *>(removed)->push_back(std::string(dir) + "/" + name);
    return 0;
}

// Runs change() over and over on another thread while clean() runs here,
// until race_time has passed.
template <typename Change, typename Clean>
void race(Change change, Clean clean)
{
    std::atomic<bool> done{false};
    std::thread other([&] {
        while (!done.load(std::memory_order_relaxed))
            change();
    });
    for (auto end = Clock::now() + race_time; Clock::now() < end;)
        clean();
    done = true;
    other.join();
}

using DeleteRace = TempDirTest;

TEST_F(DeleteRace, ARotatedFileIsNeverTakenForAnOldOne)
{
    fs::create_directories("log");
    fs::create_directories("d");
    fs_files::make("d/app_hot.log");
    Names removed;
    race(
        [] {
            rename("d/app_hot.log", "d/app_hot.log.1");
            close(open("d/app_hot.log", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        },
        [&] {
            execute_delete("d", "app_", ".log", 7, 0, note_removal,
                           reinterpret_cast<intptr_t>(&removed));
        });
    EXPECT_EQ(removed, Names{}) << "fresh files were deleted";
}

TEST_F(DeleteRace, AFolderSwappedForALinkIsNeverEntered)
{
    constexpr int pairs = 8;
    constexpr int files = 4;
    fs::create_directories("log");
    fs::create_directories("outside");
    for (int k = 0; k < files; ++k)
        fs_files::make("outside/app" + std::to_string(k) + ".log", 1, 30 * fs_files::day);
    // The real folders stay reachable through their descriptors, whatever
    // names they have at the moment, so they can be refilled.
    std::vector<int> folders;
    for (int i = 0; i < pairs; ++i) {
        std::string sub = "root/sub" + std::to_string(i);
        fs::create_directories(sub);
        fs::create_directory_symlink("../outside", "root/lnk" + std::to_string(i));
        folders.push_back(open(sub.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_GE(folders.back(), 0);
    }
    const timespec old[2] = {{std::time(nullptr) - 30 * fs_files::day, 0},
                             {std::time(nullptr) - 30 * fs_files::day, 0}};
    auto refill = [&] {
        for (int fd : folders) {
            int file = openat(fd, "app.log", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            futimens(file, old);
            close(file);
        }
    };
    if (renameat2(AT_FDCWD, "root/sub0", AT_FDCWD, "root/lnk0", RENAME_EXCHANGE) != 0)
        GTEST_SKIP() << "this file system cannot exchange names";

    Names removed;
    int rounds = 0;
    StderrCapture err; // every refused link is reported there
    int i = 0;
    race(
        [&] {
            renameat2(AT_FDCWD, ("root/sub" + std::to_string(i)).c_str(), AT_FDCWD,
                      ("root/lnk" + std::to_string(i)).c_str(), RENAME_EXCHANGE);
            i = (i + 1) % pairs;
        },
        [&] {
            refill();
            execute_delete("root", "app", ".log", 1, 1, note_removal,
                           reinterpret_cast<intptr_t>(&removed));
            ++rounds;
        });
    err.text();
    for (int fd : folders)
        close(fd);
    for (int k = 0; k < files; ++k)
        EXPECT_TRUE(fs::exists("outside/app" + std::to_string(k) + ".log"))
            << "after " << rounds << " rounds";
    for (const std::string &path : removed)
        EXPECT_EQ(path.rfind("root/", 0), 0u) << path;
    EXPECT_FALSE(removed.empty());
}

} // namespace
