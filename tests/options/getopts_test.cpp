#include "options/getopts.h"

#include <cstring>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::read_file;
using testing_support::write_file;

class Getopts : public testing_support::TempDirTest {
protected:
    void TearDown() override
    {
        ub_getopt_release(table);
        TempDirTest::TearDown();
    }

    ub_option table[5] = {
        {0, 'p', UB_OPT_NUMBER, "PORT", "9000", 0, "PORT do Serviço VESK."},
        {0, 'h', UB_OPT_STRING, "HOST", "localhost", 0, "Host."},
        {0, 'v', UB_OPT_CHOICE, "VERBOSITY", "4", 0, ""},
        {0, 'z', UB_OPT_STRING, "PORT", "second", 0, "Same name."},
        {0, 0, 0, nullptr, nullptr, 0, nullptr},
    };
};

TEST_F(Getopts, IniLines)
{
    struct Case {
        const char *text;
        int count;
        const char *port;
        int given;
        int position;
    };
    const Case cases[] = {
        {"PORT=9001\n", 2, "9001", 1, 5}, // both rows named PORT
        {"PORT = 1\n", 0, "9000", 0, 0},  // no blanks around "="
        {"PORT=\n", 2, "", 1, 5},
        {"PORT=a=b  \n", 2, "a=b  ", 1, 5}, // value kept as written
        {"# comment\n\nport=1\nPORTS=1\n", 0, "9000", 0, 0},
        {"x\nx\nPORT=3\nx\nx\nx\nPORT=7", 4, "7", 7, 5}, // last line wins, each counts
        {"PORT=1\r\nHOST=h\r\n", 3, "1", 1, 5},
        {"\xEF\xBB\xBFPORT=1\nHOST=h\n", 1, "9000", 0, 0}, // a marked first line sets nothing
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        ub_option rows[5];
        std::memcpy(rows, table, sizeof rows);
        write_file("t.ini", c.text);
        EXPECT_EQ(ub_getopt_ini("t.ini", rows), c.count);
        EXPECT_STREQ(ub_getopt_getValue(rows, "PORT"), c.port);
        EXPECT_EQ(rows[0].given, c.given);
        EXPECT_EQ(rows[0].position, c.position);
        ub_getopt_release(rows);
    }
}

TEST_F(Getopts, IniCutsLineEndsAndReadsLongLinesInPieces)
{
    // 3000 characters: the first 2047 are line 1, the rest is line 2.
    std::string first = "HOST=" + std::string(2042, 'a');
    std::string second = "PORT=7" + std::string(3000 - 2047 - 6, 'b');
    write_file("t.ini", first + second + "\r\nVERBOSITY=5\n");

    EXPECT_EQ(ub_getopt_ini("t.ini", table), 4);
    EXPECT_EQ(std::string(ub_getopt_getValue(table, "HOST")), first.substr(5));
    EXPECT_EQ(table[0].given, 2);
    EXPECT_EQ(std::string(table[0].value), second.substr(5));
    EXPECT_STREQ(table[2].value, "5");
    EXPECT_EQ(table[2].given, 3);
}

