#include "test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace testing_support {

namespace fs = std::filesystem;

void TempDirTest::SetUp()
{
    previous_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "vesk-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::current_path(dir_);
}

void set_time_zone(const char *zone)
{
    if (zone != nullptr)
        setenv("TZ", zone, 1);
    else
        unsetenv("TZ");
    tzset();
}

StreamCapture::StreamCapture(FILE *stream, int fd) : stream_(stream), fd_(fd)
{
    char pattern[] = "/tmp/vesk-capture-XXXXXX";
    int file = mkstemp(pattern);
    path_ = pattern;
    std::fflush(stream_);
    saved_ = dup(fd_);
    dup2(file, fd_);
    close(file);
}

namespace {

// Replaces the current process with program (never returns).
[[noreturn]] void exec_child(const std::string &program, const std::vector<std::string> &args,
                             const fs::path &cwd, const std::vector<std::string> &env)
{
    if (chdir(cwd.c_str()) != 0)
        _exit(127);
    for (const std::string &entry : env)
        putenv(const_cast<char *>(entry.c_str()));
    std::vector<char *> words;
    words.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &arg : args)
        words.push_back(const_cast<char *>(arg.c_str()));
    words.push_back(nullptr);
    execv(program.c_str(), words.data());
    _exit(127);
}

} // namespace

ChildResult run_child(const std::string &program, const std::vector<std::string> &args,
                      const fs::path &cwd, const std::vector<std::string> &env)
{
    ChildResult result;
    char err_pattern[] = "/tmp/vesk-child-XXXXXX";
    char out_pattern[] = "/tmp/vesk-child-XXXXXX";
    int err = mkstemp(err_pattern);
    int out = mkstemp(out_pattern);
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(err, STDERR_FILENO);
        dup2(out, STDOUT_FILENO);
        int null = open("/dev/null", O_RDONLY);
        dup2(null, STDIN_FILENO);
        exec_child(program, args, cwd, env);
    }
    close(err);
    close(out);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.err_text = read_file(err_pattern);
    result.out_text = read_file(out_pattern);
    std::remove(err_pattern);
    std::remove(out_pattern);
    return result;
}

Child::Child(const std::string &program, const std::vector<std::string> &args, const fs::path &cwd,
             const std::vector<std::string> &env, const fs::path &err_path)
{
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        int null = open("/dev/null", O_RDONLY);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(null, STDIN_FILENO);
        dup2(err, STDERR_FILENO);
        exec_child(program, args, cwd, env);
    }
}

Child::~Child()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool Child::running()
{
    return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0;
}

int Child::stop(int signal)
{
    if (pid_ <= 0)
        return -1;
    kill(pid_, signal);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace testing_support
