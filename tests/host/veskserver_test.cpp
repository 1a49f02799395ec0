// The log relay callback and the level names, called directly.
#include "host/veskserver.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/service_config.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_lines;

TEST(VeskServer, GetVerbosityMatchesExactNamesOnly)
{
    const struct {
        const char *name;
        int level;
    } rows[] = {{"NONE", 0},  {"FATAL", 1}, {"ERROR", 2}, {"WARN", 3},   {"INFO", 4},
                {"DEBUG", 5}, {"info", 0},  {"", 0},      {"DEBUGX", 0}, {nullptr, 0}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name != nullptr ? row.name : "(null)");
        EXPECT_EQ(getVerbosity(row.name), row.level);
    }
}

class VeskCallback : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
        saved_ = logger;
        logger.verbosity = VERBOSE_INFO;
        log_component_set_tag(&logger, "VESK");
    }
    void TearDown() override
    {
        logger = saved_;
        TempDirTest::TearDown();
    }

    // Relays texts (a NULL is appended) and returns vesk_cb's result.
    int relay(std::vector<const char *> texts)
    {
        uint32_t count = static_cast<uint32_t>(texts.size());
        texts.push_back(nullptr);
        return vesk_cb(0, nullptr, count, const_cast<char **>(texts.data()), nullptr, nullptr);
    }

    // The log's lines without their time prefix.
    std::vector<std::string> logged()
    {
        std::vector<std::string> lines;
        for (const std::string &line : read_lines(testing_support::todays_log(dir())))
            lines.push_back(line.substr(21));
        return lines;
    }

    log_component saved_{};
};

TEST_F(VeskCallback, ClassEventIsOneUntaggedLineAndReturnsWhatWasWritten)
{
    int written = relay({"class", "Foo", "verbosity", "INFO", "code", "7", "message", "ok"});
    EXPECT_EQ(logged(), std::vector<std::string>{"Foo|INFO|7|ok"});
    EXPECT_EQ(written, static_cast<int>(
                           testing_support::read_file(testing_support::todays_log(dir())).size()));
}

TEST_F(VeskCallback, LevelsAboveTheThresholdOrUnknownAreDropped)
{
    for (const char *level : {"DEBUG", "info", "NONE", "", "TRACE"}) {
        SCOPED_TRACE(level);
        EXPECT_EQ(relay({"class", "Foo", "verbosity", level, "code", "7", "message", "ok"}), 0);
    }
    EXPECT_EQ(relay({"class", "Foo", "code", "7", "message", "no level"}), 0);
    logger.verbosity = VERBOSE_WARN;
    EXPECT_EQ(relay({"class", "Foo", "verbosity", "INFO", "code", "7", "message", "ok"}), 0);
    EXPECT_TRUE(fs::is_empty("log"));
}

TEST_F(VeskCallback, WithoutClassTheFirstValuesPrintByPosition)
{
    relay({"verbosity", "WARN", "code", "9", "message", "x"});
    // The first key need not be verbosity: values print whatever their keys.
    relay({"code", "5", "verbosity", "ERROR", "x", "y", "message", "m"});
    EXPECT_EQ(logged(), (std::vector<std::string>{"WARN|9|x", "5|ERROR|y|m"}));
}

TEST_F(VeskCallback, TheTextCountChoosesHowManyValuesPrint)
{
    std::vector<const char *> all = {"verbosity", "INFO", "k1", "v3",  "k2",  "v5", "k3",
                                     "v7",        "k4",   "v9", "k5",  "v11", "k6", "v13",
                                     "k7",        "v15",  "k8", "v17", "k9",  "v19"};
    const struct {
        size_t count;
        const char *line;
    } rows[] = {{2, "INFO"},
                {3, "INFO"},
                {4, "INFO|v3"},
                {5, "INFO|v3"},
                {7, "INFO|v3|v5"},
                {8, "INFO|v3|v5|v7"},
                {11, "INFO|v3|v5|v7|v9"},
                {12, "INFO|v3|v5|v7|v9|v11"},
                {20, "INFO|v3|v5|v7|v9|v11"}};
    std::vector<std::string> expected;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.count);
        EXPECT_GT(relay(std::vector<const char *>(all.begin(), all.begin() + row.count)), 0);
        expected.push_back(row.line);
    }
    EXPECT_EQ(logged(), expected);
}

TEST_F(VeskCallback, OneTextIsAnInconsistentMessageAtLevelError)
{
    EXPECT_GT(relay({"verbosity"}), 0);
    EXPECT_GT(vesk_cb(0, nullptr, 4, nullptr, nullptr, nullptr), 0); // no texts at all
    logger.verbosity = VERBOSE_FATAL;
    EXPECT_EQ(relay({}), 0);
    EXPECT_EQ(logged(), (std::vector<std::string>{"|VESK| Mensagem inconsistente...",
                                                  "|VESK| Mensagem inconsistente..."}));
}

TEST_F(VeskCallback, NullValuesInsideTheCountPrintEmpty)
{
    std::vector<const char *> texts = {"verbosity", "INFO", "code", nullptr, "message", "m"};
    vesk_cb(0, nullptr, 6, const_cast<char **>(texts.data()), nullptr, nullptr);
    EXPECT_EQ(logged(), std::vector<std::string>{"INFO||m"});
}

} // namespace
