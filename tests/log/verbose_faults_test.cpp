// The log writer when its files cannot be written: the line goes to the
// fallback file, or is lost with -1, and the caller goes on.
#include "log/verbose.h"
#include "platform/platform.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::todays_log;

class VerboseFaults : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        verbose_limit_set(0);
    }

    void TearDown() override
    {
        verbose_limit_set(0);
        TempDirTest::TearDown();
    }
};

// Root writes through any permission bits, so unwritable places are made
// from entries of the wrong kind.
TEST_F(VerboseFaults, UnwritableFolderOrDayFileFallsBackWithTheNotice)
{
    const fs::path fallback = platform_fallback_log_path();
    const struct {
        const char *name;
        void (*prepare)(const fs::path &dir);
    } cases[] = {
        {"log is a file", [](const fs::path &) { testing_support::write_file("log", ""); }},
        {"day file is a folder",
         [](const fs::path &dir) { fs::create_directories(todays_log(dir)); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all("log");
        c.prepare(dir());
        const auto start = fs::exists(fallback) ? fs::file_size(fallback) : 0;
        const std::string line = std::string(c.name) + " in " + dir().string();
        EXPECT_GT(verbose(stdout, "%s\n", line.c_str()), 0);
        const std::string added = read_file(fallback).substr(start);
        const std::string notice = "Falha ao tentar abrir log em: '" + dir().string() + "'\n";
        EXPECT_NE(added.find(notice), std::string::npos) << added;
        EXPECT_NE(added.find(": " + line + "\n"), std::string::npos) << added;
    }
}

// The fallback file is made unwritable in a private mount of /tmp, in a
// child, so that no other process sees it; the test folder, hidden by that
// mount, stays reachable as the current directory.
TEST_F(VerboseFaults, NeitherFileWritableLosesTheLineAndTheCallerGoesOn)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 ||
            mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("none", "/tmp", "tmpfs", 0, nullptr) != 0)
            _exit(77);
        fs::create_directory(platform_fallback_log_path());
        int failures = 0;
        failures |= verbose(stdout, "lost\n") == -1 ? 0 : 1;
        failures |= verbose_limit_get() == 0 ? 0 : 2;
        fs::create_directory("log");
        failures |= verbose(stdout, "kept\n") > 0 ? 0 : 4;
        failures |= read_file(todays_log(".")).find(": kept\n") != std::string::npos ? 0 : 8;
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "no private mount namespace here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
