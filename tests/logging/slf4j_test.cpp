// SLF4J through its java.util.logging binding, under the vesk executable:
// each level arrives at the host's level, and a logging.properties given
// through JAVA_TOOL_OPTIONS sets per-logger levels next to the kit's own.
#include <csignal>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

class Slf4jLogging : public testing_support::TempDirTest {};

// At VERBOSITY 5 the kit opens the root logger to every level; the file's
// root level and console handler are replaced by the kit's, while its
// per-logger levels hold: the server's logger down to FINE (SLF4J's debug,
// not its trace), a noisy one from WARNING, a silenced one not at all,
// and still so while the JVM shuts down. SLF4J formats its own messages,
// so its lines carry the record's sequence number as code.
TEST_F(Slf4jLogging, LevelsArriveAndPerLoggerLevelsHold)
{
    if (std::string(VESK_SLF4J_CLASS_PATH).empty())
        GTEST_SKIP()
            << "slf4j-api.jar or slf4j-jdk14.jar missing: scripts/bootstrap.sh test installs "
               "libslf4j-java";
    fs::create_directory("log");
    testing_support::write_file("conf/vesk.ini", std::string("VERBOSITY=5\nCLASSPATH=") +
                                                     VESK_SLF4J_CLASS_PATH +
                                                     "\nLIBRARY_PATH=" + VESK_TEST_NATIVES_DIR +
                                                     "\nlibrary=vesk_java\n"
                                                     "ENTRY_CLASS=vesk/test/Slf4jEntry\n");
    testing_support::write_file("logging.properties",
                                "handlers = java.util.logging.ConsoleHandler\n"
                                ".level = SEVERE\n"
                                "slf4j.Servidor.level = FINE\n"
                                "slf4j.Ruidoso.level = WARNING\n"
                                "slf4j.Mudo.level = OFF\n");
    // Kept: the JNI check's own options, when it runs the suite.
    const char *outer = std::getenv("JAVA_TOOL_OPTIONS");
    std::string options =
        std::string(outer != nullptr ? outer : "") +
        " -Djava.util.logging.config.file=" + (dir() / "logging.properties").string();
    testing_support::Child child(VESK_EXE, {"start"}, dir(), {"JAVA_TOOL_OPTIONS=" + options},
                                 dir() / "stderr.txt");
    ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "done.txt"); }))
        << testing_support::read_file(dir() / "stderr.txt");
    EXPECT_EQ(child.stop(SIGTERM), 143);

    // Every line the Java side wrote, SLF4J's own complaints included.
    std::vector<std::string> java;
    for (const std::string &line :
         testing_support::read_lines(testing_support::todays_log(dir()))) {
        std::string text = line.substr(std::min<size_t>(line.size(), 21));
        if (text.rfind("|VESK| ", 0) != 0 && text.rfind("VERBOSITY=", 0) != 0)
            java.push_back(text);
    }
    const std::vector<std::string> expected = {
        R"(slf4j\.Servidor\|ERROR\|\d+\|erro slf4j\.Servidor)",
        R"(slf4j\.Servidor\|WARN\|\d+\|aviso slf4j\.Servidor)",
        R"(slf4j\.Servidor\|INFO\|\d+\|info slf4j\.Servidor)",
        R"(slf4j\.Servidor\|DEBUG\|\d+\|debug slf4j\.Servidor)",
        R"(slf4j\.Ruidoso\|ERROR\|\d+\|erro slf4j\.Ruidoso)",
        R"(slf4j\.Ruidoso\|WARN\|\d+\|aviso slf4j\.Ruidoso)",
        // SLF4J hands java.util.logging the message already formatted, without
        // parameters: the code is the record's sequence number, not 8080.
        R"(slf4j\.Servidor\|INFO\|(?!8080\|)\d+\|porta 8080)",
        // From a shutdown hook, after the JDK's reset of the levels.
        R"(slf4j\.Servidor\|INFO\|\d+\|parando slf4j\.Servidor)",
    };
    ASSERT_EQ(java.size(), expected.size()) << testing::PrintToString(java);
    for (size_t i = 0; i < java.size(); ++i)
        EXPECT_TRUE(std::regex_match(java[i], std::regex(expected[i]))) << java[i];
    // The console handler of the file never wrote.
    EXPECT_EQ(testing_support::read_file(dir() / "stderr.txt").find("slf4j."), std::string::npos);
}

} // namespace
