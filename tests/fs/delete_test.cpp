#include "fs/delete.h"

#if !defined(_WIN32)
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fs_files.h"
#include "log/verbose.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using testing_support::StderrCapture;
using testing_support::TempDirTest;

constexpr int64_t day = fs_files::day;

// Paths joined with the system's separator, written with '/' for comparison.
std::string with_slashes(std::string text)
{
    std::replace(text.begin(), text.end(), PLATFORM_PATH_SEP, '/');
    return text;
}

int note_removal(const char *dir, const char *name, intptr_t removed)
{
    reinterpret_cast<Names *>(removed)->push_back(with_slashes(std::string(dir) + "|" + name));
    return 0;
}

Names remaining(const fs::path &dir)
{
    Names names;
    for (const auto &entry : fs::recursive_directory_iterator(dir))
        names.push_back(entry.path().lexically_relative(dir).generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

Names log_lines(const fs::path &dir)
{
    Names lines;
    fs::path log = testing_support::todays_log(dir);
    if (!fs::exists(log))
        return lines;
    for (std::string line : testing_support::read_lines(log))
        lines.push_back(with_slashes(line.substr(line.find(": ") + 2))); // drop the time prefix
    return lines;
}

class Delete : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
        fs::create_directory("files");
    }
};

TEST_F(Delete, RemovesOldFilesWhoseNamesMatch)
{
    struct Row {
        const char *prefix, *suffix;
        int32_t days;
        Names files; // created 10 days old
        Names kept;
    };
    const Row rows[] = {
        {"app",
         ".log",
         7,
         {"app_1.log", "app.log", "app.log.1", "xapp.log"},
         {"app.log.1", "xapp.log"}},
        {"\\d\\d\\.tmp", "", 0, {"a12.tmp", "99.tmp", "1.tmp", "12tmp"}, {"1.tmp", "12tmp"}},
        {"a", "", 11, {"a1", "a2"}, {"a1", "a2"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.prefix << " " << row.suffix);
        fs::remove_all("files");
        for (const std::string &name : row.files)
            fs_files::make("files/" + name, 1, 10 * day);
        Names removed;
        int expected = static_cast<int>(row.files.size() - row.kept.size());
        EXPECT_EQ(execute_delete("files", row.prefix, row.suffix, row.days, 0, note_removal,
                                 reinterpret_cast<intptr_t>(&removed)),
                  expected);
        EXPECT_EQ(removed.size(), static_cast<size_t>(expected));
        EXPECT_EQ(remaining("files"), row.kept);
    }
}

TEST_F(Delete, AgeCountsWholeDays)
{
    fs_files::make("files/f_almost7", 1, 7 * day - 3600);
    fs_files::make("files/f_7", 1, 7 * day + 60);
    fs_files::make("files/f_future_hour", 1, -3600);
    fs_files::make("files/f_future_day", 1, -day - 60);
    EXPECT_EQ(execute_delete("files", "f_", "", 7, 0, nullptr, 0), 1);
    EXPECT_EQ(remaining("files"), (Names{"f_almost7", "f_future_day", "f_future_hour"}));
    EXPECT_EQ(execute_delete("files", "f_", "", 0, 0, nullptr, 0), 2);
    EXPECT_EQ(remaining("files"), (Names{"f_future_day"}));
}

TEST_F(Delete, RefusesAnEmptyNameAndAMissingDirectory)
{
    fs_files::make("files/a", 1, 10 * day);
    StderrCapture err;
    EXPECT_EQ(execute_delete("files", "", "", 0, 1, nullptr, 0), DELETE_NO_NAME);
    EXPECT_EQ(execute_delete_test("files", nullptr, "", 0, 1, nullptr, 0), DELETE_NO_NAME);
    EXPECT_EQ(execute_delete("missing", "a", "", 0, 0, nullptr, 0), DELETE_NO_DIR);
    EXPECT_EQ(execute_delete_test("", "", ".json", 0, 1, nullptr, 0), DELETE_NO_DIR);
    EXPECT_EQ(execute_delete_in(nullptr, nullptr), DELETE_NO_NAME);
    EXPECT_EQ(err.text(), "|DELETE| E necessario definir o prefixo e/ou sufixo.\n"
                          "|DELETE| E necessario definir o prefixo e/ou sufixo.\n"
                          "|FILESYSTEM| Falha ao tentar abrir diretorio: 'missing'.\n"
                          "|DELETE| Diretorio nao encontrado: 'missing'.\n"
                          "|FILESYSTEM| Falha ao tentar abrir diretorio: ''.\n"
                          "|DELETE| Diretorio nao encontrado: ''.\n");
    EXPECT_EQ(remaining("files"), (Names{"a"}));
}

// Each diagnostic a sink receives, as "component level text".
void record(int level, const char *component, const char *text, void *data)
{
    static_cast<Names *>(data)->push_back(std::string(component) + " " + std::to_string(level) +
                                          " " + with_slashes(text));
}

// With a sink set, the folder errors meant for standard error and the
// report meant for the log reach it alone; without one, they are back.
TEST_F(Delete, DiagnosticSinkTakesFolderErrorsAndTheRunsReport)
{
    fs_files::make("files/t1", 1, 2 * day);
    Names got;
    {
        StderrCapture err;
        verbose_set_sink(record, &got);
        EXPECT_EQ(execute_delete("missing", "a", "", 0, 0, nullptr, 0), DELETE_NO_DIR);
        EXPECT_EQ(execute_delete_test("files", "t", "", 1, 0, nullptr, 0), 1);
        verbose_set_sink(nullptr, nullptr);
        EXPECT_EQ(err.text(), "");
    }
    EXPECT_EQ(got, (Names{"FILESYSTEM 2 |FILESYSTEM| Falha ao tentar abrir diretorio: 'missing'.\n",
                          "DELETE 2 |DELETE| Diretorio nao encontrado: 'missing'.\n",
                          "DELETE 4 'files/t1' a ser removido (test).\n"}));
    EXPECT_TRUE(fs::is_empty("log"));

    StderrCapture err;
    EXPECT_EQ(execute_delete("missing", "a", "", 0, 0, nullptr, 0), DELETE_NO_DIR);
    EXPECT_EQ(execute_delete_test("files", "t", "", 1, 0, nullptr, 0), 1);
    EXPECT_EQ(err.text(), "|FILESYSTEM| Falha ao tentar abrir diretorio: 'missing'.\n"
                          "|DELETE| Diretorio nao encontrado: 'missing'.\n");
    EXPECT_EQ(log_lines(dir()), (Names{"'files/t1' a ser removido (test)."}));
    EXPECT_EQ(got.size(), 3u);
}

TEST_F(Delete, ATestRunReportsButDeletesNothing)
{
    for (const char *name : {"t1", "t2", "sub/t3"})
        fs_files::make(fs::path("files") / name, 1, 2 * day);
    Names removed;
    EXPECT_EQ(execute_delete_test("files", "t", "", 1, 1, note_removal,
                                  reinterpret_cast<intptr_t>(&removed)),
              3);
    EXPECT_EQ(removed.size(), 3u);
    EXPECT_EQ(remaining("files"), (Names{"sub", "sub/t3", "t1", "t2"}));
    Names lines = log_lines(dir());
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines,
              (Names{"'files/sub/t3' a ser removido (test).", "'files/t1' a ser removido (test).",
                     "'files/t2' a ser removido (test)."}));
}

