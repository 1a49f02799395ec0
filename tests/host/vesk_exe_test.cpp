// The vesk executable seen from outside, before any JVM starts: the usage,
// the version and help words, and the refusal of unpaired words.
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::run_child;
using testing_support::write_file;

const std::string vesk = VESK_EXE;

class VeskExe : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
        write_file("conf/vesk.ini", "VERBOSITY=4\n");
    }

    // The release of the file VERSION as the banner shows it, on a clock
    // three hours behind UTC.
    static std::string banner()
    {
        testing_support::Release release = testing_support::read_release(VESK_VERSION_FILE);
        return "\n####################################"
               "\n####################################\n\n"
               "Programa: " +
               vesk +
               "\n"
               "Versao: " +
               release.version + " r" + std::to_string(release.revision) + " - " +
               testing_support::clock_text(release.time, -3) + "\nDescricao:\n\tVESK - Service\n\n";
    }
};

TEST_F(VeskExe, NoWordsPrintsBannerAndUsage)
{
    testing_support::ChildResult result = run_child(vesk, {}, dir(), {"TZ=UTC+3"});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err_text,
              banner() + "Uso:\n\t$ " + vesk + " <Param 1> <Val 1> ... <Param N> <Val N>\n\n");
    EXPECT_EQ(result.out_text, "");
}

// --version and --help read no file and start no JVM: a JVM would refuse
// the tool options, a JAVA_HOME that holds no Java would be reported, and
// conf/vesk.ini would log its threshold. Their text goes to standard output.
TEST_F(VeskExe, VersionAndHelpWordsStartNothing)
{
    write_file("conf/vesk.ini", "VERBOSITY=5\nCLASSPATH=nao-existe\nENTRY_CLASS=nao/Existe\n");
    const std::vector<std::string> env = {"TZ=UTC+3", "JAVA_HOME=" + (dir() / "sem-java").string(),
                                          "JAVA_TOOL_OPTIONS=-XX:+VeskOpcaoInexistente"};
    testing_support::Release release = testing_support::read_release(VESK_VERSION_FILE);
    const std::string version_line = "VESK - Service " + release.version + " r" +
                                     std::to_string(release.revision) + " (" +
                                     testing_support::clock_text(release.time, -3) + ")\n";
    const std::string conf = std::string("\tconf") + PLATFORM_PATH_SEP_STR;
    const struct {
        const char *word;
        bool version;
    } cases[] = {{"--version", true}, {"-V", true}, {"--help", false}, {"-h", false}};
    for (const auto &item : cases) {
        SCOPED_TRACE(item.word);
        testing_support::ChildResult result = run_child(vesk, {item.word}, dir(), env);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err_text, "");
        if (item.version) {
            EXPECT_EQ(result.out_text, version_line);
            continue;
        }
        const std::string usage = banner() + "Uso:\n\t$ " + vesk +
                                  " <Param 1> <Val 1> ... <Param N> <Val N>\n\t$ " + vesk +
                                  " --version | -V\n\t$ " + vesk + " --help | -h\n";
        EXPECT_EQ(result.out_text.substr(0, usage.size()), usage);
        for (const std::string &line :
             {std::string("\tPORT            PORT do Servi\xc3\xa7o VESK. (padrao: 9000)\n"),
              std::string("\tcnpj            Identificacao do cliente na Ubrontex.\n"),
              conf + "vesk.ini ", conf + "jvm.options ", conf + "server.ini "})
            EXPECT_NE(result.out_text.find(line), std::string::npos) << line;
    }
    EXPECT_TRUE(fs::is_empty("log"));
}

TEST_F(VeskExe, OddWordsAreRefused)
{
    testing_support::ChildResult result = run_child(vesk, {"PORT", "1", "X"}, dir());
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.err_text, "Parametros devem vir em pares.\n\n");
    EXPECT_TRUE(fs::is_empty("log"));
}

} // namespace
