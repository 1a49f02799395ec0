// The Java side's kit: an entry class built on it, run by the vesk
// executable, logs through java.util.logging and System.Logger into the
// daily log; native code calls its dispatcher through the bridge.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "jvm/java_utils.h"
#include "jvm_env.h"
#include "log/verbose.h"
#include "util/vesk_utils.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_lines;

const std::string vesk = VESK_EXE;
// A log line's time prefix.
const std::string stamp = R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d: )";

// The lines after their time prefix.
std::vector<std::string> texts_of(const std::vector<std::string> &lines)
{
    std::vector<std::string> texts;
    for (const std::string &line : lines)
        texts.push_back(line.substr(std::min<size_t>(line.size(), 21)));
    return texts;
}

// What KitEntry's "levels" scenario logs, as patterns of the lines after
// their time prefix, for a threshold; hosted is what VeskHost.hosted() says.
std::vector<std::string> level_lines(int verbosity, bool hosted)
{
    struct Expected {
        int level;
        std::string line;
    };
    const std::vector<Expected> all = {
        {2, R"(kit\.Levels\|ERROR\|11\|severo)"},
        {3, R"(kit\.Levels\|WARN\|12\|aviso)"},
        {4, R"(kit\.Levels\|INFO\|13\|info)"},
        {4, R"(kit\.Levels\|INFO\|14\|config)"},
        {5, R"(kit\.Levels\|DEBUG\|15\|fino)"},
        {5, R"(kit\.Levels\|DEBUG\|16\|mais fino)"},
        {5, R"(kit\.Levels\|DEBUG\|17\|finissimo)"},
        {4, R"(kit\.Levels\|INFO\|\d+\|sem codigo texto)"},
        // Standard UTF-8: one 4-byte sequence outside the BMP, U+FFFD for a
        // lone surrogate.
        {4, "kit\\.Levels\\|INFO\\|18\\|utf-8: "
            "a\xc3\xa7\xc3\xa3o \xf0\x9f\x98\x80 \xef\xbf\xbd"},
        // Escaped alike with the host and without it.
        {4, R"(kit\.Levels\|INFO\|19\|escapes:\\u2028<0>aqui\\x1B\[2J\\u202E\\u0085)"},
        {2,
         R"(kit\.Levels\|ERROR\|\d+\|falha ao gravar no disco: java\.io\.IOException: disco cheio)"},
        {2, R"(kit\.System\|ERROR\|21\|erro)"},
        {3, R"(kit\.System\|WARN\|22\|aviso)"},
        {4, R"(kit\.System\|INFO\|23\|info)"},
        {5, R"(kit\.System\|DEBUG\|24\|debug)"},
        {5, R"(kit\.System\|DEBUG\|25\|trace)"},
        {2, R"(kit\.System\|ERROR\|\d+\|excecao: java\.lang\.IllegalStateException: estado)"},
        {1, R"(KitEntry\|FATAL\|1\|fatal)"},
        {3, R"(WARN\|9\|sem classe)"},
        {4, std::string(R"(KitEntry\|INFO\|2\|hosted=)") + (hosted ? "true" : "false")},
    };
    std::vector<std::string> expected;
    for (const Expected &line : all) {
        if (line.level <= verbosity)
            expected.push_back(line.line);
    }
    return expected;
}

// Checks the traces under the "levels" scenario's two exceptions (when
// logged); the lines without them.
std::vector<std::string> level_traces(const std::vector<std::string> &lines)
{
    const std::string frame = R"(\t\tat vesk\.test\.KitEntry\.levels\(KitEntry\.java:\d+\))";
    const std::vector<std::pair<std::string, std::vector<std::string>>> traces = {
        {"|falha ao gravar no disco: java.io.IOException: disco cheio",
         {"\tjava\\.io\\.IOException: disco\\\\r\\\\ncheio", frame}},
        {"|excecao: java.lang.IllegalStateException: estado",
         {"\tjava\\.lang\\.IllegalStateException: estado", frame}},
    };
    std::vector<std::string> first;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind('\t', 0) == 0)
            continue;
        first.push_back(lines[i]);
        for (const auto &[end, under] : traces) {
            if (lines[i].size() < end.size() ||
                lines[i].compare(lines[i].size() - end.size(), end.size(), end) != 0)
                continue;
            for (size_t k = 0; k < under.size(); ++k) {
                if (i + 1 + k >= lines.size()) {
                    ADD_FAILURE() << "no trace under " << lines[i];
                    break;
                }
                EXPECT_TRUE(std::regex_match(lines[i + 1 + k], std::regex(under[k])))
                    << lines[i + 1 + k];
            }
        }
    }
    return first;
}

