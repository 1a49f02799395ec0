#include "host/service_config.h"

#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_lines;
using testing_support::write_file;

class ServiceConfig : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
        logger = log_component{0, ""};
        verbose_limit_set(0);
    }

    std::vector<std::string> log_lines() const
    {
        return read_lines(testing_support::todays_log(dir()));
    }
};

TEST_F(ServiceConfig, TableHoldsTheServiceOptions)
{
    EXPECT_EQ(configs[configs_len - 1].name, nullptr);
    EXPECT_EQ(configs[configs_len - 1].letter, 0);
    EXPECT_STREQ(configs[0].name, "PORT");
    EXPECT_STREQ(configs[16].name, "dev_port");
    EXPECT_STREQ(ub_getopt_getValue(configs, "SCHEDCONFIG"), "conf\\sched.json");
    EXPECT_STREQ(ub_getopt_getValue(configs, "ENTRY_CLASS"), "com/ubrontex/ubkarto/VESKServer");
}

TEST_F(ServiceConfig, VerbositySetsTheThresholdAndIsLogged)
{
    struct Case {
        const char *line;
        int threshold;
    };
    const Case cases[] = {{"VERBOSITY=4", 4}, {"VERBOSITY=-1", 65535}, {"VERBOSITY=abc", 0},
                          {"VERBOSITY= 7x", 7}, {"VERBOSITY=99999999999999999999", 65535},
                          {"VERBOSITY=2147483653", 5}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        fs::remove_all("log");
        fs::create_directory("log");
        write_file("conf/vesk.ini", std::string(c.line) + "\n");
        EXPECT_EQ(config_init("VESK"), 0);
        EXPECT_EQ(logger.verbosity, c.threshold);
        EXPECT_STREQ(logger.tag, "VESK");
        std::vector<std::string> lines = log_lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].substr(20), " VERBOSITY=" + std::to_string(c.threshold));
    }
}

TEST_F(ServiceConfig, MissingOrUselessIniIsReportedAndChangesNothing)
{
    for (const char *ini : {"", "# only a comment\nUNKNOWN=1\n"}) {
        SCOPED_TRACE(ini);
        if (*ini != '\0')
            write_file("conf/vesk.ini", ini);
        testing_support::StderrCapture err;
        EXPECT_EQ(config_init("VESK"), 1);
        EXPECT_EQ(err.text(), "Falha ao tentar ler: conf" PLATFORM_PATH_SEP_STR "vesk.ini\n");
        EXPECT_EQ(logger.verbosity, 0);
        EXPECT_STREQ(logger.tag, "");
        EXPECT_FALSE(fs::exists(testing_support::todays_log(dir())));
    }
}

} // namespace
