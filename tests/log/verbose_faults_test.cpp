// The log writer when its files are missing, of the wrong kind, or planted
// by another user: the line goes to the fallback file, or is lost with -1,
// and the caller goes on. Each case runs in a child with a /tmp of its own,
// so that the fallback file is the case's, as root and as nobody.
#include "log/detail/fallback.hpp"
#include "log/verbose.h"
#include "platform/platform.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::todays_log;
using testing_support::write_file;

constexpr uid_t nobody_id = 65534;
const fs::path fallback = ub::detail::fallback_path();

// What did not hold in a child, for it to report.
struct Failures {
    std::string text;
    void check(bool ok, const std::string &what)
    {
        if (!ok)
            text += what + "\n";
    }
};

bool write_text(const char *path, const std::string &text)
{
    int fd = open(path, O_WRONLY);
    if (fd < 0)
        return false;
    bool done = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return done;
}

// A mount namespace with an empty /tmp of its own. Without root, a user
// namespace (the user mapped to itself) gives the right to mount it.
bool private_tmp()
{
    if (unshare(CLONE_NEWNS) != 0) {
        std::string uid = std::to_string(geteuid());
        std::string gid = std::to_string(getegid());
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 ||
            !write_text("/proc/self/setgroups", "deny") ||
            !write_text("/proc/self/uid_map", uid + " " + uid + " 1") ||
            !write_text("/proc/self/gid_map", gid + " " + gid + " 1"))
            return false;
    }
    return mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("tmpfs", "/tmp", "tmpfs", 0, "mode=1777") == 0;
}

// Who runs a case's checks.
enum class As { self, nobody };

std::vector<As> runners()
{
    if (geteuid() == 0)
        return {As::self, As::nobody};
    return {As::self};
}

const char *name_of(As who)
{
    return who == As::self ? (geteuid() == 0 ? "as root" : "as this user") : "as nobody";
}