// Each line matches its pattern, in order, and there are as many.
void expect_lines(const std::vector<std::string> &texts, const std::vector<std::string> &patterns)
{
    ASSERT_EQ(texts.size(), patterns.size()) << testing::PrintToString(texts);
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_TRUE(std::regex_match(texts[i], std::regex(patterns[i]))) << texts[i];
}

class KitLog : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
    }

    void configure(const std::string &verbosity)
    {
        testing_support::write_file("conf/vesk.ini",
                                    "VERBOSITY=" + verbosity + "\nCLASSPATH=" + VESK_TEST_JAR +
                                        "\nLIBRARY_PATH=" + VESK_TEST_NATIVES_DIR +
                                        "\nlibrary=vesk_java\nENTRY_CLASS=vesk/test/KitEntry\n");
    }

    // Starts KitEntry's scenario in vesk, with VERBOSITY in the ini file and
    // more words on the command line, and waits until it is done.
    void start(const std::string &verbosity, const std::string &scenario,
               std::vector<std::string> words = {})
    {
        configure(verbosity);
        fs::remove("done.txt");
        fs::remove_all("log");
        fs::create_directory("log");
        words.insert(words.begin(), {"SCENARIO", scenario});
        child_ = std::make_unique<testing_support::Child>(
            vesk, words, dir(), std::vector<std::string>{}, dir() / "stderr.txt");
        EXPECT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "done.txt"); }))
            << testing_support::read_file(dir() / "stderr.txt");
    }

    // The lines that the Java side logged so far.
    std::vector<std::string> java_lines()
    {
        std::vector<std::string> lines;
        for (const std::string &line : read_lines(testing_support::todays_log(dir()))) {
            std::string text = line.substr(std::min<size_t>(line.size(), 21));
            if (text.rfind("|VESK| ", 0) != 0 && text.rfind("VERBOSITY=", 0) != 0)
                lines.push_back(line);
        }
        return lines;
    }

    // Runs KitEntry's scenario in vesk; the lines that the Java side logged,
    // once it is done.
    std::vector<std::string> run(const std::string &verbosity, const std::string &scenario,
                                 std::vector<std::string> words = {})
    {
        start(verbosity, scenario, std::move(words));
        std::vector<std::string> lines = java_lines();
        child_.reset();
        return lines;
    }

    std::unique_ptr<testing_support::Child> child_;
};

TEST_F(KitLog, EveryLevelLandsInTheDailyLogAsVerbosityAllows)
{
    for (int verbosity : {5, 3, 0}) {
        SCOPED_TRACE(verbosity);
        std::vector<std::string> lines = run(std::to_string(verbosity), "levels");
        for (const std::string &line : lines) {
            EXPECT_TRUE(line.rfind('\t', 0) == 0 ||
                        std::regex_match(line.substr(0, 21), std::regex(stamp)))
                << line;
        }
        expect_lines(texts_of(level_traces(lines)), level_lines(verbosity, true));
    }
}

TEST_F(KitLog, LinesFromManyThreadsArriveWhole)
{
    std::vector<std::string> lines = run("4", "storm");
    ASSERT_EQ(lines.size(), 8000u);
    std::regex shape(stamp + R"(kit\.Storm\|INFO\|(\d+)\|t(\d) linha (\d+) x{60})");
    std::set<std::string> codes;
    std::set<std::string> events;
    for (const std::string &line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
        codes.insert(match[1].str());
        events.insert(match[2].str() + "/" + match[3].str());
    }
    EXPECT_EQ(codes.size(), 8000u);
    EXPECT_EQ(events.size(), 8000u);
}

// The kit filters with the threshold the host read from its ini file, not
// with a VERBOSITY that the command line passes on to start.
TEST_F(KitLog, TheKitFiltersWithTheHostsOwnThreshold)
{
    const struct {
        const char *ini;
        std::vector<std::string> words;
        const char *reported; // the kit's threshold and the root logger's level
        bool info;            // whether a java.util.logging INFO line arrives
    } cases[] = {
        {"4", {"VERBOSITY", "1"}, "4 CONFIG", true},
        {"1", {"VERBOSITY", "5"}, "1 OFF", false},
        {"1000000061442", {}, "2 SEVERE", false}, // cut to 16 bits as the host does
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ini);
        std::vector<std::string> lines = run(c.ini, "threshold", c.words);
        std::vector<std::string> expected = {std::string(R"(KitEntry\|FATAL\|0\|)") + c.reported};
        if (c.info)
            expected.push_back(R"(kit\.Threshold\|INFO\|\d+\|info)");
        ASSERT_EQ(lines.size(), expected.size()) << testing::PrintToString(lines);
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(std::regex_match(lines[i], std::regex(stamp + expected[i]))) << lines[i];
    }
}