TEST_F(Delete, RecursionStaysInsideTheTreeAndCountsAcrossDirectories)
{
    fs::create_directories("outside/dir");
    fs_files::make("outside/dir/old.log", 1, 30 * day);
    fs_files::make("outside/old.log", 1, 30 * day);
    fs_files::make("files/a.log", 1, 30 * day);
    fs_files::make("files/keep/b.log", 1, 30 * day);
    fs_files::make("files/keep/c.log", 1, 30 * day);
    fs_files::make("files/keep/new.log", 1, 0);
    std::error_code refused;
    fs::create_directory_symlink(dir() / "outside/dir", "files/keep/dirlink", refused);
    if (refused)
        GTEST_SKIP() << "this system makes no symbolic links: " << refused.message();
    // A link is judged, and removed, as itself; its target is never touched.
    fs::create_symlink(dir() / "outside/old.log", "files/filelink.log");
    fs_files::set_mtime("files/filelink.log", std::time(nullptr) - 30 * day);

    Names removed;
    delete_request *request = delete_new("files", "", ".log", 1, 1, note_removal,
                                         reinterpret_cast<intptr_t>(&removed), 0);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(delete_perform(request, "files"), 4);
    EXPECT_EQ(remaining("files"), (Names{"keep", "keep/dirlink", "keep/new.log"}));
    EXPECT_EQ(remaining("outside"), (Names{"dir", "dir/old.log", "old.log"}));
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed,
              (Names{"files/keep|b.log", "files/keep|c.log", "files|a.log", "files|filelink.log"}));

    fs_files::make("more/d.log", 1, 30 * day);
    EXPECT_EQ(delete_perform(request, "more"), 5); // the count adds up over runs
    delete_free(request);
}

TEST_F(Delete, AnEntryThatCannotBeRemovedIsLoggedAndNotCounted)
{
    fs::create_directory("files/x_dir");
    fs_files::set_mtime("files/x_dir", std::time(nullptr) - 2 * day);
    fs_files::make("files/x_file", 1, 2 * day);
    EXPECT_EQ(execute_delete("files", "x_", "", 1, 0, nullptr, 0), 1);
    EXPECT_EQ(remaining("files"), (Names{"x_dir"}));
    EXPECT_EQ(log_lines(dir()), (Names{"Falha ao tentar remover 'files/x_dir'"}));
}

