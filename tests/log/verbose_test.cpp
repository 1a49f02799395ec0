#include "log/verbose.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
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
        verbose_set_sink(nullptr, nullptr);
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

TEST_F(Verbose, WrittenCountStopsAtInt32Max)
{
    verbose_limit_set(INT32_MAX - 5);
    EXPECT_EQ(verbose(stdout, "past the top\n"), 34);
    EXPECT_EQ(verbose_limit_get(), INT32_MAX);
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

// A name, path or remote text in a message can never start a line of its
// own: every control character but a tab is written as an escape, but the
// line's final line feed; verbose_block keeps a line feed before a tab (a
// continuation line under the entry: a stack trace, a hex dump).
TEST_F(Verbose, ControlCharactersInTheTextAreEscaped)
{
    const struct {
        const char *argument;
        const char *written;
    } cases[] = {
        {"a\n06/12/2026 18:20:06: forged", "a\\n06/12/2026 18:20:06: forged"},
        {"one\r\ntwo", "one\\r\\ntwo"},
        {"bell\a del\x7f esc\x1b tab\tend", "bell\\x07 del\\x7F esc\\x1B tab\tend"},
        {"name\n\tforged continuation", "name\\n\tforged continuation"},
        {"ends in a feed\n", "ends in a feed\\n"},
    };
    std::string expected;
    for (const auto &c : cases) {
        std::string line = std::string("06/12/2026 18:20:05: |tag| ") + c.written + "\n";
        EXPECT_EQ(verbose2(5, 1, stdout, "tag", "%s\n", c.argument), static_cast<int>(line.size()))
            << c.argument;
        expected += line;
    }
    // An untagged line, and a tag that holds a control character.
    verbose(stdout, "%s\n", "x\ny");
    verbose2(5, 1, stdout, "t\na", "z\n");
    expected += "06/12/2026 18:20:05: x\\ny\n06/12/2026 18:20:05: |t\\na| z\n";
    verbose_block(stdout, "%s\n", "trace\n\tat A.b(A.java:1)\n\tat C.d\nforged\r");
    expected += "06/12/2026 18:20:05: trace\n\tat A.b(A.java:1)\n\tat C.d\\nforged\\r\n";
    EXPECT_EQ(read_file(today()), expected);
    EXPECT_EQ(verbose_limit_get(), static_cast<int32_t>(expected.size()));
}

// Past ASCII, what some reader takes for a line break (U+0085, U+2028,
// U+2029), the other C1 controls and the bidirectional controls are written
// as "\uXXXX", and each byte of a sequence that is not well-formed UTF-8 as
// "\xNN"; every other character is written as it is. verbose_escape
// escapes a name alike.
TEST_F(Verbose, CharactersThatBreakHideOrCannotBeReadAreEscaped)
{
    const struct {
        const char *argument;
        const char *written;
    } cases[] = {
        // C1 controls, at both ends of their range; U+00A0 is text.
        {"a\xC2\x85"
         "b \xC2\x80 \xC2\x9F \xC2\xA0",
         "a\\u0085b \\u0080 \\u009F \xC2\xA0"},
        {"csi \xC2\x9B"
         "31m",
         "csi \\u009B31m"},
        // Line and paragraph separators and the bidirectional controls;
        // their neighbours U+2027, U+202F, U+2065 and U+206A are text.
        {"\xE2\x80\xA8 \xE2\x80\xA9", "\\u2028 \\u2029"},
        {"\xD8\x9C \xE2\x80\x8E \xE2\x80\x8F \xE2\x80\xAA \xE2\x80\xAE \xE2\x81\xA6 \xE2\x81\xA9",
         "\\u061C \\u200E \\u200F \\u202A \\u202E \\u2066 \\u2069"},
        {"\xE2\x80\xA7 \xE2\x80\xAF \xE2\x81\xA5 \xE2\x81\xAA",
         "\xE2\x80\xA7 \xE2\x80\xAF \xE2\x81\xA5 \xE2\x81\xAA"},
        // Well-formed text of every length, up to U+10FFFF.
        {"ol\xC3\xA1 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF",
         "ol\xC3\xA1 \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF"},
        // Overlong forms, surrogates, past U+10FFFF, bytes no sequence holds.
        {"\xC0\xAF \xC1\xBF \xE0\x80\xAF \xF0\x8F\xBF\xBF",
         "\\xC0\\xAF \\xC1\\xBF \\xE0\\x80\\xAF \\xF0\\x8F\\xBF\\xBF"},
        {"\xED\xA0\x80 \xED\xBF\xBF \xED\x9F\xBF", "\\xED\\xA0\\x80 \\xED\\xBF\\xBF \xED\x9F\xBF"},
        {"\xF4\x90\x80\x80 \xF5\x80 \xFF", "\\xF4\\x90\\x80\\x80 \\xF5\\x80 \\xFF"},
        // Stray continuation bytes, and sequences cut short, in the text or
        // at its end.
        {"\x80\xBF", "\\x80\\xBF"},
        {"\xE2\x82x \xF0\x9F\x98", "\\xE2\\x82x \\xF0\\x9F\\x98"},
        {"\xC3", "\\xC3"},
    };
    std::string expected;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.written);
        std::string line = std::string("06/12/2026 18:20:05: ") + c.written + "\n";
        EXPECT_EQ(verbose(stdout, "%s\n", c.argument), static_cast<int>(line.size()));
        expected += line;
        std::unique_ptr<char, decltype(&std::free)> escaped(verbose_escape(c.argument), &std::free);
        ASSERT_NE(escaped, nullptr);
        EXPECT_STREQ(escaped.get(), c.written);
    }
    // A continuation line keeps its line feed; a separator before a tab
    // opens none.
    verbose_block(stdout, "%s\n", "trace\n\tat A\xE2\x80\xA8\tat B\xC2\x85\tat C");
    expected += "06/12/2026 18:20:05: trace\n\tat A\\u2028\tat B\\u0085\tat C\n";
    EXPECT_EQ(read_file(today()), expected);

    std::unique_ptr<char, decltype(&std::free)> name(verbose_escape("log\n<0>x\r\t\x1B[2J"),
                                                     &std::free);
    EXPECT_STREQ(name.get(), "log\\n<0>x\\r\t\\x1B[2J");
    EXPECT_EQ(verbose_escape(nullptr), nullptr);
}