TEST_F(KitLog, ANativeHalfThatCannotLoadFailsTheLaunch)
{
    configure("4");
    testing_support::ChildResult result =
        testing_support::run_child(vesk, {"library", "sem_biblioteca"}, dir());
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err_text.find("sem_biblioteca"), std::string::npos) << result.err_text;
}

// SIGTERM while four threads log numbered lines and a shutdown hook logs
// after the JDK has reset java.util.logging: every line that was logged
// before the process ended is in the log, each thread's without a gap.
TEST_F(KitLog, LinesLoggedWhileTheJvmShutsDownReachTheLog)
{
    start("4", "shutdown");
    EXPECT_EQ(child_->stop(SIGTERM), 143);
    std::regex numbered(R"(kit\.Shutdown\|INFO\|\d+\|(t\d|gancho) (\d+))");
    std::map<std::string, std::set<int>> numbers;
    bool after_reset = false;
    for (const std::string &text : texts_of(java_lines())) {
        std::smatch match;
        if (std::regex_match(text, match, numbered))
            EXPECT_TRUE(numbers[match[1]].insert(std::stoi(match[2])).second) << text;
        else if (std::regex_match(
                     text, std::regex(R"(kit\.Shutdown\|INFO\|\d+\|gancho depois do reset)")))
            after_reset = true;
        else
            ADD_FAILURE() << text;
    }
    EXPECT_TRUE(after_reset);
    ASSERT_EQ(numbers.size(), 5u);
    for (const auto &[who, seen] : numbers) {
        SCOPED_TRACE(who);
        EXPECT_GE(seen.size(), who == "gancho" ? 100u : 101u);
        EXPECT_EQ(static_cast<size_t>(*seen.rbegin()) + 1, seen.size());
    }
    EXPECT_EQ(numbers["gancho"].size(), 100u);
}

// Captured System.out and System.err: one line per line written, whatever
// the pieces, and a printStackTrace as one event. When the log stops taking
// lines (a file-size limit), the lines it refuses go to the standard output
// that was replaced, and nothing loops.
TEST_F(KitLog, StandardStreamsGoToTheLogOrBackWhenItFails)
{
    std::vector<std::string> lines = run("4", "streams");
    ASSERT_GE(lines.size(), 608u);
    const std::vector<std::string> first = {
        stamp + R"(System\.out\|INFO\|1\|saida 1)",
        stamp + R"(System\.err\|ERROR\|1\|erro 2)",
        stamp + R"(System\.out\|INFO\|2\|em partes)",
        stamp + R"(System\.out\|INFO\|3\|duas)",
        stamp + R"(System\.out\|INFO\|4\|linhas)",
        stamp + R"(System\.err\|ERROR\|2\|java\.lang\.IllegalStateException: rastro)",
        R"(\t\tat vesk\.test\.KitEntry\.streams\(KitEntry\.java:\d+\))",
        R"(\t\tat vesk\.test\.KitEntry\.start\(KitEntry\.java:\d+\))",
    };
    expect_lines(std::vector<std::string>(lines.begin(), lines.begin() + 8), first);
    std::vector<std::string> numbered =
        texts_of(std::vector<std::string>(lines.end() - 600, lines.end()));
    for (int i = 0; i < 600; ++i) {
        EXPECT_EQ(numbered[i], "System.out|INFO|" + std::to_string(5 + i) + "|numerada " +
                                   std::to_string(i) + " " + std::string(200, 'y'));
    }

    configure("4");
    fs::remove("done.txt");
    fs::remove_all("log");
    fs::create_directory("log");
    // Files of the host's process stop at 32 KiB; its standard output is a
    // pipe to cat, which has no limit.
    child_ = std::make_unique<testing_support::Child>(
        "/bin/bash",
        std::vector<std::string>{"-c",
                                 "exec > >(exec cat > out.txt); trap '' XFSZ; ulimit -f 32; "
                                 "exec \"$0\" SCENARIO streams",
                                 vesk},
        dir(), std::vector<std::string>{}, dir() / "stderr.txt");
    ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "done.txt"); }))
        << testing_support::read_file(dir() / "stderr.txt");
    std::regex logged(R"(System\.out\|INFO\|\d+\|numerada (\d+) y{200})");
    std::regex printed(R"(numerada (\d+) y{200})");
    std::set<int> in_log;
    std::set<int> on_stdout;
    testing_support::wait_until([&] {
        in_log.clear();
        on_stdout.clear();
        std::smatch match;
        for (const std::string &text : texts_of(java_lines())) {
            if (std::regex_match(text, match, logged))
                in_log.insert(std::stoi(match[1]));
        }
        for (const std::string &line : read_lines(dir() / "out.txt")) {
            if (std::regex_match(line, match, printed))
                on_stdout.insert(std::stoi(match[1]));
        }
        return in_log.size() + on_stdout.size() >= 600;
    });
    EXPECT_FALSE(in_log.empty());
    EXPECT_FALSE(on_stdout.empty());
    std::set<int> all(in_log);
    all.insert(on_stdout.begin(), on_stdout.end());
    EXPECT_EQ(all.size(), 600u);
    EXPECT_EQ(in_log.size() + on_stdout.size(), 600u);
    EXPECT_TRUE(child_->running());
    EXPECT_EQ(testing_support::read_file(dir() / "stderr.txt").find("StackOverflowError"),
              std::string::npos);
}

