// The Windows half of test_support.h, on the C runtime's descriptors and
// process calls. A Child is only started: it ends by itself, and running()
// and stop() are not offered.
#include "test_support.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <random>

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// A name under the temporary folder that nothing uses yet.
fs::path unique_temp_path(const std::string &stem)
{
    static std::mt19937 random{std::random_device{}()};
    fs::path path;
    do {
        path = fs::temp_directory_path() / (stem + std::to_string(random()));
    } while (fs::exists(path));
    return path;
}

// The C runtime passes arguments on as one command line: quote each word.
std::string quoted(const std::string &word)
{
    return "\"" + word + "\"";
}

} // namespace

void TempDirTest::SetUp()
{
    previous_ = fs::current_path();
    dir_ = unique_temp_path("vesk-test-");
    ASSERT_TRUE(fs::create_directory(dir_));
    fs::current_path(dir_);
}

void set_time_zone(const char *zone)
{
    std::string value = zone != nullptr ? zone : ""; // empty: unset
    // The C runtime reads a zone name of exactly three letters: a quoted
    // name such as <-03> becomes XXX, the offset stays.
    if (value.rfind('<', 0) == 0 && value.find('>') != std::string::npos)
        value = "XXX" + value.substr(value.find('>') + 1);
    _putenv_s("TZ", value.c_str());
    _tzset();
}

StreamCapture::StreamCapture(FILE *stream, int fd) : stream_(stream), fd_(fd)
{
    path_ = unique_temp_path("vesk-capture-").string();
    int file =
        _open(path_.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::fflush(stream_);
    saved_ = _dup(fd_);
    _dup2(file, fd_);
    _close(file);
}

namespace {

// Runs program with args in cwd and the extra environment entries, with
// the given standard input, error and output (-1: the test's own); the C
// runtime's process handle.
intptr_t spawn(int mode, const std::string &program, const std::vector<std::string> &args,
               const fs::path &cwd, const std::vector<std::string> &env, int in, int err,
               int out = -1)
{
    std::vector<std::string> words{quoted(program)};
    for (const std::string &arg : args)
        words.push_back(quoted(arg));
    std::vector<const char *> argv;
    for (const std::string &word : words)
        argv.push_back(word.c_str());
    argv.push_back(nullptr);
    std::vector<const char *> envp;
    for (char **entry = _environ; *entry != nullptr; ++entry)
        envp.push_back(*entry);
    for (const std::string &entry : env)
        envp.push_back(entry.c_str());
    envp.push_back(nullptr);

    // The child inherits the working directory and the standard streams:
    // lend it ours for the call.
    std::fflush(nullptr);
    int saved_err = _dup(2);
    int saved_in = _dup(0);
    int saved_out = out >= 0 ? _dup(1) : -1;
    _dup2(err, 2);
    _dup2(in, 0);
    if (out >= 0)
        _dup2(out, 1);
    fs::path previous = fs::current_path();
    fs::current_path(cwd);
    intptr_t result = _spawnve(mode, program.c_str(), argv.data(), envp.data());
    fs::current_path(previous);
    _dup2(saved_err, 2);
    _dup2(saved_in, 0);
    _close(saved_err);
    _close(saved_in);
    if (saved_out >= 0) {
        _dup2(saved_out, 1);
        _close(saved_out);
    }
    return result;
}

int open_for_writing(const std::string &path)
{
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

} // namespace

ChildResult run_child(const std::string &program, const std::vector<std::string> &args,
                      const fs::path &cwd, const std::vector<std::string> &env)
{
    ChildResult result;
    std::string err_path = unique_temp_path("vesk-child-").string();
    std::string out_path = unique_temp_path("vesk-child-").string();
    int err = open_for_writing(err_path);
    int out = open_for_writing(out_path);
    int in = _open("NUL", _O_RDONLY);
    result.status = static_cast<int>(spawn(_P_WAIT, program, args, cwd, env, in, err, out));
    _close(err);
    _close(out);
    _close(in);
    result.err_text = read_file(err_path);
    result.out_text = read_file(out_path);
    std::remove(err_path.c_str());
    std::remove(out_path.c_str());
    return result;
}

Child::Child(const std::string &program, const std::vector<std::string> &args, const fs::path &cwd,
             const std::vector<std::string> &env, const fs::path &err_path)
{
    int err = open_for_writing(err_path.string());
    int in = _open("NUL", _O_RDONLY);
    pid_ = static_cast<pid_t>(spawn(_P_NOWAIT, program, args, cwd, env, in, err));
    _close(in);
    _close(err);
}

Child::~Child() = default;

} // namespace testing_support
