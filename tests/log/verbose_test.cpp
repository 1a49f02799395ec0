#include "log/verbose.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#endif

#include <atomic>
#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::log_file;
using testing_support::read_file;
using testing_support::read_lines;

std::atomic<time_t> fake_now{0};

time_t fake_clock()
{
    return fake_now.load();
}

// 2026-12-06 18:20:05 UTC.
constexpr time_t evening = 1796581205;

class Verbose : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
        verbose_limit_set(0);
        fake_now = evening;
        verbose_set_clock(fake_clock);
    }

    void TearDown() override
    {
        verbose_set_clock(nullptr);
        verbose_limit_set(0);
        TempDirTest::TearDown();
    }

    fs::path today() const { return log_file(dir(), 2026, 12, 6); }

    testing_support::ScopedTimeZone utc_{"UTC"};
};

TEST_F(Verbose, WritesPrefixTagAndMessage)
{
    log_component vesk{4, ""};
    log_component_set_tag(&vesk, "VESK");
    log_component untagged{4, ""};

    EXPECT_EQ(verbose_in(&vesk, VERBOSE_INFO, "Init Params:\n"), 41);
    EXPECT_EQ(verbose(stderr, "VERBOSITY=%d\n", 4), 33);
    EXPECT_EQ(verbose_in(&untagged, VERBOSE_WARN, "x%s\n", "y"), 27);
    EXPECT_EQ(verbose_base("abc"), 25);
    EXPECT_EQ(verbose_base(nullptr), -1);

    EXPECT_EQ(read_file(today()), "06/12/2026 18:20:05: |VESK| Init Params:\n"
                                  "06/12/2026 18:20:05: VERBOSITY=4\n"
                                  "06/12/2026 18:20:05: || xy\n"
                                  "06/12/2026 18:20:05: abc\n");
    EXPECT_EQ(verbose_limit_get(), 41 + 33 + 27 + 25);
}

TEST_F(Verbose, FiltersByLevel)
{
    EXPECT_EQ(verbose_in(nullptr, VERBOSE_NONE, "never\n"), 0);

    log_component silent{0, "S"};
    EXPECT_GT(verbose_in(&silent, VERBOSE_NONE, "level 0\n"), 0);
    EXPECT_EQ(verbose_in(&silent, VERBOSE_FATAL, "level 1\n"), 0);

    log_component info{4, "I"};
    for (int level = 1; level <= 5; ++level)
        EXPECT_EQ(verbose_in(&info, level, "level %d\n", level) > 0, level <= 4) << level;

    EXPECT_EQ(verbose2(3, 4, stdout, "T", "above\n"), 0);
    EXPECT_GT(verbose2(4, 4, stdout, "T", "at\n"), 0);
    // Compared as unsigned, a negative level is above every threshold.
    EXPECT_EQ(verbose2(65535, -1, stdout, "T", "negative\n"), 0);

    std::vector<std::string> lines = read_lines(today());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "06/12/2026 18:20:05: |S| level 0");
    EXPECT_EQ(lines[4], "06/12/2026 18:20:05: |I| level 4");
    EXPECT_EQ(lines[5], "06/12/2026 18:20:05: |T| at");
}

TEST_F(Verbose, BudgetStopsAfterTheCrossingLine)
{
    log_component all{65535, "B"};
    verbose_limit_set(VERBOSE_BUDGET);
    int crossing = verbose(stdout, "%s\n", std::string(100, 'x').c_str());
    EXPECT_EQ(crossing, 122);
    EXPECT_EQ(verbose_limit_get(), VERBOSE_BUDGET + 122);
    auto size = fs::file_size(today());

    EXPECT_EQ(verbose(stdout, "after\n"), 0);
    EXPECT_EQ(verbose_in(&all, VERBOSE_FATAL, "after\n"), 0);
    EXPECT_EQ(verbose2(5, 1, stdout, "B", "after\n"), 0);
    EXPECT_EQ(verbose_base("after"), 0);
    EXPECT_EQ(fs::file_size(today()), size);
    EXPECT_EQ(verbose_limit_get(), VERBOSE_BUDGET + 122);
}

TEST_F(Verbose, BudgetCounterSaturates)
{
    verbose_limit_set(VERBOSE_BUDGET - 1);
    std::string big(1 << 20, 'y');
    for (int i = 0; i < 3; ++i)
        verbose(stdout, "%s\n", big.c_str());
    EXPECT_GT(verbose_limit_get(), VERBOSE_BUDGET);
    EXPECT_EQ(read_file(today()).size(), (big.size() + 22));
}

TEST_F(Verbose, LineAfterMidnightGoesToTheNewDay)
{
    fake_now = 1796601599; // 2026-12-06 23:59:59
    verbose(stdout, "late\n");
    fake_now = 1796601601; // 2026-12-07 00:00:01
    verbose(stdout, "early\n");

    EXPECT_EQ(read_file(today()), "06/12/2026 23:59:59: late\n");
    EXPECT_EQ(read_file(log_file(dir(), 2026, 12, 7)), "07/12/2026 00:00:01: early\n");
}