#if !defined(_WIN32)
// Runs run() as the user nobody when the suite runs as root, which may read
// and delete anything, after handing the test folder to nobody; otherwise in
// this process. run()'s result, between -128 and 127.
int as_unprivileged(const fs::path &dir, int (*run)())
{
    if (geteuid() != 0)
        return run();
    const passwd *nobody = getpwnam("nobody");
    uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
    gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
    for (const auto &entry : fs::recursive_directory_iterator(dir))
        EXPECT_EQ(lchown(entry.path().c_str(), uid, gid), 0) << entry.path();
    EXPECT_EQ(lchown(dir.c_str(), uid, gid), 0);
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            _exit(100);
        int result = run();
        std::fflush(nullptr);
        _exit(result & 0xff);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << status;
    return static_cast<signed char>(WEXITSTATUS(status));
}

#endif

TEST_F(Delete, AFileInAReadOnlyDirectoryIsLoggedAndNotCounted)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows deletes files from a read-only directory";
#else
    fs_files::make("files/locked", 1, 2 * day);
    fs::permissions("files", fs::perms::owner_read | fs::perms::owner_exec);
    int count = as_unprivileged(
        dir(), [] { return execute_delete("files", "locked", "", 1, 0, nullptr, 0); });
    fs::permissions("files", fs::perms::owner_all);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(log_lines(dir()), (Names{"Falha ao tentar remover 'files/locked'"}));
#endif
}

TEST_F(Delete, EntriesOfAFolderThatCannotBeSearchedAreReportedNeverJudged)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows folders have no search permission apart from reading";
#else
    // Readable but not searchable: names can be listed, their status not read.
    fs_files::make("files/ro/app_new.log", 1, 0);
    fs_files::make("files/ro/app_old.log", 1, 30 * day);
    fs_files::make("files/ro/sub/app_deep.log", 1, 30 * day);
    fs_files::make("files/app_top.log", 1, 30 * day);
    fs::permissions("files/ro",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    StderrCapture err;
    int reported = as_unprivileged(
        dir(), [] { return execute_delete_test("files", "app_", ".log", 7, 1, nullptr, 0); });
    int removed = as_unprivileged(
        dir(), [] { return execute_delete("files", "app_", ".log", 7, 1, nullptr, 0); });
    fs::permissions("files/ro", fs::perms::owner_all);
    EXPECT_EQ(reported, 1);
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(remaining("files"),
              (Names{"ro", "ro/app_new.log", "ro/app_old.log", "ro/sub", "ro/sub/app_deep.log"}));
    Names lines = log_lines(dir());
    std::sort(lines.begin(), lines.end());
    const Names unreadable = {"Falha ao tentar ler 'files/ro/app_new.log'",
                              "Falha ao tentar ler 'files/ro/app_old.log'",
                              "Falha ao tentar ler 'files/ro/sub'"};
    Names expected = {"'files/app_top.log' a ser removido (test)."};
    for (int run = 0; run < 2; ++run)
        expected.insert(expected.end(), unreadable.begin(), unreadable.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
#endif
}

TEST_F(Delete, NewestAndOldestOfTheMatchingFiles)
{
    for (auto [name, time] :
         {std::pair{"app1.log", 1000}, {"app2.log", 5000}, {"other.log", 9000}}) {
        fs_files::make(fs::path("files") / name);
        fs_files::set_mtime(fs::path("files") / name, time);
    }
    fs::create_directory("files/app3.log");
    int32_t newest = -1;
    int32_t oldest = -1;
    EXPECT_EQ(delete_get_new_old("files", "app", ".log", &newest, &oldest), 0);
    EXPECT_EQ(newest, 5000);
    EXPECT_EQ(oldest, 1000);

    auto before = static_cast<int32_t>(std::time(nullptr));
    EXPECT_EQ(delete_get_new_old("files", "none", "", &newest, &oldest), 0);
    EXPECT_EQ(newest, 0);
    EXPECT_GE(oldest, before);
    StderrCapture err;
    EXPECT_EQ(delete_get_new_old("missing", "", "", &newest, &oldest), 1);
    EXPECT_EQ(err.text(), "|DELETE| Diretorio nao encontrado: 'missing'.\n");
}

} // namespace