// Logging past the day's budget: the host drops the lines, marks the file
// and tells standard error, once; VeskHost.logBudgetSpent() is true while
// events are dropped and false again once one is written.
TEST_F(KitLog, ASpentBudgetIsToldOnceOnStandardError)
{
    // The file was emptied before the last event: it alone is there.
    EXPECT_EQ(texts_of(run("4", "budget")),
              std::vector<std::string>{"kit.Budget|INFO|de novo|gravada"});
    std::smatch match;
    std::string outcome = testing_support::read_file(dir() / "budget.txt");
    ASSERT_TRUE(
        std::regex_match(outcome, match, std::regex("spent=true lines=(\\d+) again=false\n")))
        << outcome;
    int lines = std::stoi(match[1]);
    EXPECT_GT(lines, 2500);
    // The last line written is the one that crossed the budget, then the
    // marker: the line after it was dropped, and so was everything later.
    std::vector<std::string> full = texts_of(read_lines(dir() / "full.log"));
    ASSERT_GE(full.size(), 2u);
    EXPECT_EQ(full[full.size() - 2].rfind("kit.Budget|INFO|" + std::to_string(lines - 2) + "|", 0),
              0u)
        << full[full.size() - 2].substr(0, 40);
    EXPECT_TRUE(std::regex_match(
        full.back(), std::regex(R"(Limite diario do log atingido \(10485760 bytes\): )"
                                R"(linhas descartadas ate \d\d/\d\d/\d{4} 00:00:00\.)")))
        << full.back();
    std::string err = testing_support::read_file(dir() / "stderr.txt");
    std::regex notice(
        R"(vesk: limite diario do log atingido \(10485760 bytes\) em log/monitor_\d{8}\.log; )"
        R"(linhas descartadas ate \d\d/\d\d/\d{4} 00:00:00\.\n)");
    EXPECT_EQ(
        std::distance(std::sregex_iterator(err.begin(), err.end(), notice), std::sregex_iterator()),
        1)
        << err;
}

// Under plain java, with no host, the same entry class writes the same
// lines to standard error, and VeskHost.hosted() tells it so.
TEST_F(KitLog, WithoutTheHostTheLinesGoToStandardError)
{
    testing_support::ChildResult result = testing_support::run_child(
        VESK_JAVA_EXE,
        {"-cp", VESK_TEST_JAR, "vesk.test.KitEntry", "SCENARIO", "levels", "VERBOSITY", "5"},
        dir());
    EXPECT_EQ(result.status, 0) << result.err_text;
    std::vector<std::string> lines;
    std::istringstream err(result.err_text);
    // Not the JVM's own notes, such as the options it picked up.
    for (std::string line; std::getline(err, line);) {
        if (line.rfind('\t', 0) == 0 || std::regex_search(line, std::regex("^" + stamp)))
            lines.push_back(line);
    }
    expect_lines(texts_of(level_traces(lines)), level_lines(5, false));
    EXPECT_TRUE(fs::exists(dir() / "done.txt"));
    EXPECT_TRUE(fs::is_empty(dir() / "log"));
}

