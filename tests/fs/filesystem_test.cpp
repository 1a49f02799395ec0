#include "fs/filesystem.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "fs_files.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::StderrCapture;
using testing_support::TempDirTest;

struct Entry {
    std::string name;
    std::string path;
    int32_t time;
    int32_t size;
    uint32_t is_dir;
};

int collect(fs_dir *, fs_file *file, void *entries)
{
    static_cast<std::vector<Entry> *>(entries)->push_back(
        {file->name, file->path, file->time, file->size, file->is_dir});
    return 0;
}

int stop_second(fs_dir *, fs_file *file, void *names)
{
    auto *seen = static_cast<std::vector<std::string> *>(names);
    seen->push_back(file->name);
    return seen->size() == 2 ? 1 : 0;
}

using FsWalk = TempDirTest;
using Names = std::vector<std::string>;

TEST_F(FsWalk, HandsEveryEntryButTheDotsAndCountsThemAll)
{
    fs_files::make("a", 3);
    fs_files::set_mtime("a", 1000000);
    fs::create_directory("c");
    std::error_code refused;
    fs::create_directory_symlink(dir() / "c", "link", refused);
    if (refused) { // wine makes no symbolic links: a plain file takes its place
        std::printf("no symbolic link here (%s): link is a plain file\n",
                    refused.message().c_str());
        fs_files::make("link");
    }
    fs_dir *dir = fs_dir_new(".");
    std::vector<Entry> entries;
    EXPECT_EQ(fs_dir_iter(dir, collect, &entries), 5);
    fs_dir_free(dir);
    std::sort(entries.begin(), entries.end(), [](auto &x, auto &y) { return x.name < y.name; });
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].path, "." PLATFORM_PATH_SEP_STR "a");
    EXPECT_EQ(entries[0].time, 1000000);
    EXPECT_EQ(entries[0].size, 3);
    EXPECT_EQ(entries[0].is_dir, 0u);
    EXPECT_EQ(entries[1].is_dir, 1u);
    EXPECT_EQ(entries[2].is_dir, 0u); // a link to a directory is not one

    // A callback that stops is not counted: only "." and ".." may be.
    Names seen;
    dir = fs_dir_new(".");
    int count = fs_dir_iter(dir, stop_second, &seen);
    fs_dir_free(dir);
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_GE(count, 1);
    EXPECT_LE(count, 3);
}

TEST_F(FsWalk, EveryPathThatIsNotAFolderFailsAlikeOnEverySystem)
{
    EXPECT_EQ(fs_dir_new(nullptr), nullptr);
    EXPECT_EQ(fs_dir_new_at(nullptr, "x"), nullptr);
    EXPECT_EQ(fs_dir_free(nullptr), -1);
    EXPECT_EQ(fs_file_free(nullptr), -1);
    EXPECT_EQ(fs_dir_iter(nullptr, collect, nullptr), -1);
    EXPECT_EQ(fs_dir_name_sorted_iter(nullptr, collect, 0, nullptr), -1);
    fs_files::make("file");
    fs::create_directory("folder");
    const std::string sep = PLATFORM_PATH_SEP_STR;
    // Opened by path, then as a subfolder of an open listing.
    const std::string paths[] = {"", "file", "missing", std::string(FS_PATH_SIZE, 'd'),
                                 "folder" + sep + "missing"};
    for (const std::string &path : paths) {
        SCOPED_TRACE(path.substr(0, 20));
        StderrCapture err;
        EXPECT_EQ(fs_dir_new(path.c_str()), nullptr);
        EXPECT_EQ(err.text(), "|FILESYSTEM| Falha ao tentar abrir diretorio: '" + path + "'.\n");
    }
    fs_dir *here = fs_dir_new(".");
    ASSERT_NE(here, nullptr);
    for (const std::string &name : {std::string("file"), std::string("missing"), std::string(".."),
                                    "folder" + sep + "..", std::string(FS_PATH_SIZE - 2, 'd')}) {
        SCOPED_TRACE(name.substr(0, 20));
        StderrCapture err;
        EXPECT_EQ(fs_dir_new_at(here, name.c_str()), nullptr);
        EXPECT_EQ(err.text(),
                  "|FILESYSTEM| Falha ao tentar abrir diretorio: '." + sep + name + "'.\n");
    }
    fs_dir *folder = fs_dir_new_at(here, "folder");
    ASSERT_NE(folder, nullptr);
    EXPECT_STREQ(folder->path, ("." + sep + "folder").c_str());
    fs_dir_free(folder);
    fs_dir_free(here);
}