// Physical lines, whatever pieces the reader takes them in: the count and
// the values stay ub_getopt_ini's; a line is judged by its first piece, and
// its later pieces and dropped text after a CR are told after it.
TEST_F(Getopts, IniReportTellsWhatTheReaderCutsOrSkips)
{
    struct Case {
        const char *label;
        std::string text;
        std::vector<std::string> told; // "line kind column name"
        const char *port;
    };
    const std::string x2042(2042, 'x');
    const std::string q2047(2047, 'Q');
    const Case cases[] = {
        {"2047 characters, then the end", "PORT=" + x2042, {}, nullptr},
        {"2047 characters, then a line end", q2047 + "\r\nPORT=3\n", {"1 2 0 " + q2047}, "3"},
        {"2048 characters", "PORT=" + x2042 + "y\nZ\n", {"1 1 0 PORT", "2 2 0 Z"}, nullptr},
        {"a zero byte in a cut line",
         std::string("PORT=ab\0", 8) + std::string(2100, 'x') + "\nZ=1\n",
         {"1 1 0 PORT", "2 2 0 Z"},
         "ab"},
        {"a long comment",
         "#" + std::string(3000, '#') + "\n;x\n \t\nW=1\n",
         {"1 5 0 ", "4 2 0 W"},
         "9000"},
        {"a long comment, its piece setting an option",
         "#" + std::string(2046, '#') + "PORT=5\n",
         {"1 5 0 ", "1 6 2047 PORT"},
         "5"},
        {"an unknown cut line, its piece setting an option",
         q2047 + "PORT=5\r\nHOST=h\r\n\xEF\xBB\xBF\n\xEF\xBB\xBFPORT=1\n",
         {"1 4 0 " + q2047, "1 6 2047 PORT", "4 3 0 PORT"},
         "5"},
        {"three pieces, each setting an option, the last cut at a CR",
         "HOST=" + x2042 + "PORT=6" + std::string(2041, 'y') + "PORT=7\rVERBOSITY=5\n",
         {"1 1 0 HOST", "1 6 2047 PORT", "1 6 4094 PORT", "1 7 4101 "},
         "7"},
        {"text after a lone CR", "PORT=81\rVERBOSITY=5\r\r\nW=1\r", {"1 7 8 ", "2 2 0 W"}, "81"},
        {"a CR in a full first piece",
         "PORT=1\r" + std::string(2040, 'x') + "VERBOSITY=5\n",
         {"1 1 0 PORT", "1 7 7 ", "1 6 2047 VERBOSITY"},
         "1"},
        {"a piece of line ends only, then text",
         "PORT=" + x2042 + std::string(2047, '\r') + "Z\n",
         {"1 1 0 PORT"},
         nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        ub_option rows[5];
        std::memcpy(rows, table, sizeof rows);
        write_file("t.ini", c.text);
        std::vector<std::string> told;
        auto record = [](void *context, int notice, int32_t line, int64_t column,
                         const char *name) {
            static_cast<std::vector<std::string> *>(context)->push_back(
                std::to_string(line) + " " + std::to_string(notice) + " " + std::to_string(column) +
                " " + name);
        };
        int count = ub_getopt_ini_report("t.ini", rows, record, &told);
        EXPECT_EQ(told, c.told);
        if (c.port != nullptr) {
            EXPECT_STREQ(ub_getopt_getValue(rows, "PORT"), c.port);
        }
        ub_getopt_release(rows);
        std::memcpy(rows, table, sizeof rows);
        EXPECT_EQ(ub_getopt_ini("t.ini", rows), count);
        ub_getopt_release(rows);
    }
}

TEST_F(Getopts, MissingFileKeepsDefaultsAsOwnedCopies)
{
    const char *before = table[1].value;
    EXPECT_EQ(ub_getopt_ini("absent.ini", table), -1);
    EXPECT_STREQ(table[1].value, "localhost");
    EXPECT_NE(table[1].value, before);
    EXPECT_EQ(ub_getopt_ini(nullptr, table), -1);
}

TEST_F(Getopts, RereadingReplacesOwnedValuesAndKeepsBorrowedOnes)
{
    write_file("t.ini", "HOST=a\n");
    ASSERT_EQ(ub_getopt_ini("t.ini", table), 1);
    ASSERT_EQ(ub_getopt_ini("t.ini", table), 1);
    static const char mine[] = "mine";
    ub_getopt_setValue(table, "VERBOSITY", mine);
    write_file("t.ini", "HOST=b\n");
    ASSERT_EQ(ub_getopt_ini("t.ini", table), 1);
    EXPECT_STREQ(table[1].value, "b");
    EXPECT_STREQ(table[2].value, "mine"); // copied, the caller's text untouched
    ub_getopt_release(table);
    EXPECT_STREQ(table[1].value, "");
    EXPECT_STREQ(mine, "mine");
}

TEST_F(Getopts, LookupsAndUpdates)
{
    EXPECT_EQ(ub_getopt_setValue(table, "PORT", "1"), 4);
    EXPECT_STREQ(table[0].value, "1");
    EXPECT_STREQ(table[3].value, "1"); // every row of that name
    EXPECT_EQ(ub_getopt_setValue(table, "NONE", "x"), 4);
    EXPECT_EQ(ub_getopt_setValue(nullptr, "PORT", "x"), -1);

    EXPECT_STREQ(ub_getopt_getValue(table, "NONE"), "");
    EXPECT_STREQ(ub_getopt_getValue(table, "port"), "");
    EXPECT_EQ(ub_getopt_getIndex(table, "NONE"), -1);
    table[1].position = 5;
    EXPECT_EQ(ub_getopt_getIndex(table, "HOST"), 5);

    EXPECT_EQ(ub_getopt_isChecked(table, "PORT"), 0);
    ub_getopt_check(table, "PORT");
    ub_getopt_check(table, "NONE");
    EXPECT_EQ(table[0].given, -1);
    EXPECT_EQ(table[3].given, -1);
    EXPECT_EQ(ub_getopt_isChecked(table, "PORT"), -1);
    EXPECT_EQ(ub_getopt_isChecked(table, "NONE"), 0);
}

TEST_F(Getopts, SyncSharesValuesByName)
{
    ub_option target[3] = {
        {0, 'h', UB_OPT_STRING, "HOST", "old", 0, ""},
        {0, 'o', UB_OPT_STRING, "ONLY", "kept", 0, ""},
        {0, 0, 0, nullptr, nullptr, 0, nullptr},
    };
    EXPECT_EQ(ub_getopt_sync(table, target), 0);
    EXPECT_EQ(target[0].value, table[1].value);
    EXPECT_STREQ(target[1].value, "kept");
}

TEST_F(Getopts, SaveThenIniRestoresEveryValue)
{
    ub_getopt_setValue(table, "HOST", " spaced = # value ");
    ub_getopt_setValue(table, "VERBOSITY", "");
    ASSERT_EQ(ub_getopt_save("saved.ini", table), 0);
    std::string text = read_file("saved.ini");
    EXPECT_EQ(text.rfind("# Gerado em ", 0), 0u);
    EXPECT_EQ(text.substr(text.find('\n')),
              "\n\nPORT=9000\nHOST= spaced = # value \nVERBOSITY=\nPORT=second\n");

    ub_option reread[5];
    std::memcpy(reread, table, sizeof reread);
    ub_getopt_setValue(reread, "HOST", "x");
    ub_getopt_setValue(reread, "VERBOSITY", "x");
    // Each PORT line sets both PORT rows.
    EXPECT_EQ(ub_getopt_ini("saved.ini", reread), 6);
    EXPECT_STREQ(reread[1].value, " spaced = # value ");
    EXPECT_STREQ(reread[2].value, "");
    EXPECT_EQ(reread[1].given, 4);
    ub_getopt_release(reread);
}

TEST_F(Getopts, SaveFailureIsLogged)
{
    fs::create_directory("log");
    EXPECT_EQ(ub_getopt_save("no/such/dir.ini", table), -1);
    std::string log = read_file(testing_support::todays_log(dir()));
    EXPECT_NE(log.find(" Falha ao tentar gravar em: 'no/such/dir.ini'\n"), std::string::npos);
}

TEST_F(Getopts, KeyInFile)
{
    write_file("k.ini", "PORT=1\nPORTX=2\nHOST=abcdefgh\r\nPORT=33\n");
    char buffer[8] = "unset";
    EXPECT_EQ(ub_getopt_key_in_file("k.ini", "PORT", buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "33");
    // Lines are read size + key length characters at a time.
    EXPECT_EQ(ub_getopt_key_in_file("k.ini", "HOST", buffer, 5), 4);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(ub_getopt_key_in_file("k.ini", "HOST", buffer, 8), 7);
    EXPECT_STREQ(buffer, "abcdefg");

    std::strcpy(buffer, "unset");
    EXPECT_EQ(ub_getopt_key_in_file("k.ini", "NONE", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "unset");
    EXPECT_EQ(ub_getopt_key_in_file("absent.ini", "PORT", buffer, sizeof buffer), -1);
    EXPECT_EQ(ub_getopt_key_in_file("k.ini", "PORT", buffer, 0), -1);
}

TEST_F(Getopts, HelpLines)
{
    table[3].type = 9; // an unknown code keeps the previous row's letter
    testing_support::StderrCapture err;
    ub_getopt_help(table);
    EXPECT_EQ(err.text(), "\t(N) -p, --PORT               - PORT do Serviço VESK.\n"
                          "\t(S) -h, --HOST               - Host.\n"
                          "\t(O) -v, --VERBOSITY          - Vide opcoes...\n"
                          "\t(O) -z, --PORT               - Same name.\n");
}

TEST_F(Getopts, BannerShowsTheBuildTimeInLocalTime)
{
    testing_support::ScopedTimeZone minus_three("UTC+3"); // POSIX sign: three hours west
    testing_support::StderrCapture err;
    ub_help_header2("./vesk", "VESK - Service", 7, 25, 2, 19797, 1710509187);
    EXPECT_EQ(err.text(), "\n####################################"
                          "\n####################################\n\n"
                          "Programa: ./vesk\n"
                          "Versao: 7.25.2 r19797 - 15/03/2024 10:26"
                          "\nDescricao:\n\tVESK - Service\n\n");
}

} // namespace