// A printStackTrace text cut at its line ends (CR LF, LF or CR), each line
// after a tab, NUL as a blank.
std::vector<std::string> tab_led(std::string text)
{
    std::replace(text.begin(), text.end(), '\0', ' ');
    std::vector<std::string> lines;
    std::regex end("\r\n|\r|\n");
    for (auto it = std::sregex_token_iterator(text.begin(), text.end(), end, -1);
         it != std::sregex_token_iterator(); ++it)
        lines.push_back("\t" + it->str());
    return lines;
}

// A log line and the continuation lines under it.
struct Event {
    std::string line;
    std::vector<std::string> under;
};

// The lines as events: each line that no tab leads, with the tab-led lines
// that follow it.
std::vector<Event> events_of(const std::vector<std::string> &lines)
{
    std::vector<Event> events;
    for (const std::string &line : lines) {
        if (line.rfind('\t', 0) == 0 && !events.empty())
            events.back().under.push_back(line);
        else
            events.push_back({line, {}});
    }
    return events;
}

// What the log line says of KitEntry's deep throwable, after its message.
const std::string deep_summary =
    ": java.lang.IllegalStateException: linha 1 linha 2 linha 3 linha 4 "
    "\tat evil.Forged.frame(Forged.java:1)";

// A line that KitEntry's thread of plain lines logs.
const std::regex plain_line(stamp + R"(kit\.Plain\|INFO\|\d+\|simples \d+)");

// KitEntry's deep throwable, which the scenario printed to trace.txt in
// folder, as the lines under its log line: the whole printStackTrace text,
// its message's line breaks escaped on its one first line.
std::vector<std::string> deep_trace(const fs::path &folder)
{
    std::vector<std::string> printed = tab_led(testing_support::read_file(folder / "trace.txt"));
    if (printed.size() < 111u) {
        ADD_FAILURE() << testing::PrintToString(printed);
        return {};
    }
    EXPECT_EQ(std::vector<std::string>(printed.begin(), printed.begin() + 5),
              (std::vector<std::string>{"\tjava.lang.IllegalStateException: linha 1", "\tlinha 2",
                                        "\tlinha 3", "\tlinha 4",
                                        "\t\tat evil.Forged.frame(Forged.java:1)"}));
    std::vector<std::string> trace = {
        "\tjava.lang.IllegalStateException: linha 1\\r\\nlinha 2\\rlinha 3"
        "\\nlinha 4\\n\tat evil.Forged.frame(Forged.java:1)"};
    trace.insert(trace.end(), printed.begin() + 5, printed.end());
    auto suppressed = std::find(trace.begin(), trace.end(),
                                "\t\tSuppressed: java.lang.IllegalArgumentException: ao fechar");
    auto cause =
        std::find(trace.begin(), trace.end(), "\tCaused by: java.io.IOException: disco cheio");
    EXPECT_GE(std::count_if(trace.begin() + 1, suppressed,
                            [](const std::string &line) { return line.rfind("\t\tat ", 0) == 0; }),
              100);
    EXPECT_LT(suppressed, cause);
    EXPECT_NE(cause, trace.end());
    return trace;
}

// A throwable 100 frames deep with a suppressed exception, a cause and line
// breaks in its message, logged through java.util.logging and VeskHost.log
// while another thread logs plain lines: each arrives as its one-line first
// line, then its whole printStackTrace text, one tab-led line per line, with
// no other line inside. The breaks inside the message are escaped on its
// one line, so the frame its message forges is no frame. One whose
// getMessage throws still gets its line.
TEST_F(KitLog, AThrowableArrivesWholeUnderItsLine)
{
    std::vector<std::string> lines = run("4", "traces");
    std::vector<std::string> trace = deep_trace(dir());
    ASSERT_FALSE(trace.empty());
    const std::map<std::string, std::pair<std::string, std::vector<std::string>>> expected = {
        {"31", {"falha no servidor" + deep_summary, trace}},
        {"32", {"falha direta" + deep_summary, trace}},
        {"33",
         {"rastro quebrado: vesk.test.KitEntry$Unprintable",
          {"\tvesk.test.KitEntry$Unprintable (rastro nao escrito: "
           "java.lang.UnsupportedOperationException)"}}},
    };
    std::regex head(stamp + R"(kit\.Traces\|ERROR\|(\d+)\|(.*))");
    std::map<std::string, int> blocks;
    int plain_lines = 0;
    for (const Event &event : events_of(lines)) {
        std::smatch match;
        if (!std::regex_match(event.line, match, head)) {
            EXPECT_TRUE(std::regex_match(event.line, plain_line)) << event.line;
            EXPECT_TRUE(event.under.empty()) << event.line;
            ++plain_lines;
            continue;
        }
        auto found = expected.find(match[1]);
        ASSERT_NE(found, expected.end()) << event.line;
        EXPECT_EQ(match[2], found->second.first);
        EXPECT_EQ(event.under, found->second.second) << event.line;
        ++blocks[match[1]];
    }
    EXPECT_EQ(blocks, (std::map<std::string, int>{{"31", 20}, {"32", 20}, {"33", 1}}));
    EXPECT_GE(plain_lines, 20);
    EXPECT_NE(
        testing_support::read_file(dir() / "stderr.txt").find("java.util.logging.ErrorManager: 5"),
        std::string::npos);
}