TEST_F(Verbose, DayFollowsTheLocalTimeZone)
{
    testing_support::ScopedTimeZone brasilia("UTC+3");
    fake_now = 1796601601; // 2026-12-07 00:00:01 UTC, still the 6th in UTC-3
    verbose(stdout, "local\n");
    EXPECT_EQ(read_file(today()), "06/12/2026 21:00:01: local\n");
}

TEST_F(Verbose, LongMessagesAndTagsAreWrittenWhole)
{
    std::string message(5000, 'm');
    std::string tag(2000, 't');
    int count = verbose2(1, 1, stdout, tag.c_str(), "%s\n", message.c_str());
    EXPECT_EQ(count, 21 + 2003 + 5001);
    EXPECT_EQ(read_file(today()), "06/12/2026 18:20:05: |" + tag + "| " + message + "\n");
}

TEST_F(Verbose, ComponentTagIsCutToItsCapacity)
{
    log_component component{1, ""};
    log_component_set_tag(&component, std::string(100, 'a').c_str());
    EXPECT_EQ(std::string(component.tag), std::string(LOG_TAG_SIZE - 1, 'a'));
    log_component_set_tag(&component, nullptr);
    EXPECT_STREQ(component.tag, "");
}

TEST_F(Verbose, MissingLogDirectoryFallsBackWithANoticePerLine)
{
    fs::remove("log");
    fs::path fallback = platform_fallback_log_path();
    int probe = platform_open_append(fallback.string().c_str(), PLATFORM_APPEND_SHARED_FOLDER);
    if (probe < 0)
        GTEST_SKIP() << fallback << " is refused here (another user's?); the fault tests cover it";
    platform_close(probe);
    size_t start = read_file(fallback).size();

    int first = verbose(stdout, "one\n");
    int second = verbose(stdout, "two\n");
    EXPECT_EQ(first, 25);
    EXPECT_EQ(second, 25);
    EXPECT_EQ(verbose_limit_get(), 50); // the notices are not counted

    std::string notice = "Falha ao tentar abrir log em: '" + dir().string() + "'\n";
    std::string added = read_file(fallback).substr(start);
    EXPECT_NE(added.find(notice + "06/12/2026 18:20:05: one\n" + notice +
                         "06/12/2026 18:20:05: two\n"),
              std::string::npos);
}

TEST_F(Verbose, FailedWriteLosesTheLineButNeverMovesOrTearsIt)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no file-size limit to make a write fail";
#else
    // The file-size limit stands in for a disk that is full, or fills up
    // in the middle of a line.
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    auto limited = [&](rlim_t size, const char *text) {
        struct rlimit limit = saved;
        limit.rlim_cur = size;
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
        int result = verbose(stdout, "%s\n", text);
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        return result;
    };

    // Nothing written: the line is lost, nothing is charged or sent elsewhere.
    testing_support::write_file(today(), "");
    std::string lost = "lost in " + dir().string();
    EXPECT_EQ(limited(0, lost.c_str()), VERBOSE_ERR_WRITE);
    EXPECT_EQ(verbose_limit_get(), 0);
    EXPECT_EQ(read_file(platform_fallback_log_path()).find(lost), std::string::npos);
    EXPECT_EQ(verbose(stdout, "kept\n"), 26);

    // A write cut short: the next line starts on a line of its own.
    EXPECT_EQ(limited(fs::file_size(today()) + 10, "cut short"), VERBOSE_ERR_WRITE);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(verbose(stdout, "whole\n"), 27);
    EXPECT_EQ(read_file(today()), "06/12/2026 18:20:05: kept\n"
                                  "06/12/2026\n"
                                  "06/12/2026 18:20:05: whole\n");
    EXPECT_EQ(verbose_limit_get(), 26 + 27);
#endif
}

TEST_F(Verbose, ConcurrentLinesAreNeverTornOrLost)
{
    constexpr int threads = 16;
    constexpr int lines_each = 10000;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            for (int n = 0; n < lines_each; ++n)
                verbose(stdout, "thread %02d line %05d end\n", t, n);
        });
    }
    for (std::thread &worker : workers)
        worker.join();

    std::vector<std::string> lines = read_lines(today());
    ASSERT_EQ(lines.size(), static_cast<size_t>(threads * lines_each));
    std::set<std::string> seen;
    for (const std::string &line : lines) {
        ASSERT_EQ(line.size(), 45u) << line;
        ASSERT_EQ(line.rfind("06/12/2026 18:20:05: thread ", 0), 0u) << line;
        ASSERT_EQ(line.substr(line.size() - 4), " end") << line;
        seen.insert(line);
    }
    EXPECT_EQ(seen.size(), lines.size());
}

} // namespace