// Whatever a message holds, a line of the file is a line for any reader:
// Python's splitlines, which also breaks at U+0085, U+2028, U+2029, VT, FF
// and the file separators, finds as many lines in the decoded file as it
// holds line feeds, and the file decodes as UTF-8.
TEST_F(Verbose, EveryReaderFindsTheLinesTheWriterWrote)
{
    const char *forged[] = {
        "a\xE2\x80\xA8"
        "06/12/2026 18:20:06: forged",
        "b\xE2\x80\xA9"
        "forged",
        "c\xC2\x85"
        "forged",
        "d\x0B\x0C\x1C\x1D\x1E"
        "forged",
        "e\x1B[2K\r06/12/2026 18:20:06: forged",
        "f\xC2\x9B"
        "2K\xE2\x80\xAE"
        "degrof",
        "g\xE2\x81\xA6"
        "x\xD8\x9C",
        "h\xED\xA0\x80\xC0\x8A\xE2\x80",
        "i\n\tforged continuation",
        "j\r\nforged",
    };
    // Three line feeds for each, and one more where the block keeps the
    // continuation line a text opens.
    int lines = 1;
    for (const char *text : forged) {
        verbose(stdout, "%s\n", text);
        verbose_block(stdout, "%s\n\tat frame\n", text);
        lines += 3;
    }
    fs::path script = dir() / "count.py";
    testing_support::write_file(script,
                                "import sys\n"
                                "text = open(sys.argv[1], encoding='utf-8', newline='').read()\n"
                                "print(len(text.splitlines()), text.count('\\n'))\n");
    fs::path counted = dir() / "counted.txt";
    std::string command = "python3 \"" + script.string() + "\" \"" + today().string() + "\" > \"" +
                          counted.string() + "\"";
    if (std::system(command.c_str()) != 0)
        GTEST_SKIP() << "python3 did not run";
    EXPECT_EQ(read_file(counted), std::to_string(lines) + " " + std::to_string(lines) + "\n");
}