// A thread ended by an exception while another thread logs: one ERROR event
// of the kit's, the thread's id as code and its name in the message, the
// whole trace under it; a ThreadDeath gives none, and a default handler the
// server set itself outlives installLogging.
TEST_F(KitLog, AnUncaughtExceptionIsOneEventWithItsTrace)
{
    std::vector<std::string> lines = run("4", "uncaught");
    std::vector<std::string> trace = deep_trace(dir());
    std::vector<Event> others;
    int plain_lines = 0;
    for (const Event &event : events_of(lines)) {
        if (std::regex_match(event.line, plain_line) && event.under.empty())
            ++plain_lines;
        else
            others.push_back(event);
    }
    EXPECT_GE(plain_lines, 20);
    ASSERT_EQ(others.size(), 1u) << testing::PrintToString(lines);
    EXPECT_EQ(texts_of({others[0].line})[0],
              "VeskHost|ERROR|" + testing_support::read_file(dir() / "worker.txt") +
                  "|Excecao nao tratada na thread \"worker-1\"" + deep_summary);
    EXPECT_EQ(others[0].under, trace);
    EXPECT_EQ(testing_support::read_file(dir() / "kept.txt"), "true");
}

// With the streams captured, while another thread logs and prints on
// System.err: each printStackTrace is one event of its stream, its first
// line the throwable after the text waiting for its line end, the whole
// trace under it; a plain println of an exception stays one line; the
// stream's codes count events, none skipped.
TEST_F(KitLog, APrintStackTraceOnACapturedStreamIsOneEvent)
{
    std::vector<std::string> lines = run("4", "stacktraces");
    std::vector<std::string> trace = deep_trace(dir());
    ASSERT_FALSE(trace.empty());
    const std::string first = trace[0].substr(1);
    const std::vector<std::string> under(trace.begin() + 1, trace.end());
    std::regex head(stamp + R"((System\.err|System\.out)\|(?:ERROR|INFO)\|(\d+)\|(.*))");
    std::map<std::string, int> kinds;
    std::map<std::string, std::set<int>> codes;
    for (const Event &event : events_of(lines)) {
        std::smatch match;
        if (std::regex_match(event.line, plain_line)) {
            EXPECT_TRUE(event.under.empty()) << event.line;
            continue;
        }
        ASSERT_TRUE(std::regex_match(event.line, match, head)) << event.line;
        std::string stream = match[1];
        EXPECT_TRUE(codes[stream].insert(std::stoi(match[2])).second) << event.line;
        std::string text = match[3];
        bool traced = text == first || text == "Erro: " + first;
        EXPECT_EQ(event.under, traced ? under : std::vector<std::string>{}) << event.line;
        if (traced)
            ++kinds[stream + (text == first ? " rastro" : " com prefixo")];
        else if (text == "java.lang.IllegalStateException: simples")
            ++kinds[stream + " simples"];
        else
            EXPECT_TRUE(stream == "System.err" &&
                        std::regex_match(text, std::regex(R"(paralela \d+)")))
                << event.line;
    }
    EXPECT_EQ(kinds, (std::map<std::string, int>{{"System.err rastro", 20},
                                                 {"System.err com prefixo", 20},
                                                 {"System.err simples", 20},
                                                 {"System.out rastro", 20}}));
    for (const auto &[stream, seen] : codes)
        EXPECT_EQ(static_cast<size_t>(*seen.rbegin()), seen.size()) << stream;
    EXPECT_GT(codes["System.err"].size(), 80u);
}

