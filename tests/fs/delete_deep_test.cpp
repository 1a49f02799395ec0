// Recursive deletion of trees deeper than the descriptors a process may hold
// open, and of trees that pass the path limit. POSIX only: the descriptor
// limit is set with setrlimit in a child process.
#include "fs/delete.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fs_files.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::StderrCapture;
using testing_support::TempDirTest;

constexpr int64_t day = fs_files::day;

// "files" and levels times "/a".
std::string folder_at(int levels)
{
    std::string path = "files";
    for (int level = 0; level < levels; ++level)
        path += "/a";
    return path;
}

// files/a/a/... levels deep, with two old files in every folder so that some
// come before the descent in the listing and some after it. Built relative
// to each folder's descriptor: by path, each step would walk the whole depth.
void make_tree(int levels)
{
    timespec old[2] = {{std::time(nullptr) - 10 * day, 0}, {std::time(nullptr) - 10 * day, 0}};
    int folder = open("files", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    for (int level = 1; level <= levels; ++level) {
        ASSERT_EQ(mkdirat(folder, "a", 0700), 0) << level;
        int below = openat(folder, "a", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(folder);
        ASSERT_GE(below, 0) << level;
        folder = below;
        for (const char *name : {"old1.log", "old2.log"}) {
            int file = openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            ASSERT_GE(file, 0) << level;
            EXPECT_EQ(futimens(file, old), 0);
            close(file);
        }
    }
    close(folder);
}

int old_files_left(const fs::path &root)
{
    int left = 0;
    for (const auto &entry : fs::recursive_directory_iterator(root))
        left += entry.is_regular_file() ? 1 : 0;
    return left;
}

// run() in a child whose descriptor limit is limit (0: as inherited); its
// result, or -1 when the child did not end normally.
int with_descriptor_limit(rlim_t limit, int (*run)())
{
    std::fflush(nullptr);
    int results[2];
    if (pipe(results) != 0)
        return -1;
    pid_t child = fork();
    if (child == 0) {
        close(results[0]);
        rlimit bound{limit, limit};
        if (limit != 0 && setrlimit(RLIMIT_NOFILE, &bound) != 0)
            _exit(1);
        int result = run();
        std::fflush(nullptr);
        _exit(write(results[1], &result, sizeof result) == sizeof result ? 0 : 1);
    }
    close(results[1]);
    int result = -1;
    if (read(results[0], &result, sizeof result) != sizeof result)
        result = -1;
    close(results[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : -1;
}

class DeleteDeep : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
        fs::create_directory("files");
    }

    std::string log_text() const
    {
        fs::path log = testing_support::todays_log(dir());
        return fs::exists(log) ? testing_support::read_file(log) : std::string();
    }
};

TEST_F(DeleteDeep, TreesDeeperThanTheDescriptorLimitAreWhollyCleaned)
{
    struct Row {
        int levels;
        rlim_t limit;
    };
    // 1,000 one-letter levels stay within the path limit from "files".
    for (Row row : {Row{1000, 0}, Row{100, 64}}) {
        SCOPED_TRACE(testing::Message() << row.levels << " levels, limit " << row.limit);
        fs::remove_all("files");
        fs::create_directory("files");
        make_tree(row.levels);
        StderrCapture err;
        // Reported once each: a listing taken up again neither repeats nor
        // skips an entry.
        auto report = [] { return execute_delete_test("files", "old", ".log", 1, 1, nullptr, 0); };
        auto remove = [] { return execute_delete("files", "old", ".log", 1, 1, nullptr, 0); };
        EXPECT_EQ(with_descriptor_limit(row.limit, report), 2 * row.levels);
        EXPECT_EQ(with_descriptor_limit(row.limit, remove), 2 * row.levels);
        EXPECT_EQ(err.text(), "");
        EXPECT_EQ(old_files_left("files"), 0);
    }
    EXPECT_EQ(log_text().find("incompleta"), std::string::npos);
}

// Where descriptors run out before the window of open listings does, a
// folder that is there but cannot be opened is not called missing, and the
// run says that it was not whole.
TEST_F(DeleteDeep, AFolderThatCannotBeOpenedLeavesTheRunIncomplete)
{
    make_tree(40);
    StderrCapture err;
    auto remove = [] { return execute_delete("files", "old", ".log", 1, 1, nullptr, 0); };
    int removed = with_descriptor_limit(20, remove);
    EXPECT_GE(removed, 0);
    EXPECT_LT(removed, 80);
    EXPECT_EQ(err.text().find("nao encontrado"), std::string::npos) << err.text();
    EXPECT_NE(log_text().find("Limpeza incompleta de 'files'"), std::string::npos) << log_text();
}

TEST_F(DeleteDeep, AFolderPastThePathLimitIsReportedAndTheRunSaysSo)
{
    // "files" and 1,022 levels of "/a" make 2,049 characters: past the 2,047
    // a path may hold; the level above fits exactly.
    make_tree(1022);
    StderrCapture err;
    EXPECT_EQ(execute_delete("files", "old", ".log", 1, 1, nullptr, 0), 2 * 1021);
    EXPECT_EQ(err.text(), "|DELETE| Diretorio alem do limite de 2047 caracteres do caminho, nao "
                          "foi limpo: '" +
                              folder_at(1022) + "'.\n");
    EXPECT_EQ(old_files_left("files"), 2);
    const std::string line =
        ": Limpeza incompleta de 'files': parte da arvore nao foi percorrida.\n";
    EXPECT_NE(log_text().find(line), std::string::npos) << log_text();
}

int moves = 0;

// Moves the folder 35 levels down out to files/moved when the run first
// removes a file 70 levels down: by then the folders above level 39 have
// let go of their descriptors.
int move_a_folder_away(const char *dir, const char *, intptr_t)
{
    if (moves == 0 && dir == folder_at(70)) {
        ++moves;
        fs::rename(folder_at(35), "files/moved");
    }
    return 0;
}

TEST_F(DeleteDeep, AFolderMovedWhileLetGoIsNeverTakenUpElsewhere)
{
    make_tree(100);
    StderrCapture err;
    int removed = execute_delete("files", "old", ".log", 1, 1, move_a_folder_away, 0);
    const std::string messages = err.text();
    EXPECT_EQ(moves, 1);
    // The moved subtree is cleaned where it went; level 34 cannot be taken up
    // through its moved child, so it and every folder above it end there.
    EXPECT_EQ(old_files_left("files/moved"), 0);
    EXPECT_EQ(removed + old_files_left("files"), 2 * 100);
    for (int level : {34, 0})
        EXPECT_NE(messages.find("|DELETE| Limpeza interrompida: o diretorio '" + folder_at(level) +
                                "' nao pode ser retomado com seguranca.\n"),
                  std::string::npos)
            << messages;
    EXPECT_NE(messages.find("|FILESYSTEM| Falha ao tentar ler diretorio: 'files'.\n"),
              std::string::npos);
    EXPECT_NE(log_text().find("Limpeza incompleta de 'files'"), std::string::npos);
}

} // namespace