// Runs prepare and then body in a child with a private /tmp and umask 022;
// body as nobody when asked (the test folder given to it first, so that it
// stays a folder only the writer may write to). "" when
// body found nothing wrong; "skip: ..." when the child could not be set up.
std::string isolated(As who, const std::function<void()> &prepare,
                     const std::function<std::string()> &body)
{
    int report[2];
    if (pipe(report) != 0)
        return "no pipe";
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0)
        return "no fork";
    if (child == 0) {
        close(report[0]);
        alarm(10); // a writer that waits for a FIFO's reader ends here
        umask(022);
        std::string text;
        if (!private_tmp()) {
            text = "skip: no private mount namespace here";
        } else {
            // An exception must end the child here, not run the rest of the
            // suite in it.
            try {
                prepare();
                if (who == As::nobody &&
                    (chown(".", nobody_id, nobody_id) != 0 || setgroups(0, nullptr) != 0 ||
                     setgid(nobody_id) != 0 || setuid(nobody_id) != 0))
                    text = "skip: cannot become nobody";
                else
                    text = body();
            } catch (const std::exception &error) {
                text = std::string("exception: ") + error.what() + "\n";
            }
        }
        ssize_t sent = write(report[1], text.data(), text.size());
        _exit(sent == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(report[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = read(report[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status)) {
        text += "killed by signal " + std::to_string(WTERMSIG(status)) +
                (WTERMSIG(status) == SIGALRM ? ": an open waited\n" : "\n");
    }
    return text;
}

// Runs the case and reports what failed; false when it had to be skipped.
bool expect_isolated(As who, const std::function<void()> &prepare,
                     const std::function<std::string()> &body)
{
    std::string outcome = isolated(who, prepare, body);
    if (outcome.rfind("skip: ", 0) == 0) {
        std::printf("%s\n", outcome.c_str());
        return false;
    }
    EXPECT_EQ(outcome, "");
    return true;
}

// A file that belongs to another user than the one who runs the checks:
// made by root and given to nobody for root, left to root for nobody.
void plant_foreign_file(const fs::path &path, As who, mode_t mode)
{
    write_file(path, "");
    chmod(path.c_str(), mode);
    if (who == As::self && chown(path.c_str(), nobody_id, nobody_id) != 0)
        std::printf("cannot give %s away\n", path.c_str());
}

// Runs the case once for each user it can run as, in a test folder without
// log/; a case about another user's file needs root.
template <typename Run>
void for_each_runner(const char *name, bool foreign, Run run)
{
    for (As who : runners()) {
        SCOPED_TRACE(std::string(name) + " " + name_of(who));
        if (foreign && geteuid() != 0) {
            std::printf("skipped: %s needs root to give a file another owner\n", name);
            return;
        }
        fs::remove_all("log");
        if (chown(".", geteuid(), getegid()) != 0 || chmod(".", 0700) != 0)
            std::printf("cannot take the test folder back\n");
        run(who);
    }
}

class VerboseFaults : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        verbose_limit_set(0);
    }

    void TearDown() override
    {
        verbose_set_clock(nullptr);
        verbose_limit_set(0);
        TempDirTest::TearDown();
    }
};

// With no day's file to be had, a fallback file that is not a plain file of
// the writer's own, with one name, is refused: the line is lost with -1 at
// once, nothing reaches whatever was planted, and the next line lands in the
// day's file as soon as there is one.
TEST_F(VerboseFaults, FallbackThatIsNotPlainlyTheWritersOwnIsRefused)
{
    const fs::path other = "/tmp/other.txt";
    int reader = -1;
    const struct {
        const char *name;
        bool foreign; // a file of another user, planted before the checks
        std::function<void()> plant;
    } cases[] = {
        {"a FIFO without a reader", false, [&] { mkfifo(fallback.c_str(), 0666); }},
        {"a FIFO with a reader", false,
         [&] {
             mkfifo(fallback.c_str(), 0666);
             reader = open(fallback.c_str(), O_RDONLY | O_NONBLOCK);
         }},
        {"a file of another user", true, [] {}},
        {"a hard link to another file", false,
         [&] {
             write_file(other, "");
             fs::create_hard_link(other, fallback);
         }},
        {"a symbolic link", false,
         [&] {
             write_file(other, "");
             fs::create_symlink(other, fallback);
         }},
        {"a folder", false, [] { fs::create_directory(fallback); }},
    };
    for (const auto &c : cases) {
        for_each_runner(c.name, c.foreign, [&](As who) {
            auto prepare = [&] {
                if (c.foreign)
                    plant_foreign_file(fallback, who, 0666);
            };
            expect_isolated(who, prepare, [&] {
                Failures failures;
                c.plant();
                failures.check(verbose(stdout, "secret\n") == VERBOSE_ERR_OPEN, "not refused");
                failures.check(verbose_limit_get() == 0, "a lost line was charged");
                if (reader >= 0) {
                    char byte;
                    failures.check(read(reader, &byte, 1) <= 0, "the FIFO's reader got the line");
                }
                std::error_code error;
                for (const fs::path &path : {fallback, other}) {
                    if (fs::is_regular_file(path, error))
                        failures.check(fs::file_size(path) == 0, path.string() + " was written");
                }
                fs::create_directory("log");
                failures.check(verbose(stdout, "kept\n") > 0 &&
                                   read_file(todays_log(".")).find(": kept\n") != std::string::npos,
                               "the next line did not reach the day's file");
                return failures.text;
            });
        });
    }
}

// The day's file falls back only when it cannot be opened as a regular
// file; one that an operator hard-linked, or that belongs to another user
// the writer may write for, takes the line.
TEST_F(VerboseFaults, DayFileFallsBackOnlyWhenNotARegularFileItCanOpen)
{
    const struct {
        const char *name;
        bool foreign;
        bool to_fallback;
        std::function<void()> plant;
    } cases[] = {
        {"log is a file", false, true, [] { write_file("log", ""); }},
        {"day file is a folder", false, true, [] { fs::create_directories(todays_log(".")); }},
        {"day file is a FIFO without a reader", false, true,
         [] {
             fs::create_directory("log");
             mkfifo(todays_log(".").c_str(), 0666);
         }},
        {"day file is a link to a device", false, true,
         [] {
             fs::create_directory("log");
             fs::create_symlink("/dev/null", todays_log("."));
         }},
        {"day file of another user", true, false, [] {}},
        {"day file hard-linked by an operator", false, false,
         [] {
             fs::create_directory("log");
             write_file(todays_log("."), "");
             fs::create_hard_link(todays_log("."), "log/copy.log");
         }},
    };
    for (const auto &c : cases) {
        for_each_runner(c.name, c.foreign, [&](As who) {
            auto prepare = [&] {
                if (c.foreign) {
                    fs::create_directory("log");
                    // Root may write to nobody's file of mode 0600; nobody
                    // to root's only through its bits.
                    plant_foreign_file(todays_log("."), who, who == As::self ? 0600 : 0666);
                }
            };
            std::string line = std::string(c.name) + " in " + dir().string();
            expect_isolated(who, prepare, [&] {
                Failures failures;
                c.plant();
                failures.check(verbose(stdout, "%s\n", line.c_str()) > 0, "the line was lost");
                std::string moved = read_file(fallback);
                std::string notice = "Falha ao tentar abrir log em: '" + dir().string() + "'\n";
                bool in_fallback = moved.rfind(notice, 0) == 0 &&
                                   moved.find(": " + line + "\n") != std::string::npos;
                failures.check(in_fallback == c.to_fallback,
                               c.to_fallback ? "not in the fallback after its notice: " + moved
                                             : "sent to the fallback");
                if (!c.to_fallback) {
                    failures.check(read_file(todays_log(".")).find(line) != std::string::npos,
                                   "not in the day's file");
                }
                std::error_code error;
                if (fs::exists("log/copy.log", error))
                    failures.check(read_file("log/copy.log").find(line) != std::string::npos,
                                   "not under the operator's second name");
                return failures.text;
            });
        });
    }
}

// Where another user may write to log/, or may have replaced log in the
// working folder, the day's file is refused and the line goes to the
// fallback: nothing reaches a link, another user's file or a second name,
// and no file is made there that its owner's group could read. The
// operator's own log/ works as ever, links included.
TEST_F(VerboseFaults, DayFileWhereOthersMayWriteIsRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving log/ to another user needs root";
    // In the test folder (by a relative name: the child has a /tmp of its
    // own), for a hard link to reach it.
    const fs::path target = "target";
    const fs::path closed = "/tmp/closed";
    const fs::path elsewhere = "/tmp/elsewhere";
    auto day = [] { return todays_log("."); };
    auto folder = [](const fs::path &path, mode_t mode, uid_t owner, gid_t group) {
        fs::create_directory(path);
        if (chmod(path.c_str(), mode) != 0 || chown(path.c_str(), owner, group) != 0)
            std::printf("cannot set up %s\n", path.c_str());
    };
    // Access lists are set by the system's own tool, as an operator would.
    auto acl = [](const char *entry, const fs::path &path) {
        std::string command = std::string("setfacl -m ") + entry + " '" + path.string() + "'";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("setfacl failed: " + command);
    };
    auto planted_target = [&] {
        write_file(target, "");
        chmod(target.c_str(), 0600);
    };
    const struct {
        const char *name;
        std::function<void()> plant;
        std::function<fs::path()> lands; // where the line goes; "" for the fallback
        std::vector<fs::path> untouched; // missing or empty afterwards
    } cases[] = {
        {"a link as the day's file in a log/ of nobody's",
         [&] {
             folder("log", 0755, nobody_id, nobody_id);
             planted_target();
             fs::create_symlink(".." / target, day());
         },
         [] { return fs::path(); },
         {target}},
        {"a new file in a set-group-ID log/ of nobody's",
         [&] { folder("log", 02755, nobody_id, nobody_id); },
         [] { return fs::path(); },
         {day()}},
        {"a dangling link into a closed folder there",
         [&] {
             folder("log", 0755, nobody_id, nobody_id);
             folder(closed, 0700, 0, 0);
             fs::create_symlink(closed / "made", day());
         },
         [] { return fs::path(); },
         {closed / "made"}},
        {"a link in a log/ a group other than root's may write",
         [&] {
             folder("log", 0770, 0, nobody_id);
             planted_target();
             fs::create_symlink(".." / target, day());
         },
         [] { return fs::path(); },
         {target}},
        {"a second name in a log/ everyone may write",
         [&] {
             folder("log", 0777, 0, 0);
             planted_target();
             fs::create_hard_link(target, day());
         },
         [] { return fs::path(); },
         {target}},
        {"log replaced by a link in a working folder everyone may write",
         [&] {
             chmod(".", 0777);
             folder(elsewhere, 0755, 0, 0);
             fs::create_symlink(elsewhere, "log");
         },
         [] { return fs::path(); },
         {elsewhere / day().filename()}},
        {"a second name in a root's log/ of a working folder everyone may write",
         [&] {
             chmod(".", 0777);
             folder("log", 0755, 0, 0);
             planted_target();
             fs::create_hard_link(target, day());
         },
         [] { return fs::path(); },
         {target}},
        {"a link in a root's log/ whose access list lets nobody write",
         [&] {
             folder("log", 0755, 0, 0);
             acl("u:65534:rwx", "log");
             planted_target();
             fs::create_symlink(".." / target, day());
         },
         [] { return fs::path(); },
         {target}},
        {"log replaced by a link in a working folder whose access list lets nobody write",
         [&] {
             acl("u:65534:rwx", ".");
             folder(elsewhere, 0755, 0, 0);
             fs::create_symlink(elsewhere, "log");
         },
         [] { return fs::path(); },
         {elsewhere / day().filename()}},
        {"a log/ made by root under a default access list that grants nobody",
         [&] {
             acl("d:u:65534:rwx", ".");
             fs::create_directory("log");
             planted_target();
             fs::create_symlink(".." / target, day());
         },
         [] { return fs::path(); },
         {target}},
        {"the operator's log/ 0750 with a hard-linked day's file",
         [&] {
             folder("log", 0750, 0, 0);
             write_file(day(), "");
             fs::create_hard_link(day(), target);
         },
         [&] { return target; },
         {}},
        {"log a link to a folder of the operator's",
         [&] {
             folder(elsewhere, 0755, 0, 0);
             fs::create_symlink(elsewhere, "log");
         },
         [&] { return elsewhere / day().filename(); },
         {}},
        {"the writer's own log/ in a sticky working folder everyone may write",
         [&] {
             chmod(".", 01777);
             folder("log", 0755, 0, 0);
             write_file(day(), "");
             fs::create_hard_link(day(), target);
         },
         [&] { return target; },
         {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all("log");
        fs::remove(target);
        ASSERT_EQ(chmod(".", 0700), 0);
        ASSERT_EQ(std::system("setfacl -b . 2>/dev/null; true"), 0);
        if (std::strstr(c.name, "access list") != nullptr &&
            std::system("command -v setfacl >/dev/null") != 0) {
            std::printf("skipped: %s needs setfacl (package acl)\n", c.name);
            continue;
        }
        std::string line = std::string(c.name) + " in " + dir().string();
        expect_isolated(
            As::self, [] {},
            [&] {
                Failures failures;
                c.plant();
                failures.check(verbose(stdout, "%s\n", line.c_str()) > 0, "the line was lost");
                fs::path lands = c.lands();
                std::string notice = "Falha ao tentar abrir log em: '" + dir().string() + "'\n";
                std::string moved = read_file(fallback);
                bool in_fallback =
                    moved.rfind(notice, 0) == 0 && moved.find(line) != std::string::npos;
                failures.check(in_fallback == lands.empty(),
                               lands.empty() ? "not in the fallback" : "sent to the fallback");
                if (!lands.empty())
                    failures.check(read_file(lands).find(line) != std::string::npos,
                                   "not in " + lands.string());
                std::error_code error;
                for (const fs::path &path : c.untouched) {
                    bool empty = !fs::exists(path, error) ||
                                 (fs::is_regular_file(path, error) && fs::file_size(path) == 0);
                    failures.check(empty, path.string() + " was reached");
                }
                return failures.text;
            });
    }
}

TEST_F(VerboseFaults, MissingLogDirectoryFallsBackWithANoticePerLine)
{
    expect_isolated(
        As::self, [] {},
        [&] {
            Failures failures;
            failures.check(verbose(stdout, "one\n") > 0 && verbose(stdout, "two\n") > 0,
                           "a line was lost");
            std::string text = read_file(fallback);
            std::string notice = "Falha ao tentar abrir log em: '" + dir().string() + "'\n";
            size_t one = text.find(notice);
            size_t two = text.find(notice, one + notice.size());
            failures.check(one == 0 && text.find(": one\n", one) + 6 == two &&
                               text.find(": two\n", two) + 6 == text.size(),
                           "not a notice before each line: " + text);
            // The notices are not counted.
            failures.check(verbose_limit_get() ==
                               static_cast<int32_t>(text.size() - 2 * notice.size()),
                           "notices charged");
            // The working folder's name in the notice is data too.
            failures.check(mkdir("x\nforjada", 0700) == 0 && chdir("x\nforjada") == 0, "no folder");
            verbose(stdout, "three\n");
            failures.check(chdir("..") == 0, "no way back");
            text = read_file(fallback);
            failures.check(text.find("/x\\nforjada'\n") != std::string::npos &&
                               text.find("\nforjada") == std::string::npos,
                           "folder name not escaped: " + text);
            return failures.text;
        });
}

// A write that fails for a full disk (the file-size limit stands in for
// one) loses its line and charges nothing; a line cut short is ended before
// the next text, in the day's file and the fallback alike.
TEST_F(VerboseFaults, FailedWriteLosesTheLineButNeverMovesOrTearsIt)
{
    expect_isolated(
        As::self, [] {},
        [&] {
            Failures failures;
            setenv("TZ", "UTC", 1);
            tzset();
            verbose_set_clock([]() -> time_t { return 1796581205; }); // 2026-12-06 18:20:05
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit saved {};
            getrlimit(RLIMIT_FSIZE, &saved);
            auto limited = [&](rlim_t size, const char *text) {
                struct rlimit limit = saved;
                limit.rlim_cur = size;
                setrlimit(RLIMIT_FSIZE, &limit);
                int result = verbose(stdout, "%s\n", text);
                setrlimit(RLIMIT_FSIZE, &saved);
                return result;
            };
            fs::create_directory("log");
            const fs::path today = "log/monitor_20261206.log";
            write_file(today, "");
            failures.check(limited(0, "lost") == VERBOSE_ERR_WRITE, "a lost line not reported");
            failures.check(verbose_limit_get() == 0, "a lost line was charged");
            failures.check(!fs::exists(fallback), "a lost line went to the fallback");
            verbose(stdout, "kept\n");
            failures.check(limited(fs::file_size(today) + 10, "cut short") == VERBOSE_ERR_WRITE,
                           "a cut line not reported");
            verbose(stdout, "whole\n");
            failures.check(read_file(today) == "06/12/2026 18:20:05: kept\n"
                                               "06/12/2026\n"
                                               "06/12/2026 18:20:05: whole\n",
                           "day's file: " + read_file(today));
            failures.check(verbose_limit_get() == 26 + 27, "cut or lost lines were charged");

            fs::remove_all("log");
            std::string notice = "Falha ao tentar abrir log em: '" + dir().string() + "'\n";
            failures.check(limited(notice.size() + 10, "cut short") == VERBOSE_ERR_WRITE,
                           "a cut fallback line not reported");
            verbose(stdout, "whole\n");
            failures.check(read_file(fallback) ==
                               notice + "06/12/2026\n" + notice + "06/12/2026 18:20:05: whole\n",
                           "fallback: " + read_file(fallback));
            return failures.text;
        });
}

TEST_F(VerboseFaults, CreatedFilesAreForTheOwnerAndTheGroupOnly)
{
    expect_isolated(
        As::self, [] {},
        [] {
            Failures failures;
            auto check_mode = [&](const fs::path &path) {
                struct stat info {};
                unsigned mode = stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
                char text[64];
                std::snprintf(text, sizeof text, "mode %04o", mode);
                failures.check(mode == 0640, path.string() + ": " + text);
            };
            fs::create_directory("log");
            verbose(stdout, "day\n");
            check_mode(todays_log("."));
            fs::remove_all("log");
            verbose(stdout, "fallback\n");
            check_mode(fallback);
            return failures.text;
        });
}

// ---- The budget, across processes and where standard error is the journal.

constexpr int64_t budget = VERBOSE_BUDGET;

// The writer's clock in these cases.
std::atomic<time_t> noon{0};

time_t noon_clock()
{
    return noon.load();
}

// The cases on the budget, each on a day of its own (at noon UTC): a
// process tells of a day's spent budget once, and children inherit what it
// knows.
class VerboseProcesses : public VerboseFaults {
protected:
    void SetUp() override
    {
        VerboseFaults::SetUp();
        fs::create_directory("log");
        verbose_set_clock(noon_clock);
    }

    void TearDown() override
    {
        // A line on a later day takes the count of the case's drops along,
        // so that the next case starts without one.
        noon = noon + 30 * 86400;
        verbose(stdout, "fim\n");
        VerboseFaults::TearDown();
    }

    testing_support::ScopedTimeZone utc_{"UTC"};
};

// Runs body in a child process with standard error discarded, and waits.
void in_child(const std::function<void()> &body)
{
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        body();
        _exit(0);
    }
    int status = 0;
    ASSERT_GT(child, 0);
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Makes log/name hold held bytes (sparse); its path.
fs::path filled(const char *name, int64_t held)
{
    fs::path file = fs::path("log") / name;
    write_file(file, "");
    fs::resize_file(file, static_cast<uintmax_t>(held));
    return file;
}

// A process that finds the marker at the end of the day's file writes none,
// but still tells its own standard error.
TEST_F(VerboseProcesses, AnotherProcessesMarkerIsNotRepeated)
{
    noon = 1812196800; // 2027-06-05
    fs::path file = filled("monitor_20270605.log", budget);
    in_child([] { verbose(stdout, "child\n"); });
    testing_support::StderrCapture err;
    EXPECT_EQ(verbose(stdout, "parent\n"), 0);
    EXPECT_EQ(verbose(stdout, "parent again\n"), 0);
    EXPECT_EQ(read_file(file).substr(budget),
              "05/06/2027 12:00:00: Limite diario do log atingido (10485760 bytes): linhas "
              "descartadas ate 06/06/2027 00:00:00.\n");
    EXPECT_EQ(verbose_budget_spent_day(), 20270605);
    EXPECT_EQ(err.text(),
              "vesk: limite diario do log atingido (10485760 bytes) em "
              "log/monitor_20270605.log; linhas descartadas ate 06/06/2027 00:00:00.\n");
}

// Short-lived processes that each log past the budget, one after another
// (a crash loop), leave the day's file at its crossing line and one marker.
TEST_F(VerboseProcesses, ACrashLoopStaysWithinTheDaysBudget)
{
    noon = 1814788800; // 2027-07-05
    const int64_t held = budget - 100500;
    fs::path file = filled("monitor_20270705.log", held);
    for (int run = 0; run < 6; ++run) {
        in_child([] {
            // Lines of 1000 bytes: 101 of them reach past the budget.
            for (int n = 0; n < 200; ++n)
                verbose(stdout, "%0978d\n", n);
        });
    }
    const std::string marker =
        "05/07/2027 12:00:00: Limite diario do log atingido (10485760 bytes): "
        "linhas descartadas ate 06/07/2027 00:00:00.\n";
    EXPECT_EQ(fs::file_size(file), static_cast<uintmax_t>(budget + 500) + marker.size());
    std::vector<std::string> lines = testing_support::read_lines(file);
    ASSERT_EQ(lines.size(), 102u);
    EXPECT_EQ(lines[101] + "\n", marker);
}

// Where standard error is the journal, the budget's line carries the
// warning priority, and verbose_console marks its line and the empty lines
// that end its text; a line feed inside it is escaped, so a quoted name can
// never set a priority of its own.
TEST_F(VerboseProcesses, StandardErrorLinesCarryTheirPriorityForTheJournal)
{
    noon = 1817467200; // 2027-08-05
    filled("monitor_20270805.log", budget);
    const char *was = std::getenv("JOURNAL_STREAM");
    std::string previous = was != nullptr ? was : "";
    testing_support::StderrCapture err;
    struct stat info {};
    fstat(STDERR_FILENO, &info);
    std::string stream = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    setenv("JOURNAL_STREAM", stream.c_str(), 1);
    verbose(stdout, "dropped\n");
    verbose(stdout, "dropped again\n");
    verbose_console(VERBOSE_ERROR, "a '%s'\n", "b\n<0>c");
    verbose_console(VERBOSE_DEBUG, "d\n\n");
    unsetenv("JOURNAL_STREAM");
    verbose_console(VERBOSE_ERROR, "e\nf\n");
    if (!previous.empty())
        setenv("JOURNAL_STREAM", previous.c_str(), 1);
    EXPECT_EQ(err.text(), "<4>vesk: limite diario do log atingido (10485760 bytes) em "
                          "log/monitor_20270805.log; linhas descartadas ate 06/08/2027 00:00:00.\n"
                          "<3>a 'b\\n<0>c'\n<7>d\n<7>\ne\\nf\n");
}

// The fallback file never rotates: a line beyond the room is replaced by a
// short line, and past the budget lines are dropped with one marker.
TEST_F(VerboseFaults, FallbackFileKeepsToTheBudget)
{
    expect_isolated(
        As::self, [] {},
        [&] {
            Failures failures;
            setenv("TZ", "UTC", 1);
            tzset();
            noon = 1820145600; // 2027-09-05
            verbose_set_clock(noon_clock);
            write_file(fallback, "");
            fs::resize_file(fallback, budget - 50);
            std::string err_text;
            {
                testing_support::StderrCapture err;
                std::string huge(VERBOSE_BUDGET_ROOM, 'h');
                failures.check(verbose(stdout, "%s\n", huge.c_str()) == 0,
                               "a huge line was written");
                failures.check(verbose(stdout, "dropped\n") == 0 &&
                                   verbose(stdout, "dropped too\n") == 0,
                               "a line past the budget was written");
                err_text = err.text();
            }
            std::string notice = "Falha ao tentar abrir log em: '" + dir().string() + "'\n";
            std::string added = read_file(fallback).substr(budget - 50);
            failures.check(
                added == notice +
                             "05/09/2027 12:00:00: Linha de 262166 bytes descartada: passaria "
                             "do limite do arquivo de log (10485760 bytes).\n"
                             "05/09/2027 12:00:00: Limite do arquivo de log atingido (10485760 "
                             "bytes): linhas descartadas.\n",
                "fallback: " + added);
            failures.check(err_text ==
                               "vesk: limite do arquivo de log atingido (10485760 bytes) em "
                               "/tmp/ubrontex.log; linhas descartadas.\n",
                           "standard error: " + err_text);
            return failures.text;
        });
}

// Another user who keeps swapping log in a sticky working folder between a
// folder of their own and a link to a root-only folder, while the writer
// writes: no line ever reaches either, whatever the timing.
TEST_F(VerboseFaults, ASwappingUserNeverGetsTheLines)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "another user needs root to be had";
    expect_isolated(
        As::self, [] {},
        [] {
            Failures failures;
            chmod(".", 01777);
            fs::create_directory("secret");
            chmod("secret", 0700);
            pid_t swapper = fork();
            if (swapper == 0) {
                if (setgid(4242) != 0 || setuid(4242) != 0)
                    _exit(1);
                for (;;) {
                    if (mkdir("log", 0755) == 0)
                        rmdir("log");
                    if (symlink("secret", "log") == 0)
                        unlink("log");
                }
            }
            for (int n = 0; n < 3000; ++n)
                verbose(stdout, "line %d\n", n);
            kill(swapper, SIGKILL);
            waitpid(swapper, nullptr, 0);
            failures.check(fs::is_empty("secret"), "a line reached the root-only folder");
            std::error_code error;
            failures.check(!fs::is_directory("log", error) || fs::is_symlink("log", error) ||
                               fs::is_empty("log"),
                           "a line reached the other user's folder");
            failures.check(read_file(fallback).find("line 2999") != std::string::npos,
                           "the lines did not reach the fallback");
            return failures.text;
        });
}

} // namespace