// Standard error gets a name or text it quotes escaped as the log escapes
// it, so that none starts a line there (under systemd a "<N>" at a line's
// start would set its priority); only the line feeds that end the text are
// written as they are.
TEST_F(Verbose, StandardErrorNeverStartsALineWithAQuotedText)
{
    testing_support::StderrCapture err;
    EXPECT_EQ(verbose_console(VERBOSE_ERROR, "Falha ao tentar ler: %s\n", "conf\n<0>vesk.ini"), 39);
    verbose_console(VERBOSE_WARN, "'%s'\n\n", "a\r\xE2\x80\xA8<1>b\xC2\x85\xFF\t");
    verbose_diagnostic(VERBOSE_ROUTE_STDERR, VERBOSE_ERROR, "DELETE", "|DELETE| %s\n", "x\n<2>y");
    verbose_console(VERBOSE_INFO, "%s", "sem fim de linha\n<3>");
    EXPECT_EQ(err.text(), "Falha ao tentar ler: conf\\n<0>vesk.ini\n"
                          "'a\\r\\u2028<1>b\\u0085\\xFF\t'\n\n"
                          "|DELETE| x\\n<2>y\n"
                          "sem fim de linha\\n<3>");
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

TEST_F(Verbose, DiagnosticSinkTakesLibraryMessagesInsteadOfLogAndStderr)
{
    std::vector<std::string> got;
    {
        testing_support::StderrCapture err;
        verbose_set_sink(testing_support::record_diagnostic, &got);
        // The text the log or standard error would have received, without
        // the log's prefix and escaped alike.
        EXPECT_EQ(verbose_diagnostic(VERBOSE_ROUTE_LOG, VERBOSE_ERROR, "HTTP", "a\rb %s\n", "x"),
                  7);
        verbose_diagnostic(VERBOSE_ROUTE_LOG_BLOCK, VERBOSE_DEBUG, "HTTP", "dump\n\t41\n\n");
        verbose_diagnostic(VERBOSE_ROUTE_STDERR, VERBOSE_WARN, "URL", "|URL| a\rb\n");
        EXPECT_EQ(verbose_diagnostic(7, VERBOSE_ERROR, "X", "lost\n"), -1);
        EXPECT_EQ(verbose_diagnostic(VERBOSE_ROUTE_LOG, VERBOSE_ERROR, "X", nullptr), -1);
        // The host's own lines still go to the log.
        verbose(stdout, "host\n");
        verbose_set_sink(nullptr, &got);
        EXPECT_EQ(err.text(), "");
    }
    EXPECT_EQ(got, (std::vector<std::string>{"HTTP 2 a\\rb x\n", "HTTP 5 dump\n\t41\\n\n",
                                             "URL 3 |URL| a\\rb\n"}));
    EXPECT_EQ(read_lines(today()), (std::vector<std::string>{"06/12/2026 18:20:05: host"}));

    // Without a sink, each goes where its route says, as before.
    testing_support::StderrCapture err;
    EXPECT_EQ(verbose_diagnostic(VERBOSE_ROUTE_LOG, VERBOSE_ERROR, "HTTP", "a\rb %s\n", "x"), 28);
    EXPECT_EQ(verbose_diagnostic(VERBOSE_ROUTE_STDERR, VERBOSE_WARN, "URL", "|URL| a\rb\n"), 11);
    EXPECT_EQ(err.text(), "|URL| a\\rb\n");
    EXPECT_EQ(read_file(today()), "06/12/2026 18:20:05: host\n06/12/2026 18:20:05: a\\rb x\n");
    EXPECT_EQ(got.size(), 3u);
}

// The budget guards the log files alone: a sink's messages are neither
// counted as written nor stopped by a full day's file.
TEST_F(Verbose, SinkMessagesAreOutsideTheLogBudget)
{
    std::vector<std::string> got;
    testing_support::write_file(today(), "");
    fs::resize_file(today(), VERBOSE_BUDGET);
    verbose_set_sink(testing_support::record_diagnostic, &got);
    verbose_limit_set(100);
    EXPECT_EQ(verbose_diagnostic(VERBOSE_ROUTE_LOG, VERBOSE_ERROR, "HTTP", "spent\n"), 6);
    verbose_diagnostic(VERBOSE_ROUTE_LOG_BLOCK, VERBOSE_DEBUG, "HTTP", "dump\n\t41\n");
    verbose_set_sink(nullptr, nullptr);
    EXPECT_EQ(verbose_limit_get(), 100);
    EXPECT_EQ(got, (std::vector<std::string>{"HTTP 2 spent\n", "HTTP 5 dump\n\t41\n"}));
    EXPECT_EQ(fs::file_size(today()), static_cast<uintmax_t>(VERBOSE_BUDGET));
}

// Messages a sink receives from many threads at once.
struct Collected {
    std::mutex lock;
    std::vector<std::string> texts;

    size_t size()
    {
        std::lock_guard<std::mutex> hold(lock);
        return texts.size();
    }
};

void collect(int, const char *, const char *text, void *data)
{
    auto *collected = static_cast<Collected *>(data);
    std::lock_guard<std::mutex> hold(collected->lock);
    collected->texts.emplace_back(text);
}

// Yields until condition holds; false after five seconds.
template <typename Condition>
bool spin_until(Condition condition)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// A sink set and cleared over and over while threads write diagnostics to
// both routes: each message arrives exactly once, at the sink or at its
// route's place, and the budget counts exactly what reached the log. Each
// switch waits for a message to arrive, so both places take part.
TEST_F(Verbose, SinkSwitchedWhileThreadsWriteLosesAndDoublesNothing)
{
    constexpr int threads = 4;
    Collected collected;
    std::vector<int> written(threads, 0);
    std::vector<std::string> errors;
    bool switched = true;
    {
        testing_support::StderrCapture err;
        std::atomic<bool> stop{false};
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t, &stop, &written] {
                int n = 0;
                for (; !stop; ++n) {
                    int route = n % 2 == 0 ? VERBOSE_ROUTE_LOG : VERBOSE_ROUTE_STDERR;
                    verbose_diagnostic(route, VERBOSE_ERROR, "HTTP", "w%d m%06d\n", t, n);
                    // The switching thread gets its turn on a busy machine.
                    std::this_thread::yield();
                }
                written[t] = n;
            });
        }
        for (int cycle = 0; cycle < 20 && switched; ++cycle) {
            size_t received = collected.size();
            verbose_set_sink(collect, &collected);
            switched = spin_until([&] { return collected.size() > received; });
            int32_t charged = verbose_limit_get();
            verbose_set_sink(nullptr, nullptr);
            switched = switched && spin_until([&] { return verbose_limit_get() > charged; });
        }
        stop = true;
        for (std::thread &worker : workers)
            worker.join();
        std::string text = err.text();
        for (size_t start = 0, end; start < text.size(); start = end + 1) {
            end = text.find('\n', start);
            ASSERT_NE(end, std::string::npos) << "a cut line on standard error";
            errors.push_back(text.substr(start, end - start));
        }
    }
    ASSERT_TRUE(switched) << "no message arrived after a switch";

    std::map<std::string, int> seen;
    for (const std::string &line : read_lines(today())) {
        ASSERT_EQ(line.rfind("06/12/2026 18:20:05: ", 0), 0u) << line;
        ++seen[line.substr(21)];
    }
    for (const std::string &text : errors)
        ++seen[text];
    for (const std::string &text : collected.texts) {
        ASSERT_EQ(text.back(), '\n');
        ++seen[text.substr(0, text.size() - 1)];
    }
    std::vector<std::string> wrong;
    size_t total = 0;
    for (int t = 0; t < threads; ++t) {
        total += static_cast<size_t>(written[t]);
        for (int n = 0; n < written[t]; ++n) {
            char text[32];
            std::snprintf(text, sizeof text, "w%d m%06d", t, n);
            auto found = seen.find(text);
            int times = found != seen.end() ? found->second : 0;
            if (times != 1)
                wrong.push_back(std::string(text) + " x" + std::to_string(times));
        }
    }
    EXPECT_EQ(wrong, std::vector<std::string>{});
    EXPECT_EQ(seen.size(), total);
    // Counted in characters, as read back: Windows writes each line feed as two bytes.
    EXPECT_EQ(verbose_limit_get(), static_cast<int32_t>(read_file(today()).size()));
}

