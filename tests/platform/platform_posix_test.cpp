// The system layer's POSIX-only parts: the service manager's notify
// socket, the journal behind standard error, and access as another user.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Sets an environment variable for one test, restoring it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : name_(name)
    {
        const char *old = std::getenv(name);
        had_ = old != nullptr;
        if (had_)
            old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *name_;
    bool had_ = false;
    std::string old_;
};

// A datagram socket bound where a service manager would listen: at a path,
// or at "@name" in the abstract namespace.
int listener(const std::string &where)
{
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, where.data(), where.size());
    if (where[0] == '@')
        address.sun_path[0] = '\0';
    auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + where.size());
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), size) != 0)
        ADD_FAILURE() << "cannot listen at " << where;
    return fd;
}

std::string received(int fd)
{
    char buffer[256];
    ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
}

using PlatformNotify = testing_support::TempDirTest;

TEST_F(PlatformNotify, StatesReachTheSocketThatNotifySocketNames)
{
    for (const std::string &where :
         {(dir() / "notify").string(), "@vesk-notify-" + std::to_string(getpid())}) {
        SCOPED_TRACE(where);
        int fd = listener(where);
        ScopedEnv socket_name("NOTIFY_SOCKET", where.c_str());
        EXPECT_EQ(platform_notify_manager("READY=1\nSTATUS=Servidor em execucao"), 0);
        EXPECT_EQ(received(fd), "READY=1\nSTATUS=Servidor em execucao");
        close(fd);
    }
    {
        ScopedEnv unset("NOTIFY_SOCKET", nullptr);
        EXPECT_EQ(platform_notify_manager("READY=1"), 1);
    }
    for (const char *bad : {"relative/path", "/no/such/socket"}) {
        ScopedEnv socket_name("NOTIFY_SOCKET", bad);
        EXPECT_EQ(platform_notify_manager("READY=1"), -1) << bad;
    }
    ScopedEnv empty("NOTIFY_SOCKET", "");
    EXPECT_EQ(platform_notify_manager("READY=1"), 1);
}

TEST_F(PlatformNotify, StandardErrorIsTheJournalOnlyWhenJournalStreamNamesIt)
{
    int saved = dup(STDERR_FILENO);
    int file = open("stream", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    ASSERT_EQ(dup2(file, STDERR_FILENO), STDERR_FILENO);
    struct stat info {};
    fstat(STDERR_FILENO, &info);
    std::string same = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    std::string other = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino + 1);
    int named = 0;
    int elsewhere = 0;
    int unset = 0;
    {
        ScopedEnv stream("JOURNAL_STREAM", same.c_str());
        named = platform_stderr_is_journal();
    }
    {
        ScopedEnv stream("JOURNAL_STREAM", other.c_str());
        elsewhere = platform_stderr_is_journal();
    }
    {
        ScopedEnv stream("JOURNAL_STREAM", nullptr);
        unset = platform_stderr_is_journal();
    }
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(file);
    EXPECT_EQ(named, 1);
    EXPECT_EQ(elsewhere, 0);
    EXPECT_EQ(unset, 0);
}

using PlatformAccess = testing_support::TempDirTest;

// Root reads everything: as root the cases are judged as nobody. The files
// deny their owner too, so that another user finds the same.
TEST_F(PlatformAccess, UnreadableFilesAndFoldersAreToldFromMissingOnes)
{
    testing_support::write_file("secret.jar", "x");
    std::filesystem::create_directory("closed");
    testing_support::write_file("open.jar", "x");
    ASSERT_EQ(chmod("secret.jar", 0200), 0);
    ASSERT_EQ(chmod("closed", 0200), 0);
    ASSERT_EQ(chmod(dir().c_str(), 0755), 0);
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        constexpr uid_t nobody = 65534;
        if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0))
            _exit(10);
        if (geteuid() == 0)
            _exit(11);
        // The owner may list what it may not read: nothing else differs.
        int code = 0;
        code |= platform_path_access("secret.jar") == PLATFORM_PATH_UNREADABLE ? 0 : 1;
        code |= platform_path_access("closed") == PLATFORM_PATH_UNREADABLE ? 0 : 2;
        code |= platform_path_access("closed/inside.jar") == PLATFORM_PATH_UNREADABLE ? 0 : 4;
        code |= platform_path_access("open.jar") == PLATFORM_PATH_READABLE ? 0 : 8;
        code |= platform_path_access("gone.jar") == PLATFORM_PATH_MISSING ? 0 : 16;
        _exit(code);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10 || WEXITSTATUS(status) == 11)
        GTEST_SKIP() << "cannot run as another user here";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bits of the cases that failed";
}

} // namespace
