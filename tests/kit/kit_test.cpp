// The Java side's kit: an entry class built on it, run by the vesk
// executable, logs through java.util.logging and System.Logger into the
// daily log; native code calls its dispatcher through the bridge.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <regex>
#include <set>
#include <string>
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

class KitLog : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
    }

    void configure(const std::string &verbosity)
    {
        testing_support::write_file(
            "conf/vesk.ini", "VERBOSITY=" + verbosity + "\nCLASSPATH=" + VESK_TEST_JAR +
                                 "\nLIBRARY_PATH=" + VESK_TEST_NATIVES_DIR +
                                 "\nlibrary=vesk_java\nENTRY_CLASS=vesk/test/KitEntry\n");
    }

    // Runs KitEntry's scenario in vesk, with VERBOSITY in the ini file and
    // more words on the command line; the lines that the Java side logged,
    // once it is done.
    std::vector<std::string> run(const std::string &verbosity, const std::string &scenario,
                                 std::vector<std::string> words = {})
    {
        configure(verbosity);
        fs::remove("done.txt");
        fs::remove_all("log");
        fs::create_directory("log");
        words.insert(words.begin(), {"SCENARIO", scenario});
        child_ = std::make_unique<testing_support::Child>(vesk, words, dir(),
                                                          std::vector<std::string>{},
                                                          dir() / "stderr.txt");
        EXPECT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "done.txt"); }))
            << testing_support::read_file(dir() / "stderr.txt");
        std::vector<std::string> lines;
        for (const std::string &line : read_lines(testing_support::todays_log(dir()))) {
            std::string text = line.substr(std::min<size_t>(line.size(), 21));
            if (text.rfind("|VESK| ", 0) != 0 && text.rfind("VERBOSITY=", 0) != 0)
                lines.push_back(line);
        }
        child_.reset();
        return lines;
    }

    std::unique_ptr<testing_support::Child> child_;
};

TEST_F(KitLog, EveryLevelLandsInTheDailyLogAsVerbosityAllows)
{
    struct Expected {
        int level;
        const char *line; // a pattern for the line after its time prefix
    };
    const std::vector<Expected> all = {
        {2, R"(kit\.Levels\|ERROR\|11\|severo 11)"},
        {3, R"(kit\.Levels\|WARN\|12\|aviso 12)"},
        {4, R"(kit\.Levels\|INFO\|13\|info 13)"},
        {4, R"(kit\.Levels\|INFO\|14\|config 14)"},
        {5, R"(kit\.Levels\|DEBUG\|15\|fino 15)"},
        {5, R"(kit\.Levels\|DEBUG\|16\|mais fino 16)"},
        {5, R"(kit\.Levels\|DEBUG\|17\|finissimo 17)"},
        {4, R"(kit\.Levels\|INFO\|\d+\|sem codigo texto)"},
        // Standard UTF-8: one 4-byte sequence outside the BMP, U+FFFD for a
        // lone surrogate.
        {4, "kit\\.Levels\\|INFO\\|18\\|utf-8 18: "
            "a\xc3\xa7\xc3\xa3o \xf0\x9f\x98\x80 \xef\xbf\xbd"},
        {2, R"(kit\.Levels\|ERROR\|\d+\|falha ao gravar no disco: java\.io\.IOException: disco cheio)"},
        {2, R"(kit\.System\|ERROR\|21\|erro 21)"},
        {3, R"(kit\.System\|WARN\|22\|aviso 22)"},
        {4, R"(kit\.System\|INFO\|23\|info 23)"},
        {5, R"(kit\.System\|DEBUG\|24\|debug 24)"},
        {5, R"(kit\.System\|DEBUG\|25\|trace 25)"},
        {2, R"(kit\.System\|ERROR\|\d+\|excecao: java\.lang\.IllegalStateException: estado)"},
        {1, R"(KitEntry\|FATAL\|1\|fatal)"},
        {3, R"(WARN\|9\|sem classe)"},
    };
    for (int verbosity : {5, 3, 0}) {
        SCOPED_TRACE(verbosity);
        std::vector<std::string> lines = run(std::to_string(verbosity), "levels");
        std::vector<std::string> expected;
        for (const Expected &line : all) {
            if (line.level <= verbosity)
                expected.push_back(line.line);
        }
        ASSERT_EQ(lines.size(), expected.size()) << testing::PrintToString(lines);
        for (size_t i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(std::regex_match(lines[i], std::regex(stamp + expected[i]))) << lines[i];
    }
}

// 8 threads log 1,000 lines each at once: every line arrives whole and once,
// each with a sequence number of its own as code.
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
    testing_support::ChildResult result = testing_support::run_child(
        vesk, {"library", "sem_biblioteca"}, dir());
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.err_text.find("sem_biblioteca"), std::string::npos) << result.err_text;
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