// ---- The budget of each day's file.

constexpr int64_t budget = VERBOSE_BUDGET;
constexpr int64_t room = VERBOSE_BUDGET_ROOM;
constexpr time_t one_day = 86400;

// Each case runs on days of its own: a process tells of a day's spent
// budget once, and remembers that it did.
class VerboseBudget : public Verbose {
protected:
    void TearDown() override
    {
        // A line on a later day takes the count of the case's drops along,
        // so that the next case starts without one.
        fake_now = fake_now + 10 * one_day;
        verbose(stdout, "fim\n");
        Verbose::TearDown();
    }

    // Makes the file hold held bytes (sparse); its path.
    static fs::path filled(const fs::path &file, int64_t held)
    {
        testing_support::write_file(file, "");
        fs::resize_file(file, static_cast<uintmax_t>(held));
        return file;
    }
};

TEST_F(VerboseBudget, TheCrossingLineIsWrittenWholeThenOneMarker)
{
    fake_now = 1830254400; // 2027-12-31 12:00:00
    fs::path file = filled(log_file(dir(), 2027, 12, 31), budget - 10);
    testing_support::StderrCapture err;
    log_component all{65535, "B"};
    std::string crossing(100, 'x');
    EXPECT_EQ(verbose(stdout, "%s\n", crossing.c_str()), 122);
    EXPECT_EQ(verbose(stdout, "after\n"), 0);
    EXPECT_EQ(verbose_in(&all, VERBOSE_FATAL, "after\n"), 0);
    EXPECT_EQ(verbose2(5, 1, stdout, "B", "after\n"), 0);
    EXPECT_EQ(verbose_base("after"), 0);

    EXPECT_EQ(read_file(file).substr(budget - 10),
              "31/12/2027 12:00:00: " + crossing + "\n" +
                  "31/12/2027 12:00:00: Limite diario do log atingido (10485760 bytes): linhas "
                  "descartadas ate 01/01/2028 00:00:00.\n");
    EXPECT_EQ(verbose_budget_spent_day(), 20271231);
    EXPECT_EQ(err.text(),
              "vesk: limite diario do log atingido (10485760 bytes) em log" PLATFORM_PATH_SEP_STR
              "monitor_20271231.log; linhas descartadas ate 01/01/2028 00:00:00.\n");
}

