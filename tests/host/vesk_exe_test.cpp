// The vesk executable seen from outside: exit statuses, standard error and
// the log it writes.
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Child;
using testing_support::read_file;
using testing_support::read_lines;
using testing_support::run_child;
using testing_support::write_file;

const std::string vesk = VESK_EXE;

const std::vector<std::string> default_pairs = {
    "'PORT' = '9000'",
    "'BROADCAST_PORT' = '10000'",
    "'PATH' = ''",
    "'VERBOSITY' = '4'",
    "'SCHEDCONFIG' = 'conf\\sched.json'",
    "'RESTART' = '3'",
    "'cnpj' = ''",
    "'cod_cliente' = ''",
    "'STACK' = '1'",
    "'LIBRARY_PATH' = 'bin'",
    "'CLASSPATH' = '.'",
    "'library' = 'ridevudi4v'",
    "'ENTRY_CLASS' = 'com/ubrontex/ubkarto/VESKServer'",
    "'tunnel_host' = '127.0.0.1'",
    "'tunnel_port' = '10999'",
    "'local_port' = '10999'",
    "'dev_port' = '7000'",
};

class VeskExe : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
        write_file("conf/vesk.ini", "VERBOSITY=4\n");
    }

    // Starts vesk with words and waits until its log holds count lines;
    // the lines without their time prefix.
    std::vector<std::string> launch(const std::vector<std::string> &words, size_t count)
    {
        child_ = std::make_unique<Child>(vesk, words, dir(), std::vector<std::string>{},
                                         dir() / "stderr.txt");
        fs::path log = testing_support::todays_log(dir());
        testing_support::wait_until([&] { return read_lines(log).size() >= count; });
        std::vector<std::string> lines;
        for (const std::string &line : read_lines(log))
            lines.push_back(line.substr(std::min<size_t>(line.size(), 21)));
        return lines;
    }

    // The expected log: VERBOSITY line, "Init Params:" and one line per pair.
    static std::vector<std::string> expected_log(const std::vector<std::string> &pairs)
    {
        std::vector<std::string> lines = {"VERBOSITY=4", "|VESK| Init Params:"};
        for (const std::string &pair : pairs)
            lines.push_back("|VESK| \t" + pair);
        return lines;
    }

    std::unique_ptr<Child> child_;
};

TEST_F(VeskExe, NoWordsPrintsBannerAndUsage)
{
    testing_support::ChildResult result = run_child(vesk, {}, dir(), {"TZ=UTC+3"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err_text, "\n####################################"
                               "\n####################################\n\n"
                               "Programa: " + vesk + "\n"
                               "Versao: 7.25.2 r19797 - 15/03/2024 10:26"
                               "\nDescricao:\n\tVESK - Service\n\n"
                               "Uso:\n\t$ " + vesk + " <Param 1> <Val 1> ... <Param N> <Val N>\n\n");
}

TEST_F(VeskExe, OddWordsAreRefused)
{
    testing_support::ChildResult result = run_child(vesk, {"PORT", "1", "X"}, dir());
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err_text, "Parametros devem vir em pares.\n\n");
    EXPECT_TRUE(fs::is_empty("log"));
}

TEST_F(VeskExe, LogsTheMergedParametersAndKeepsRunning)
{
    std::vector<std::string> pairs = default_pairs;
    pairs[0] = "'PORT' = '81'";
    pairs.push_back("'FOO' = 'bar'");
    EXPECT_EQ(launch({"PORT", "81", "FOO", "bar"}, 20), expected_log(pairs));
    EXPECT_TRUE(child_->running());
    EXPECT_EQ(read_file(dir() / "stderr.txt"), "");
}

TEST_F(VeskExe, LastValueWinsAndKeysAreCaseSensitive)
{
    std::vector<std::string> pairs = default_pairs;
    pairs[0] = "'PORT' = '2'";
    pairs.push_back("'port' = '3'");
    EXPECT_EQ(launch({"PORT", "1", "PORT", "2", "port", "3"}, 20), expected_log(pairs));
}

TEST_F(VeskExe, ASingleWordIsIgnored)
{
    EXPECT_EQ(launch({"alone"}, 19), expected_log(default_pairs));
    EXPECT_TRUE(child_->running());
}

TEST_F(VeskExe, MissingIniRunsOnDefaultsWithoutLogLines)
{
    fs::remove_all("conf");
    child_ = std::make_unique<Child>(vesk, std::vector<std::string>{"PORT", "81"}, dir(),
                                     std::vector<std::string>{}, dir() / "stderr.txt");
    EXPECT_TRUE(testing_support::wait_until(
        [&] { return read_file(dir() / "stderr.txt") == "Falha ao tentar ler: conf/vesk.ini\n"; }));
    EXPECT_TRUE(child_->running());
    EXPECT_TRUE(fs::is_empty("log"));
}

} // namespace