using SortedIter = int (*)(fs_dir *, fs_dir_callback, uint8_t, void *);

Names sorted_names(SortedIter iter, uint8_t order,
                   fs_dir_callback callback = fs_files::collect_name, int *count = nullptr)
{
    Names names;
    fs_dir *dir = fs_dir_new(".");
    int result = iter(dir, callback, order, &names);
    if (count != nullptr)
        *count = result;
    fs_dir_free(dir);
    return names;
}

TEST_F(FsWalk, SortsByNameTimeAndSize)
{
#if defined(_WIN32)
    // Windows' names ignore case, so a.txt would be A.txt; _ sorts between.
    const char *lower_a = "_.txt";
#else
    const char *lower_a = "a.txt";
#endif
    // A 32-bit difference of the times of b.txt and a.txt overflows.
    fs_files::make("b.txt", 30);
    fs_files::set_mtime("b.txt", 2000000000);
    fs_files::make("A.txt", 10);
    fs_files::set_mtime("A.txt", 50);
    fs_files::make(lower_a, 20);
    fs_files::set_mtime(lower_a, -2000000000);
    const struct {
        SortedIter iter;
        uint8_t order;
        Names expected;
    } rows[] = {
        {fs_dir_name_sorted_iter, 0, {"A.txt", lower_a, "b.txt"}},
        {fs_dir_name_sorted_iter, 1, {"b.txt", lower_a, "A.txt"}},
        {fs_dir_time_sorted_iter, 0, {"b.txt", "A.txt", lower_a}},
        {fs_dir_time_sorted_iter, 1, {lower_a, "A.txt", "b.txt"}},
        {fs_dir_size_sorted_iter, 0, {"A.txt", lower_a, "b.txt"}},
        {fs_dir_size_sorted_iter, 7, {"b.txt", lower_a, "A.txt"}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(testing::Message() << &row - rows);
        EXPECT_EQ(sorted_names(row.iter, row.order), row.expected);
    }
    int count = 0;
    EXPECT_EQ(sorted_names(fs_dir_name_sorted_iter, 0, stop_second, &count),
              (Names{"A.txt", lower_a}));
    EXPECT_EQ(count, 5);
}

TEST_F(FsWalk, OrdersByTheFullTimeAndSizeBeyondThirtyTwoBits)
{
    // The records carry INT32_MAX for all three times and both large sizes.
    const int64_t after_2038 = int64_t{INT32_MAX} + 1000;
    for (auto [name, time, size] : {std::tuple{"t1", after_2038, int64_t{1}},
                                    {"t2", after_2038 + 60, int64_t{3} << 30},
                                    {"t3", after_2038 + 120, (int64_t{2} << 30) + 1}}) {
        fs_files::make(name);
        fs::resize_file(name, static_cast<uintmax_t>(size)); // sparse
        fs_files::set_mtime(name, time);
    }
    EXPECT_EQ(sorted_names(fs_dir_time_sorted_iter, 0), (Names{"t3", "t2", "t1"}));
    EXPECT_EQ(sorted_names(fs_dir_size_sorted_iter, 0), (Names{"t1", "t3", "t2"}));
}

// The insertion rule written out as the sorted walk defines it: each entry,
// in listing order, goes to the head of the list, then one pass over the
// list swaps neighbours that are out of order.
Names insertion_rule(const std::vector<Entry> &listed,
                     int32_t (*compare)(const Entry &, const Entry &), uint8_t order)
{
    std::vector<Entry> list;
    for (const Entry &entry : listed) {
        list.insert(list.begin(), entry);
        for (size_t i = 0; i + 1 < list.size(); ++i) {
            int32_t result = compare(list[i], list[i + 1]);
            if (order == 0 ? result > 0 : result < 0)
                std::swap(list[i], list[i + 1]);
        }
    }
    Names names;
    for (const Entry &entry : list)
        names.push_back(entry.name);
    return names;
}

int32_t sign(int64_t value)
{
    return (value > 0) - (value < 0);
}

// Answers -1, 0 and 1 in turn, whatever the records.
int32_t erratic(const fs_file *, const fs_file *, void *)
{
    static int calls = 0;
    return (++calls % 3) - 1;
}

TEST_F(FsWalk, SortedOrderIsTheInsertionRulesOrderForAnyComparison)
{
    for (int i = 0; i < 300; ++i) {
        std::string name = "f" + std::to_string((i * 7919) % 1000);
        fs_files::make(name, static_cast<size_t>(i % 5));
        fs_files::set_mtime(name, 1000000 + (i % 7) * 60);
    }
    std::vector<Entry> listed;
    fs_dir *dir = fs_dir_new(".");
    fs_dir_iter(dir, collect, &listed);
    fs_dir_free(dir);

    struct Case {
        int (*iter)(fs_dir *, fs_dir_callback, uint8_t, void *);
        int32_t (*compare)(const Entry &, const Entry &);
    };
    const Case cases[] = {
        {fs_dir_name_sorted_iter,
         [](const Entry &a, const Entry &b) {
             return sign(std::strcmp(a.name.c_str(), b.name.c_str()));
         }},
        {fs_dir_time_sorted_iter,
         [](const Entry &a, const Entry &b) { return sign(int64_t{b.time} - a.time); }},
        {fs_dir_size_sorted_iter,
         [](const Entry &a, const Entry &b) { return sign(int64_t{a.size} - b.size); }},
    };
    for (const Case &c : cases) {
        for (uint8_t order : {0, 1}) {
            SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << " order " << int{order});
            EXPECT_EQ(sorted_names(c.iter, order), insertion_rule(listed, c.compare, order));
        }
    }

    // A comparison that orders nothing consistently still sees each entry handed once.
    Names names;
    dir = fs_dir_new(".");
    EXPECT_EQ(fs_dir_sorted_iter(dir, fs_files::collect_name, erratic, 0, &names), 302);
    fs_dir_free(dir);
    Names expected = insertion_rule(listed, cases[0].compare, 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, expected);
}

