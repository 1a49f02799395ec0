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
    const Case cases[] = {{"VERBOSITY=4", 4},
                          {"VERBOSITY=-1", 65535},
                          {"VERBOSITY=abc", 0},
                          {"VERBOSITY= 7x", 7},
                          {"VERBOSITY=99999999999999999999", 65535},
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
                                "LIBRARY_PATH=" +
                                    library +
                                    "\r\n"
                                    "CLASSPATH=" +
                                    classes +
                                    "\n"
                                    "WWW=/srv/www\n"
                                    "VERBOSITY =5\rPORT=82\n"
                                    "\t; outro" +
                                    std::string(2100, 'o') + "\n" + long_name +
                                    "\n"
                                    "ENTRY_CLASS=org.example.Main");
    testing_support::StderrCapture err;
    EXPECT_EQ(config_init("VESK"), 0);
    const std::string at = " de " + path + ": ";
    const std::vector<std::string> told = {
        "Linha 1" + at +
            "'PORT' nao e uma opcao, pois a linha comeca com uma marca de ordem de "
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

// The other two files of conf/, read once the log is set: their notices go
// to standard error and to the log at WARN, in file order.
class ConfFiles : public ServiceConfig {
protected:
    void SetUp() override
    {
        ServiceConfig::SetUp();
        logger = log_component{VERBOSE_INFO, "VESK"};
    }

    // The texts of a list from a reader, which is then freed.
    static std::vector<std::string> taken(char **list)
    {
        std::vector<std::string> texts;
        for (char **text = list; text != nullptr && *text != nullptr; ++text)
            texts.emplace_back(*text);
        config_list_free(list);
        return texts;
    }

    // Checks that err holds the told lines, each also logged at WARN.
    void expect_told(const std::string &err, const std::vector<std::string> &told)
    {
        std::string expected;
        for (const std::string &line : told)
            expected += line + "\n";
        EXPECT_EQ(err, expected);
        std::vector<std::string> lines = fs::exists(testing_support::todays_log(dir()))
                                             ? log_lines()
                                             : std::vector<std::string>{};
        ASSERT_EQ(lines.size(), told.size());
        for (size_t i = 0; i < told.size(); ++i)
            EXPECT_EQ(lines[i].substr(20), " |VESK| " + told[i]);
    }
};

TEST_F(ConfFiles, JvmOptionsAreTheOptionLinesTrimmed)
{
    const std::string far = "-Dlonga=" + std::string(5000, 'x');
    const std::string zero(1, '\0');
    write_file("conf/jvm.options", "\xEF\xBB\xBF-Xmx512m\r\n# comentario\n   # outro\n \t\r\n"
                                   "\t-Dnome=valor com brancos  \nXss4m\n" +
                                       far + "\n-Dzero=a" + zero + "b\n-Xint");
    char **options = nullptr;
    testing_support::StderrCapture err;
    EXPECT_EQ(config_jvm_options(&options), 5);
    EXPECT_EQ(taken(options), (std::vector<std::string>{"-Xmx512m", "-Dnome=valor com brancos", far,
                                                        "-Dzero=a", "-Xint"}));
    expect_told(err.text(), {"Linha 6 de conf" PLATFORM_PATH_SEP_STR "jvm.options: 'Xss4m' nao e "
                             "uma opcao da JVM (deve comecar com '-'); linha ignorada."});
}

TEST_F(ConfFiles, ServerIniTakesAnyNameAsVeskIniReadsLines)
{
    const std::string far(3000, 'v');
    write_file("conf/server.ini", "WWW=/srv/www\r\n"
                                  "# comentario\n"
                                  "\t; outro\n"
                                  "\n"
                                  "PORT = 9000\n"
                                  "BIND=a=b  \n"
                                  "VAZIO=\n"
                                  "sem igual\n"
                                  "=x\n"
                                  "CR=1\r2\n"
                                  "LONGO=" +
                                      far);
    char **pairs = nullptr;
    testing_support::StderrCapture err;
    EXPECT_EQ(config_server_pairs(&pairs), 6);
    EXPECT_EQ(taken(pairs),
              (std::vector<std::string>{"WWW", "/srv/www", "PORT ", " 9000", "BIND", "a=b  ",
                                        "VAZIO", "", "CR", "1", "LONGO", far}));
    const std::string at = " de conf" PLATFORM_PATH_SEP_STR "server.ini: ";
    expect_told(err.text(),
                {"Linha 8" + at + "'sem igual' nao e uma opcao (falta o '='); linha ignorada.",
                 "Linha 9" + at + "opcao sem nome antes do '='; linha ignorada.",
                 "Linha 10" + at + "texto apos o CR do caractere 5 ignorado."});
}

// A missing file is no news; one that cannot be read is, and the launch goes
// on without it.
TEST_F(ConfFiles, MissingFilesAreSilentUnreadableOnesTold)
{
    using Reader = int (*)(char ***);
    const struct {
        Reader read;
        const char *name;
    } readers[] = {{config_jvm_options, "jvm.options"}, {config_server_pairs, "server.ini"}};
    for (const auto &reader : readers) {
        SCOPED_TRACE(reader.name);
        fs::remove_all("conf");
        fs::remove_all("log");
        fs::create_directory("log");
        char **list = reinterpret_cast<char **>(0x1);
        testing_support::StderrCapture missing;
        EXPECT_EQ(reader.read(&list), 0);
        EXPECT_EQ(list, nullptr);
        expect_told(missing.text(), {});

        fs::create_directories(fs::path("conf") / reader.name);
        testing_support::StderrCapture unreadable;
        EXPECT_EQ(reader.read(&list), -1);
        EXPECT_EQ(list, nullptr);
        const std::string told =
            "Falha ao tentar ler: conf" PLATFORM_PATH_SEP_STR + std::string(reader.name);
        EXPECT_EQ(unreadable.text(), told + "\n");
        EXPECT_EQ(log_lines().back().substr(20), " |VESK| " + told);
        EXPECT_EQ(reader.read(nullptr), -1);
    }
}

} // namespace