// A line that would take the file past the room after the budget is
// dropped, and a short line says so in its place.
TEST_F(VerboseBudget, ALineBeyondTheRoomIsReplacedByAShortLine)
{
    fake_now = 1801828800; // 2027-02-05 12:00:00
    const fs::path file = log_file(dir(), 2027, 2, 5);
    const struct {
        int64_t held;
        int64_t size; // of the line, prefix and line feed included
        bool whole;
    } cases[] = {
        {budget - 1, room + 1, true}, // ends exactly at the room's end
        {budget - 1, room + 2, false},
        {0, budget + room + 1, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        filled(file, c.held);
        std::string message(static_cast<size_t>(c.size - 22), 'x');
        int result = verbose(stdout, "%s\n", message.c_str());
        std::string added = read_file(file).substr(static_cast<size_t>(c.held));
        std::string expected =
            c.whole ? "05/02/2027 12:00:00: " + message + "\n"
                    : "05/02/2027 12:00:00: Linha de " + std::to_string(c.size) +
                          " bytes descartada: passaria do limite diario do log (10485760 bytes).\n";
        EXPECT_EQ(result, c.whole ? c.size : 0);
        EXPECT_TRUE(added == expected) << added.substr(0, 120);
    }
}

// Threads that reach the budget together: every line is written whole or
// dropped, and one marker, until the end of the leap day, joins them.
TEST_F(VerboseBudget, ThreadsReachingTheBudgetLeaveOneMarker)
{
    fake_now = 1835352000; // 2028-02-28 12:00:00
    const fs::path file = filled(log_file(dir(), 2028, 2, 28), budget - 20000);
    testing_support::StderrCapture err;
    constexpr int threads = 8;
    constexpr int lines_each = 100;
    std::atomic<int> written{0};
    std::atomic<int> failed{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, &written, &failed] {
            for (int n = 0; n < lines_each; ++n) {
                int result = verbose(stdout, "thread %d line %03d %060d\n", t, n, 0);
                if (result > 0)
                    ++written;
                else if (result < 0)
                    ++failed;
            }
        });
    }
    for (std::thread &worker : workers)
        worker.join();

    const std::string marker =
        "28/02/2028 12:00:00: Limite diario do log atingido (10485760 bytes): "
        "linhas descartadas ate 29/02/2028 00:00:00.";
    // The first line holds the file's zeros too.
    std::vector<std::string> lines = read_lines(file);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), marker), 1);
    EXPECT_EQ(lines.size(), static_cast<size_t>(written + 1));
    EXPECT_LT(written, threads * lines_each);
    std::string told = err.text();
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;
}

