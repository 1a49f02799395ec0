// Fixtures and helpers shared by the test suites: a fresh working
// directory, file reading, standard-error capture and child processes.
#ifndef TESTS_SUPPORT_TEST_SUPPORT_H
#define TESTS_SUPPORT_TEST_SUPPORT_H

#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/file.h"

namespace testing_support {

// A descriptor of the platform layer (a node, a file), closed when it goes.
class Node {
public:
    explicit Node(int fd) : fd_(fd) {}
    ~Node() { platform_close(fd_); }
    Node(const Node &) = delete;
    Node &operator=(const Node &) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Runs each test in a new empty current directory, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    const std::filesystem::path &dir() const { return dir_; }

private:
    std::filesystem::path previous_;
    std::filesystem::path dir_;
};

// Sets TZ for the test's duration and restores the previous value.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char *zone);
    ~ScopedTimeZone();
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    bool had_;
    std::string previous_;
};

// The file as text: on Windows the CR LF of text files arrives as a line feed.
std::string read_file(const std::filesystem::path &path);
// The file's bytes as they are.
std::string read_bytes(const std::filesystem::path &path);
void write_file(const std::filesystem::path &path, const std::string &text);
std::vector<std::string> read_lines(const std::filesystem::path &path);
// Daily log path under dir: log/monitor_YYYYMMDD.log.
std::filesystem::path log_file(const std::filesystem::path &dir, int year, int month, int day);
// The log file of today in dir, by the local clock.
std::filesystem::path todays_log(const std::filesystem::path &dir);

// The release that the file VERSION describes (its version, revision and
// time lines), which the banner and the version text must show.
struct Release {
    std::string version;
    int revision = -1;
    long long time = -1; // seconds since 1970-01-01 UTC
};
Release read_release(const std::filesystem::path &path);
// time as "dd/mm/yyyy hh:mm" on a clock offset_hours east of UTC.
std::string clock_text(long long time, int offset_hours);

// Everything written to a standard stream (by stdio or straight to its
// descriptor) between construction and text().
class StreamCapture {
public:
    StreamCapture(FILE *stream, int fd);
    ~StreamCapture();
    StreamCapture(const StreamCapture &) = delete;
    StreamCapture &operator=(const StreamCapture &) = delete;
    std::string text();

private:
    FILE *stream_;
    int fd_;
    int saved_ = -1;
    std::string path_;
    bool done_ = false;
};

class StderrCapture : public StreamCapture {
public:
    StderrCapture() : StreamCapture(stderr, 2) {}
};

class StdoutCapture : public StreamCapture {
public:
    StdoutCapture() : StreamCapture(stdout, 1) {}
};

struct ChildResult {
    int status = -1;      // exit status, or -1 when killed by a signal
    std::string err_text; // everything written to standard error
    std::string out_text; // everything written to standard output
};

// Runs program with args in cwd and the extra environment entries
// ("NAME=value"), waits for it and returns its status and both outputs.
ChildResult run_child(const std::string &program, const std::vector<std::string> &args,
                      const std::filesystem::path &cwd, const std::vector<std::string> &env = {});

// A child left running, killed by its destructor; its standard error goes
// to err_path. On Windows, whose suites run under wine, it can be neither
// signalled nor watched, and must end by itself.
class Child {
public:
    Child(const std::string &program, const std::vector<std::string> &args,
          const std::filesystem::path &cwd, const std::vector<std::string> &env = {},
          const std::filesystem::path &err_path = "/dev/null");
    ~Child();
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    bool running();
    // Sends signal and waits for the child to end: its exit status, or 128
    // plus the signal that ended it.
    int stop(int signal);

private:
    pid_t pid_ = -1;
};

// A diagnostics sink (verbose_set_sink) that appends each message to the
// std::vector<std::string> data points to, as "component level text".
void record_diagnostic(int level, const char *component, const char *text, void *data);

// Polls until predicate holds or timeout passes; the predicate's last answer.
template <typename Predicate>
bool wait_until(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline)
            return predicate();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace testing_support

#endif
