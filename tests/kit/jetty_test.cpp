// The Jetty example (examples/jetty) run by the vesk executable as a user
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

class JettyExample : public testing_support::TempDirTest {};

// Run twice, each in a folder of its own: as it starts by default, then with
// its request log on. Each time a page and the servlet's JSON answer; the JVM
// reports the JIT on ("mixed mode" in spite of the host's
// -Djava.compiler=NONE) and the heap limit; SIGTERM stops Jetty with its own
// stop lines in the log. The requests are logged only when REQUEST_LOG is on.
TEST_F(JettyExample, ServesAPageAndJsonWithTheJitAndLogsRequestsWhenAsked)
{
    // Kept: the JNI check's own options, when it runs the suite.
    const char *outer = std::getenv("JAVA_TOOL_OPTIONS");
    std::string options = std::string(outer != nullptr ? outer : "") + " -Xdebug -Xmx64m";
    for (bool request_log : {false, true}) {
        SCOPED_TRACE(request_log ? "REQUEST_LOG on" : "by default");
        fs::path run = dir() / (request_log ? "acesso" : "padrao");
        fs::create_directories(run / "log");
        testing_support::write_file(
            run / "conf/vesk.ini", std::string("VERBOSITY=4\nCLASSPATH=") + VESK_JETTY_LIB +
                                       "/*\nLIBRARY_PATH=" + VESK_TEST_NATIVES_DIR +
                                       "\nlibrary=vesk_java\nENTRY_CLASS=vesk/jetty/JettyServer\n");
        std::vector<std::string> words = {"PORT", "0", "WWW", VESK_JETTY_WWW};
        if (request_log)
            words.insert(words.end(), {"REQUEST_LOG", "on"});
        testing_support::Child child(VESK_EXE, words, run, {"JAVA_TOOL_OPTIONS=" + options},
                                     run / "stderr.txt");
        std::smatch match;
        std::regex listening(
            R"(JettyServer\|INFO\|0\|JettyServer escutando em (http://127\.0\.0\.1:\d+/))");
        ASSERT_TRUE(testing_support::wait_until([&] { return logged(run, listening, &match); }))
            << read_file(run / "stderr.txt");
        std::string base = match[1];

        server_example::expect_page_and_status(base, "Jetty");

        if (request_log) {
            for (const char *request :
                 {R"("GET / HTTP/1\.1" 200 )", R"("GET /api/status HTTP/1\.1" 200 )"}) {
                std::regex line(std::string(R"(JettyServer\.acesso\|INFO\|\d+\|127\.0\.0\.1 .*)") +
                                request);
                EXPECT_TRUE(testing_support::wait_until([&] { return logged(run, line); }))
                    << request;
            }
        }

        EXPECT_EQ(child.stop(SIGTERM), 143);
        EXPECT_TRUE(
            logged(run, std::regex(R"(AbstractConnector\|INFO\|\d+\|Stopped ServerConnector@)")));
        // Stopped: every request line it was going to write is there.
        if (!request_log) {
            EXPECT_FALSE(logged(run, std::regex(R"(JettyServer\.acesso)")));
        }
    }
}

} // namespace