TEST_F(FsWalk, NameFilterTakesAffixesOrAPattern)
{
    struct Row {
        const char *name, *prefix, *suffix;
        int expected;
    };
    const Row rows[] = {
        {"log1.txt", "log", ".txt", 1},
        {"log.txt", "log", ".txt", 1},
        {"lo.txt", "log", ".txt", 0},
        {"xlog.txt", "log", ".txt", 0},
        {"log.txt.bak", "log", ".txt", 0},
        {"logtxt", "logt", "txt", 0},
        {"abcz", "^a.*z$", "", 1},
        {"abc", "^a.*z$", "", 0},
        {"abc", "b", "", 1},
        {"abc", "", "", 1},
        {"x", "", "x", 1},
        {"12.tmp", "\\d\\d\\.tmp", "", 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.name << " " << row.prefix << " " << row.suffix);
        fs_file *file = fs_file_new(".", row.name);
        EXPECT_EQ(fs_file_check(file, row.prefix, row.suffix), row.expected);
        fs_file_free(file);
    }
    EXPECT_EQ(fs_file_check(nullptr, "", ""), 0);
}

TEST_F(FsWalk, ReadsWholeFilesOfAnySize)
{
    for (size_t size : {0u, 1000u, 1024u, 1025u, 1500u, 2048u, 3000u, 100000u}) {
        SCOPED_TRACE(size);
        std::string text;
        for (size_t i = 0; i < size; ++i)
            text.push_back(static_cast<char>('a' + i % 26));
        testing_support::write_file("data", text);
        fs_file *file = fs_file_new(".", "data");
        EXPECT_EQ(file->size, static_cast<int32_t>(size));
        char *content = nullptr;
        ASSERT_EQ(fs_file_get_content(file, &content), static_cast<int>(size));
        EXPECT_EQ(std::string(content), text);
        std::free(content);
        fs_file_free(file);
    }
    fs_file *missing = fs_file_new(".", "missing");
    char *content = nullptr;
    EXPECT_EQ(fs_file_get_content(missing, &content), -1);
    EXPECT_EQ(fs_get_content(nullptr, &content), -1);
    EXPECT_EQ(fs_get_content(stdin, nullptr), -1);
    EXPECT_EQ(content, nullptr);
    fs_file_free(missing);
}

#if !defined(_WIN32)
// fs_file_get_content of the walk's record for "entry", after swap() has run.
int content_in_walk(void (*swap)(), std::string &content)
{
    struct Walk {
        void (*swap)();
        std::string &content;
        int result;
    } walk{swap, content, -2};
    fs_dir *dir = fs_dir_new(".");
    fs_dir_iter(
        dir,
        [](fs_dir *, fs_file *file, void *data) {
            auto &state = *static_cast<Walk *>(data);
            if (std::strcmp(file->name, "entry") != 0)
                return 0;
            state.swap();
            char *text = nullptr;
            state.result = fs_file_get_content(file, &text);
            if (text != nullptr)
                state.content = text;
            std::free(text);
            return 1;
        },
        &walk);
    fs_dir_free(dir);
    return walk.result;
}

