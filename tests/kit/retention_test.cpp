// The kit's log retention in the real vesk executable: the host's daily log
// files of LOG_DAYS (or vesk.logDays) days or more are removed at start and
// again on the kit's schedule; other files, and invalid values, are left be.
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Files that a retention of 2 days removes, and files it keeps.
const std::vector<std::string> old_logs = {"monitor_20010103.log", "monitor_20010110.log"};
const std::vector<std::string> kept = {"monitor_20010101.log", "monitor_20010102.log", "other.log",
                                       "monitor_x.txt"};

class KitRetention : public testing_support::TempDirTest {
protected:
    // A fresh log/ with the files of both lists, and no marker of a run.
    void fill()
    {
        fs::remove_all("log");
        fs::remove("done.txt");
        fs::create_directory("log");
        age("monitor_20010110.log", 24h * 10);
        age("monitor_20010103.log", 24h * 3);
        age("monitor_20010101.log", 25h);
        age("monitor_20010102.log", 0h);
        age("other.log", 24h * 10);
        age("monitor_x.txt", 24h * 10);
    }

    // A file in log/ whose modification time lies back in the past.
    void age(const std::string &name, std::chrono::hours back)
    {
        fs::path path = dir() / "log" / name;
        testing_support::write_file(path, "linha\n");
        fs::last_write_time(path, fs::file_time_type::clock::now() - back);
    }

    // Starts vesk on entry with more words and environment entries, and
    // waits until it has written done.txt.
    void start(const std::string &entry, std::vector<std::string> words,
               std::vector<std::string> env = {})
    {
        testing_support::write_file("conf/vesk.ini",
                                    std::string("VERBOSITY=4\nCLASSPATH=") + VESK_TEST_JAR +
                                        "\nLIBRARY_PATH=" + VESK_TEST_NATIVES_DIR +
                                        "\nlibrary=vesk_java\nENTRY_CLASS=" + entry + "\n");
        child_ = std::make_unique<testing_support::Child>(VESK_EXE, words, dir(), env,
                                                          dir() / "stderr.txt");
        ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "done.txt"); }))
            << testing_support::read_file(dir() / "stderr.txt");
    }

    // The kit's own lines in the day's log, after their time prefix.
    std::vector<std::string> kit_lines()
    {
        std::vector<std::string> lines;
        for (const std::string &line :
             testing_support::read_lines(testing_support::todays_log(dir()))) {
            std::string text = line.substr(std::min<size_t>(line.size(), 21));
            if (text.rfind("VeskHost|", 0) == 0)
                lines.push_back(text);
        }
        return lines;
    }

    static bool gone(const std::vector<std::string> &names)
    {
        for (const std::string &name : names) {
            if (fs::exists(fs::path("log") / name))
                return false;
        }
        return true;
    }

    static void expect_kept()
    {
        for (const std::string &name : kept)
            EXPECT_TRUE(fs::exists(fs::path("log") / name)) << name;
        EXPECT_TRUE(fs::exists(testing_support::todays_log(".")));
    }

    std::unique_ptr<testing_support::Child> child_;
};

TEST_F(KitRetention, OldLogFilesGoAtStartAsTheOptionOrThePropertyAsks)
{
    const std::string property = "JAVA_TOOL_OPTIONS=-Dvesk.logDays=";
    const std::string refused = "VeskHost|ERROR|0|Valor invalido em ";
    const std::string range = "' (deve ser um numero inteiro de dias de 1 a 2147483647); "
                              "nenhum log sera removido.";
    const struct {
        std::vector<std::string> words;
        std::vector<std::string> env;
        std::string line; // the kit's one line; empty for none
    } cases[] = {
        {{"LOG_DAYS", "2"}, {}, "VeskHost|INFO|2|Removidos 2 arquivos de log com 2 dias ou mais."},
        {{}, {property + "2"}, "VeskHost|INFO|2|Removidos 2 arquivos de log com 2 dias ou mais."},
        {{"LOG_DAYS", "0"}, {}, refused + "LOG_DAYS: '0" + range},
        {{"LOG_DAYS", "-1"}, {}, refused + "LOG_DAYS: '-1" + range},
        {{"LOG_DAYS", "abc"}, {property + "2"}, refused + "LOG_DAYS: 'abc" + range},
        {{"LOG_DAYS", "2147483648"}, {}, refused + "LOG_DAYS: '2147483648" + range},
        {{}, {property + "2d"}, refused + "vesk.logDays: '2d" + range},
        {{}, {}, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.words) + testing::PrintToString(c.env));
        fill();
        std::vector<std::string> words = {"SCENARIO", "retention"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        start("vesk/test/KitEntry", words, c.env);
        bool removes = c.line.find("|INFO|") != std::string::npos;
        if (removes) {
            EXPECT_TRUE(testing_support::wait_until(
                [&] { return gone(old_logs) && !kit_lines().empty(); }));
        } else {
            // A refusal is logged by install, before done.txt; nothing is scheduled.
            for (const std::string &name : old_logs)
                EXPECT_TRUE(fs::exists(fs::path("log") / name)) << name;
        }
        expect_kept();
        EXPECT_EQ(kit_lines(),
                  c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line});
        EXPECT_EQ(testing_support::read_file("retention.txt"),
                  removes ? "threads=1 daemon=true\n" : "threads=0\n");
        child_.reset();
    }
}

// The public call gives its count; the schedule, on a period of 100 ms
// instead of a day, runs again and again on one daemon thread.
TEST_F(KitRetention, TheScheduleRepeatsOnOneDaemonThread)
{
    fill();
    start("vesk/host/RetentionProbe", {"PERIOD", "100"});
    EXPECT_EQ(testing_support::read_file("probe.txt"), "removed=2 threads=1 daemon=true\n");
    EXPECT_TRUE(gone(old_logs));
    for (const char *name : {"monitor_20010201.log", "monitor_20010202.log"}) {
        age(name, 24h * 5);
        EXPECT_TRUE(testing_support::wait_until([&] { return gone({name}); }, 5s)) << name;
    }
    expect_kept();
    testing_support::wait_until([&] { return kit_lines().size() >= 3; });
    EXPECT_EQ(kit_lines(), (std::vector<std::string>{
                               "VeskHost|INFO|2|Removidos 2 arquivos de log com 2 dias ou mais.",
                               "VeskHost|INFO|1|Removido 1 arquivo de log com 2 dias ou mais.",
                               "VeskHost|INFO|1|Removido 1 arquivo de log com 2 dias ou mais.",
                           }));
}

} // namespace