// Text still waiting for its line end when the process is told to stop is
// logged, and so is what a shutdown hook prints without one.
TEST_F(KitLog, TextWithoutALineEndIsLoggedAtShutdown)
{
    start("4", "pending");
    EXPECT_EQ(child_->stop(SIGTERM), 143);
    std::vector<std::string> texts = texts_of(java_lines());
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ(texts, (std::vector<std::string>{"System.err|ERROR|1|erro pendente",
                                               "System.out|INFO|1|saida completa",
                                               "System.out|INFO|2|do gancho"}));
}

// The code column holds the record's first parameter only when it is an
// Integer that the message does not place ("{0"); otherwise the record's
// sequence number, never the parameter.
TEST_F(KitLog, TheCodeIsAnIntegerTheMessageDoesNotPlace)
{
    const std::string sequence = R"((?!777\|)\d+)";
    const struct {
        std::string code;
        const char *message;
    } rows[] = {
        {"777", "so codigo"},
        {sequence, "colocado 777"},
        {sequence, "formatado 777"},
        {sequence, R"(citado \{0\})"},
        {"777", "outro sem o primeiro"},
        {sequence, "longo"},
        {sequence, "texto"},
        {sequence, "nulo"},
        {sequence, "sem parametros"},
        {"777", "sistema"},
        {sequence, "sistema 777"},
    };
    std::vector<std::string> patterns;
    for (const auto &row : rows)
        patterns.push_back(R"(kit\.Codes\|INFO\|)" + row.code + R"(\|)" + row.message);
    expect_lines(texts_of(run("4", "codes")), patterns);
}

// A server that stops itself: VeskHost.exit logs why (INFO for a clean stop,
// ERROR for a failure) before the process ends with the status given, and
// the shutdown hooks still log after it; without the host the line goes to
// standard error.
TEST_F(KitLog, ExitLogsWhyAndEndsWithTheStatusGiven)
{
    const struct {
        int status;
        const char *reason;
        const char *line;
    } cases[] = {
        {0, "trabalho concluido",
         R"(VeskHost\|INFO\|0\|Servidor encerrado \(status 0\): trabalho concluido)"},
        {7, "porta em uso", R"(VeskHost\|ERROR\|7\|Servidor encerrado \(status 7\): porta em uso)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.status);
        configure("4");
        fs::remove_all("log");
        fs::create_directory("log");
        testing_support::ChildResult result = testing_support::run_child(
            vesk, {"SCENARIO", "exit", "STATUS", std::to_string(c.status), "REASON", c.reason},
            dir());
        EXPECT_EQ(result.status, c.status) << result.err_text;
        expect_lines(texts_of(java_lines()), {c.line, R"(kit\.Exit\|INFO\|\d+\|gancho de saida)"});
    }
    testing_support::ChildResult result =
        testing_support::run_child(VESK_JAVA_EXE,
                                   {"-cp", VESK_TEST_JAR, "vesk.test.KitEntry", "SCENARIO", "exit",
                                    "STATUS", "5", "REASON", "sem host"},
                                   dir());
    EXPECT_EQ(result.status, 5) << result.err_text;
    std::regex line(stamp + R"(VeskHost\|ERROR\|5\|Servidor encerrado \(status 5\): sem host)");
    std::istringstream err(result.err_text);
    bool found = false;
    for (std::string text; std::getline(err, text);)
        found = found || std::regex_match(text, line);
    EXPECT_TRUE(found) << result.err_text;
}

// A relay that loses every line: "abrir" as if no log file opened, any
// other message as if the write failed.
int32_t losing_relay(int32_t, int32_t *, uint32_t, char **texts, int32_t *, char **) noexcept
{
    return std::strcmp(vesk_getParam(texts, "message"), "abrir") == 0 ? VERBOSE_ERR_OPEN
                                                                      : VERBOSE_ERR_WRITE;
}

// Two handlers lose lines of both kinds: each kind is reported once, with
// its own cause.
TEST(KitLoss, EachCauseOfALostLineIsReportedOncePerProcess)
{
    ub_JVM_handler relay = losing_relay;
    int64_t longs[2] = {static_cast<int64_t>(reinterpret_cast<intptr_t>(relay)), 0};
    jobject host = nullptr;
    testing_support::StderrCapture err;
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(jvm_testing::vm(), 2, longs, "vesk/test/KitLoss", "run",
                                            0, nullptr, &host),
              UB_JVM_OK);
    ub_JVM_unrefObjectMethod(jvm_testing::vm(), host);
    jvm_testing::vm()->DetachCurrentThread();
    std::string reported = err.text();
    std::regex loss("a log line was lost: ([^\n]*)");
    std::vector<std::string> causes;
    for (auto m = std::sregex_iterator(reported.begin(), reported.end(), loss);
         m != std::sregex_iterator(); ++m)
        causes.push_back((*m)[1].str());
    ASSERT_EQ(causes.size(), 2u) << reported;
    EXPECT_NE(causes[0].find("could open neither"), std::string::npos) << causes[0];
    EXPECT_NE(causes[1].find("the write failed"), std::string::npos) << causes[1];
}

