#include "options/getopts.h"

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// The state one row should end in.
struct RowState {
    int row;
    int given;
    const char *value;
    int position;
};

struct ArgsCase {
    std::vector<std::string> words; // after the program name
    int result;
    std::vector<RowState> rows;
};

ub_option fresh_table[] = {
    {0, 'p', UB_OPT_NUMBER, "PORT", "9000", 0, ""},
    {0, 'b', UB_OPT_NUMBER, "BASE", "1", 0, ""},
    {0, 'h', UB_OPT_STRING, "HOST", "localhost", 0, ""},
    {0, 'v', UB_OPT_SWITCH, "VERBOSE", "", 0, ""},
    {0, 'z', UB_OPT_STRING, "HOST", "other", 0, ""},
    {0, 0, 0, nullptr, nullptr, 0, nullptr},
};

TEST(GetoptsCmdline, ArgumentVectors)
{
    const ArgsCase cases[] = {
        {{}, 0, {{0, 0, "9000", 0}}},
        {{"--PORT", "81"}, 0, {{0, 1, "81", 2}}},
        {{"--PORT", "abc"}, -1, {{0, 1, "9000", 0}}},
        {{"-p", "81", "file.txt"}, 3, {{0, 1, "81", 2}}},
        {{"--", "file.txt"}, 0, {{0, 0, "9000", 0}}},
        {{"-q"}, -1, {}},
        {{"-"}, 0, {{0, 0, "9000", 0}}},
        {{"-p", "-5"}, -1, {{0, 1, "9000", 0}}},
        {{"-pb", "9000", "10000"}, 0, {{0, 1, "9000", 2}, {1, 1, "10000", 3}}},
        {{"-vp", "1.5", "-b", "2"}, 0, {{3, 1, "", 0}, {0, 1, "1.5", 2}, {1, 3, "2", 4}}},
        {{"-v", "-p"}, 0, {{3, 1, "", 0}, {0, 2, "9000", 0}}}, // no value left
        {{"--PORT=9000"}, 0, {{0, 0, "9000", 0}}},             // an unknown name
        {{"--NONE", "x"}, 2, {}},
        {{"--HOST", "a", "b"}, 0, {{2, 1, "a", 2}, {4, 1, "b", 3}}}, // each row its word
        // A refused number stops the group: "-ph" never hands "-ph" to HOST.
        {{"-ph", "abc", "x"}, -1, {{0, 1, "9000", 0}, {2, 0, "localhost", 0}}},
    };
    for (const ArgsCase &c : cases) {
        std::string trace;
        for (const std::string &word : c.words)
            trace += word + " ";
        SCOPED_TRACE(trace);
        ub_option table[std::size(fresh_table)];
        std::copy(std::begin(fresh_table), std::end(fresh_table), table);
        std::vector<char *> argv{const_cast<char *>("prog")};
        for (const std::string &word : c.words)
            argv.push_back(const_cast<char *>(word.c_str()));
        argv.push_back(nullptr);
        EXPECT_EQ(ub_getopt(table, static_cast<int>(argv.size() - 1), argv.data()), c.result);
        for (const RowState &state : c.rows) {
            const ub_option &row = table[state.row];
            EXPECT_EQ(row.given, state.given) << row.name;
            EXPECT_STREQ(row.value, state.value) << row.name;
            EXPECT_EQ(row.position, state.position) << row.name;
        }
    }
    EXPECT_EQ(ub_getopt(nullptr, 1, nullptr), -1);
}

class GetoptsVerbose : public testing_support::TempDirTest {};

TEST_F(GetoptsVerbose, LogsEveryRowState)
{
    std::filesystem::create_directory("log");
    ub_option table[std::size(fresh_table)];
    std::copy(std::begin(fresh_table), std::end(fresh_table), table);
    ub_getopt_check(table, "VERBOSE");
    ub_getopt_verbose(table);
    std::vector<std::string> lines =
        testing_support::read_lines(testing_support::todays_log(dir()));
    const char *const expected[] = {" --PORT: '9000'", " --BASE: '1'", " --HOST: 'localhost'",
                                    " --VERBOSE: -1", " --HOST: 'localhost'"};
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].ends_with(expected[i])) << lines[i];
}

} // namespace