// The first line written to a later day's file is led by the count of the
// lines this process dropped, and from which day to which.
TEST_F(VerboseBudget, TheNextDayTellsHowManyLinesWereDropped)
{
    testing_support::StderrCapture err;
    log_component all{65535, "B"};
    fake_now = 1806926400; // 2027-04-05 12:00:00
    filled(log_file(dir(), 2027, 4, 5), budget);
    verbose(stdout, "one\n");
    verbose_in(&all, VERBOSE_INFO, "two\n");
    verbose_base("three");
    fake_now = fake_now + one_day;
    filled(log_file(dir(), 2027, 4, 6), budget);
    verbose(stdout, "four\n");
    verbose(stdout, "five\n");
    EXPECT_EQ(verbose_budget_spent_day(), 20270406);
    fake_now = fake_now + one_day;
    EXPECT_EQ(verbose(stdout, "hello\n"), 27);
    verbose(stdout, "again\n");
    EXPECT_EQ(read_file(log_file(dir(), 2027, 4, 7)),
              "07/04/2027 12:00:00: 5 linhas descartadas de 05/04/2027 a 06/04/2027 pelo limite "
              "diario do log.\n"
              "07/04/2027 12:00:00: hello\n"
              "07/04/2027 12:00:00: again\n");

    fake_now = fake_now + one_day;
    filled(log_file(dir(), 2027, 4, 8), budget);
    verbose(stdout, "six\n");
    fake_now = fake_now + one_day;
    verbose(stdout, "seven\n");
    EXPECT_EQ(read_file(log_file(dir(), 2027, 4, 9)),
              "09/04/2027 12:00:00: 1 linha descartada em 08/04/2027 pelo limite diario do log.\n"
              "09/04/2027 12:00:00: seven\n");
    EXPECT_EQ(verbose_budget_spent_day(), 20270408);
    // Standard error heard of each spent day once.
    std::string told = err.text();
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 3) << told;
}

} // namespace