TEST_F(FsWalk, ReadsOnlyRegularFilesNeverThroughALinkNorWaiting)
{
    testing_support::write_file("secret", "secret");
    testing_support::write_file("entry", "data");
    std::string content;
    EXPECT_EQ(content_in_walk([] {}, content), 4);
    EXPECT_EQ(content, "data");
    // A link swapped in after the listing was read, and one named directly.
    content.clear();
    EXPECT_EQ(content_in_walk(
                  [] {
                      std::filesystem::remove("entry");
                      std::filesystem::create_symlink("secret", "entry");
                  },
                  content),
              -1);
    EXPECT_EQ(content, "");
    fs_file *link = fs_file_new(".", "entry");
    char *text = nullptr;
    EXPECT_EQ(fs_file_get_content(link, &text), -1);
    fs_file_free(link);

    // A FIFO no one writes to: a failure at once, in a child that a blocked
    // open would leave to its alarm.
    std::filesystem::remove("entry");
    ASSERT_EQ(mkfifo("entry", 0600), 0);
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        alarm(1);
        std::string ignored;
        fs_file *fifo = fs_file_new(".", "entry");
        char *fifo_text = nullptr;
        bool refused =
            fs_file_get_content(fifo, &fifo_text) == -1 && content_in_walk([] {}, ignored) == -1;
        fs_file_free(fifo);
        _exit(refused ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif

TEST_F(FsWalk, DeletesOneFileButNeverADirectory)
{
    fs_files::make("gone");
    fs::create_directory("kept");
    StderrCapture err;
    EXPECT_EQ(fs_delete("gone"), 0);
    EXPECT_EQ(fs_delete("gone"), 1);
    EXPECT_EQ(fs_delete("kept"), 1);
    EXPECT_EQ(fs_delete(nullptr), 1);
#if defined(_WIN32)
    // The system's own error numbers: not found, access denied.
    const char *expected = "Erro (2) ao tentar apagar arquivo: 'gone'.\n"
                           "Erro (5) ao tentar apagar arquivo: 'kept'.\n";
#else
    const char *expected = "Erro (2) ao tentar apagar arquivo: 'gone'.\n"
                           "Erro (21) ao tentar apagar arquivo: 'kept'.\n";
#endif
    EXPECT_EQ(err.text(), expected);
    EXPECT_TRUE(fs::is_directory("kept"));
}

TEST(FsConvert, MebibytesTruncateTowardsZero)
{
    EXPECT_EQ(convertMb(2048, 1024), 2);
    EXPECT_EQ(convertMb(1000, 1000), 0);
    EXPECT_EQ(convertMb(-2048, 1024), -2);
    EXPECT_EQ(convertMb(-3000, 1000), -2);
    EXPECT_EQ(convertMb(INT32_MAX, INT32_MAX), 4398046507008LL); // past 32 bits, no overflow
}

#if defined(_WIN32)
TEST(FsProc, ListsProcessesWithParentAndThreads)
{
    GTEST_SKIP() << "the process listing reads Linux's /proc";
}
#else
struct Process {
    std::string name;
    int32_t parent;
    int32_t threads;
};

int record_process(const char *name, int32_t pid, int32_t parent, int32_t threads, void *table)
{
    (*static_cast<std::map<int32_t, Process> *>(table))[pid] = {name, parent, threads};
    return 0;
}

std::map<int32_t, Process> list_processes()
{
    std::map<int32_t, Process> table;
    fs_proc_data data{record_process, &table};
    fs_dir *dir = fs_dir_new("/proc");
    fs_dir_iter(dir, fs_proc_iter_dir_iter, &data);
    fs_dir_free(dir);
    return table;
}

TEST(FsProc, ListsProcessesWithParentAndThreads)
{
    // A child whose name holds blanks and a parenthesis keeps its fields.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        prctl(PR_SET_NAME, "a b) c", 0, 0, 0);
        pause();
        _exit(0);
    }
    std::map<int32_t, Process> table;
    testing_support::wait_until([&] {
        table = list_processes();
        return table[child].name == "a b) c";
    });
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    ASSERT_EQ(table.count(getpid()), 1u);
    EXPECT_EQ(table[getpid()].parent, getppid());
    EXPECT_GE(table[getpid()].threads, 1);
    EXPECT_EQ(table[child].name, "a b) c");
    EXPECT_EQ(table[child].parent, getpid());
    EXPECT_EQ(table[child].threads, 1);
    EXPECT_EQ(fs_proc_iter(), 0);
    EXPECT_EQ(fs_hd_iter(), 0);
}

#endif

} // namespace