namespace {

// Removes every entry of files/ but the directory the callback reports from
// (a concurrent cleaner); only on its first call.
int remove_the_others(const char *dir, const char *, intptr_t called)
{
    if ((*reinterpret_cast<int *>(called))++ > 0)
        return 0;
    for (const auto &entry : fs::directory_iterator("files"))
        if (!fs::equivalent(entry.path(), dir))
            fs::remove_all(entry.path());
    return 0;
}

TEST_F(Delete, EntriesThatVanishMidWalkAreReportedNotCounted)
{
    // Files listed, then removed by someone else before their turn: their
    // status can no longer be read, which is logged; they are not counted.
    for (int i = 0; i < 6; ++i)
        fs_files::make("files/old" + std::to_string(i), 1, 10 * day);
    int called = 0;
    EXPECT_EQ(execute_delete("files", "old", "", 1, 0, remove_the_others,
                             reinterpret_cast<intptr_t>(&called)),
              1);
    Names failures = log_lines(dir());
    EXPECT_EQ(failures.size(), 5u);
    for (const std::string &line : failures)
        EXPECT_EQ(line.rfind("Falha ao tentar ler 'files/old", 0), 0u) << line;

    // Folders that vanish before the walk reaches them are reported too.
    fs::remove_all("log");
    fs::create_directory("log");
    for (const char *sub : {"a", "b", "c"})
        fs_files::make(fs::path("files") / sub / "old.log", 1, 10 * day);
    called = 0;
    EXPECT_EQ(execute_delete("files", "old", ".log", 1, 1, remove_the_others,
                             reinterpret_cast<intptr_t>(&called)),
              1);
    EXPECT_EQ(remaining("files").size(), 1u); // the emptied folder
    failures = log_lines(dir());
    EXPECT_LE(failures.size(), 2u);
    for (const std::string &line : failures)
        EXPECT_EQ(line.rfind("Falha ao tentar ler 'files/", 0), 0u) << line;
}

TEST_F(Delete, NamesWithAnyBytesAreReportedAndRemoved)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows file names cannot hold a line feed or arbitrary bytes";
#endif
    // Each name as the log shows it: a line feed escaped, so that a name can
    // never start a log line of its own.
    const std::pair<std::string, std::string> names[] = {
        {"old\xff\xfe.log", "old\\xFF\\xFE.log"},
        {"old\n09-12-2026 00:00:00: forjada.log", "old\\n09-12-2026 00:00:00: forjada.log"},
        {"old \xc3\xa9.log", "old \xc3\xa9.log"},
    };
    for (const auto &[name, logged] : names)
        fs_files::make("files/" + name, 1, 10 * day);
    Names reported;
    EXPECT_EQ(execute_delete_test("files", "old", ".log", 1, 0, note_removal,
                                  reinterpret_cast<intptr_t>(&reported)),
              3);
    const std::string log = testing_support::read_file(testing_support::todays_log(dir()));
    for (const auto &[name, logged] : names) {
        EXPECT_NE(std::find(reported.begin(), reported.end(), "files|" + name), reported.end());
        EXPECT_NE(log.find("'files/" + logged + "' a ser removido (test).\n"), std::string::npos);
    }
    EXPECT_EQ(log.find("\n09-12-2026"), std::string::npos) << log;
    EXPECT_EQ(execute_delete("files", "old", ".log", 1, 0, nullptr, 0), 3);
    EXPECT_TRUE(remaining("files").empty());
}

#if !defined(_WIN32)
// The host's own retention of its log: only from the folder the log writer
// would write to, never through a log/ that another user may have swapped
// for a link to some other service's logs.
TEST_F(Delete, LogFilesGoOnlyFromTheFolderTheWriterTrusts)
{
    fs_files::make("log/monitor_20200101.log", 1, 40 * day);
    fs_files::make("log/monitor_20991231.log", 1, 0);
    fs_files::make("log/other_20200101.log", 1, 40 * day);
    EXPECT_EQ(delete_log_files(30), 1);
    EXPECT_EQ(remaining("log"), (Names{"monitor_20991231.log", "other_20200101.log"}));

    fs::create_directory("service");
    fs_files::make("service/monitor_20200101.log", 1, 40 * day);
    fs::permissions("service", fs::perms::owner_all);
    fs::remove_all("log");
    fs::create_directory_symlink("service", "log");
    fs::permissions(".", fs::perms::all);
    StderrCapture err;
    EXPECT_EQ(delete_log_files(30), DELETE_NO_DIR);
    fs::permissions(".", fs::perms::owner_all);
    EXPECT_EQ(err.text(), "|DELETE| Pasta de log recusada: '" + dir().string() +
                              "' pode ser alterado por todos os usuarios.\n");
    EXPECT_EQ(remaining("service"), (Names{"monitor_20200101.log"}));

    fs::remove("log");
    StderrCapture missing;
    EXPECT_EQ(delete_log_files(30), DELETE_NO_DIR);
    EXPECT_EQ(missing.text(), "|DELETE| Diretorio nao encontrado: 'log'.\n");
}
#endif

} // namespace
