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

    const std::string path = "conf" PLATFORM_PATH_SEP_STR "vesk.ini";
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
    const std::string failed = "Falha ao tentar ler: " + path + "\n";
    const struct {
        const char *ini;
        std::string err;
    } cases[] = {
        {"", failed},
        {"# only a comment\nUNKNOWN=1\n",
         "Linha 2 de " + path + ": 'UNKNOWN' nao e uma opcao; linha ignorada.\n" + failed},
    };
    for (const auto &item : cases) {
        SCOPED_TRACE(item.ini);
        if (*item.ini != '\0')
            write_file("conf/vesk.ini", item.ini);
        testing_support::StderrCapture err;
        EXPECT_EQ(config_init("VESK"), 1);
        EXPECT_EQ(err.text(), item.err);
        EXPECT_EQ(logger.verbosity, 0);
        EXPECT_STREQ(logger.tag, "");
        EXPECT_FALSE(fs::exists(testing_support::todays_log(dir())));
    }
}

// Lines the reader cuts or that set nothing are told once each, by their
// line number as an editor shows it, on standard error and then at WARN in
// the log; the values read stay what the reader always made of the file.
TEST_F(ServiceConfig, IniLinesCutOrIgnoredAreTold)
{
    const std::string library(2034, 'l'); // its line is 2047 characters: whole
    // 2060 characters: cut, its second piece read as a line that sets dev_port
    const std::string classes = std::string(2037, 'c') + "dev_port=7001";
    const std::string long_name(60, 'N');
    write_file("conf/vesk.ini", "\xEF\xBB\xBFPORT=81\n"
                                "# comentario\n"
                                "\n"
                                "VERBOSITY=4\r\n"
                                "LIBRARY_PATH=" + library + "\r\n"
                                "CLASSPATH=" + classes + "\n"
                                "WWW=/srv/www\n"
                                "VERBOSITY =5\rPORT=82\n"
                                "\t; outro" + std::string(2100, 'o') + "\n" +
                                    long_name + "\n"
                                "ENTRY_CLASS=org.example.Main");
    testing_support::StderrCapture err;
    EXPECT_EQ(config_init("VESK"), 0);
    const std::string at = " de " + path + ": ";
    const std::vector<std::string> told = {
        "Linha 1" + at + "'PORT' nao e uma opcao, pois a linha comeca com uma marca de ordem de "
                         "bytes (BOM); linha ignorada.",
        "Linha 6" + at + "mais de 2047 caracteres; o valor de CLASSPATH foi cortado.",
        "Linha 6" + at + "o trecho apos o caractere 2047 define dev_port.",
        "Linha 7" + at + "'WWW' nao e uma opcao; linha ignorada.",
        "Linha 8" + at + "'VERBOSITY ' nao e uma opcao; linha ignorada.",
        "Linha 8" + at + "texto apos o CR do caractere 13 ignorado.",
        "Linha 9" + at + "mais de 2047 caracteres; os primeiros 2047 sao comentario ou branco.",
        "Linha 10" + at + "'" + long_name.substr(0, 40) + "...' nao e uma opcao; linha ignorada.",
    };
    std::string expected;
    for (const std::string &line : told)
        expected += line + "\n";
    EXPECT_EQ(err.text(), expected);

    std::vector<std::string> lines = log_lines();
    ASSERT_EQ(lines.size(), told.size() + 1);
    EXPECT_EQ(lines[0].substr(20), " VERBOSITY=4");
    for (size_t i = 0; i < told.size(); ++i)
        EXPECT_EQ(lines[i + 1].substr(20), " |VESK| " + told[i]);

    EXPECT_STREQ(ub_getopt_getValue(configs, "PORT"), "9000");
    EXPECT_EQ(ub_getopt_getValue(configs, "LIBRARY_PATH"), library);
    EXPECT_EQ(ub_getopt_getValue(configs, "CLASSPATH"), classes.substr(0, 2037));
    EXPECT_STREQ(ub_getopt_getValue(configs, "dev_port"), "7001");
    EXPECT_STREQ(ub_getopt_getValue(configs, "ENTRY_CLASS"), "org.example.Main");
}

} // namespace
