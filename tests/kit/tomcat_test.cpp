// The Tomcat example (examples/tomcat) run by the vesk executable as a user
// would run it, with the JIT and a heap limit through JAVA_TOOL_OPTIONS.
#include <csignal>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "server_example.hpp"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using server_example::logged;
using testing_support::read_file;
using testing_support::read_lines;

class TomcatExample : public testing_support::TempDirTest {
protected:
    // A runtime folder under the test's own, with the example's conf/vesk.ini.
    fs::path runtime(const std::string &name)
    {
        fs::path run = dir() / name;
        fs::create_directories(run / "log");
        testing_support::write_file(
            run / "conf/vesk.ini",
            std::string("VERBOSITY=4\nCLASSPATH=") + VESK_TOMCAT_LIB +
                "/*\nLIBRARY_PATH=" + VESK_TEST_NATIVES_DIR +
                "\nlibrary=vesk_java\nENTRY_CLASS=vesk/tomcat/TomcatServer\n");
        return run;
    }
};

// Started with its request log on: a page and the servlet's JSON answer, the
// JVM reports the JIT on and the heap limit, each request is logged; a second
// server on the same port fails its launch instead of listening nowhere;
// SIGTERM stops Tomcat with its stop lines in the log, and neither start nor
// stop logs an error or the leak protection's warnings.
TEST_F(TomcatExample, ServesAPageAndJsonLogsRequestsAndStopsOnSigterm)
{
    // Kept: the JNI check's own options, when it runs the suite.
    const char *outer = std::getenv("JAVA_TOOL_OPTIONS");
    std::vector<std::string> env = {
        "JAVA_TOOL_OPTIONS=" + std::string(outer != nullptr ? outer : "") + " -Xdebug -Xmx64m"};
    fs::path run = runtime("servidor");
    testing_support::Child child(VESK_EXE,
                                 {"PORT", "0", "WWW", VESK_TOMCAT_WWW, "REQUEST_LOG", "on"}, run,
                                 env, run / "stderr.txt");
    std::smatch match;
    std::regex listening(
        R"(TomcatServer\|INFO\|0\|TomcatServer escutando em (http://127\.0\.0\.1:(\d+)/))");
    ASSERT_TRUE(testing_support::wait_until([&] { return logged(run, listening, &match); }))
        << read_file(run / "stderr.txt");
    std::string base = match[1];
    std::string port = match[2];

    server_example::expect_page_and_status(base, "Tomcat");
    for (const char *request :
         {R"("GET / HTTP/1\.1" 200 )", R"("GET /api/status HTTP/1\.1" 200 )"}) {
        std::regex line(std::string(R"(TomcatServer\.acesso\|INFO\|\d+\|127\.0\.0\.1 .*)") +
                        request);
        EXPECT_TRUE(testing_support::wait_until([&] { return logged(run, line); })) << request;
    }

    fs::path second = runtime("ocupada");
    testing_support::ChildResult rival =
        testing_support::run_child(VESK_EXE, {"PORT", port, "WWW", VESK_TOMCAT_WWW}, second, env);
    EXPECT_EQ(rival.status, 3) << rival.err_text;
    EXPECT_TRUE(logged(second, std::regex(R"(\|VESK\| .*BindException: Address already in use)")));

    EXPECT_EQ(child.stop(SIGTERM), 143);
    EXPECT_TRUE(
        logged(run, std::regex(R"(Http11NioProtocol\|INFO\|\d+\|Stopping ProtocolHandler)")));
    // SecureRandom's seeding is slow on some machines, and Tomcat says so.
    std::regex trouble(R"(\|(WARN|ERROR)\|)");
    for (const std::string &line : read_lines(testing_support::todays_log(run))) {
        if (line.find("SessionIdGeneratorBase") == std::string::npos) {
            EXPECT_FALSE(std::regex_search(line, trouble)) << line;
        }
    }
}

} // namespace