// A thread ended by an exception whose event the log loses: the process's
// standard error gets what the JDK would have printed, though System.err is
// elsewhere.
TEST(KitLoss, AnUncaughtExceptionTheLogLosesGoesToStandardError)
{
    ub_JVM_handler relay = losing_relay;
    int64_t longs[2] = {static_cast<int64_t>(reinterpret_cast<intptr_t>(relay)), 0};
    jobject host = nullptr;
    testing_support::StderrCapture err;
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(jvm_testing::vm(), 2, longs, "vesk/test/KitLoss",
                                            "uncaught", 0, nullptr, &host),
              UB_JVM_OK);
    ub_JVM_unrefObjectMethod(jvm_testing::vm(), host);
    jvm_testing::vm()->DetachCurrentThread();
    std::string reported = err.text();
    std::regex printed(
        R"(Exception in thread "perdida-1" java\.lang\.IllegalStateException: perdida)"
        "\n\t"
        R"(at vesk\.test\.KitLoss\.lambda\$uncaught\$\d+\(KitLoss\.java:\d+\))"
        "\n");
    EXPECT_TRUE(std::regex_search(reported, printed)) << reported;
}

class KitDispatcher : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(ub_JVM_callStaticObjectMethod(jvm_testing::vm(), 0, nullptr,
                                                "vesk/test/KitDispatch", "create", 0, nullptr,
                                                &dispatcher_),
                  UB_JVM_OK);
    }
    void TearDown() override
    {
        ub_JVM_unrefObjectMethod(jvm_testing::vm(), dispatcher_);
        jvm_testing::vm()->DetachCurrentThread();
    }

    // The operation's result through callStringMethod ("<NULL>" for none).
    std::string text(const char *operation, std::vector<const char *> args)
    {
        char *result = ub_JVM_genericStringMethod(jvm_testing::vm(), dispatcher_, operation,
                                                  static_cast<int>(args.size()),
                                                  const_cast<char **>(args.data()));
        std::string kept = result != nullptr ? result : "<NULL>";
        std::free(result);
        return kept;
    }

    // The operation's result through callBytesMethod ("<NULL>" for none).
    std::string bytes(const char *operation, std::vector<const char *> args)
    {
        char *result = nullptr;
        uint32_t length = ub_JVM_genericBytesMethod(jvm_testing::vm(), dispatcher_, operation,
                                                    static_cast<int>(args.size()),
                                                    const_cast<char **>(args.data()), &result);
        std::string kept = result != nullptr ? std::string(result, length) : "<NULL>";
        std::free(result);
        return kept;
    }

    jobject dispatcher_ = nullptr;
};

TEST_F(KitDispatcher, EachOperationReachesTheHandlerOfItsName)
{
    EXPECT_EQ(text("eco", {"a", "b"}), "a,b");
    EXPECT_EQ(text("contar", {"1", "2", "3"}), "3");
    EXPECT_EQ(bytes("eco", {"x"}), "x");
    EXPECT_EQ(bytes("bytes", {}), std::string("a\0b", 3));
    EXPECT_EQ(bytes("contar", {}), "0");
}

TEST_F(KitDispatcher, UnknownOperationsAndFailuresGiveNoResult)
{
    testing_support::StderrCapture err;
    EXPECT_EQ(text("nada", {"a"}), "<NULL>");
    EXPECT_EQ(text("nulo", {}), "<NULL>");
    EXPECT_EQ(bytes("falha", {}), "<NULL>");
    std::string reported = err.text();
    for (const char *part : {"Error call callStringMethod -4\n",
                             "UnsupportedOperationException: metodo 'nada' nao registrado",
                             "java.io.IOException: falhou", "Error call callBytesMethod -4\n"})
        EXPECT_NE(reported.find(part), std::string::npos) << part << "\n" << reported;
}

} // namespace
