// The vesk executable seen from outside, before any JVM starts: the usage
// and the refusal of unpaired words.
#include <string>
#include <vector>

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

} // namespace
