// The vesk executable launching a Java server from the test fixtures: what
// start receives, the log lines, and the exit statuses of failed launches.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "encoding_cases.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Child;
using testing_support::read_file;
using testing_support::read_lines;
using testing_support::run_child;
using testing_support::write_file;

const std::string vesk = VESK_EXE;
const std::string jar = VESK_TEST_JAR;
const std::string natives = VESK_TEST_NATIVES_DIR;

// The option table after the fixture's ini file, as key and value.
std::vector<std::pair<std::string, std::string>> configured_pairs()
{
    return {{"PORT", "9000"},
            {"BROADCAST_PORT", "10000"},
            {"PATH", ""},
            {"VERBOSITY", "4"},
            {"SCHEDCONFIG", "conf\\sched.json"},
            {"RESTART", "3"},
            {"cnpj", ""},
            {"cod_cliente", ""},
            {"STACK", "1"},
            {"LIBRARY_PATH", natives},
            {"CLASSPATH", jar},
            {"library", "ridevudi4v"},
            {"ENTRY_CLASS", "vesk/test/RecordingEntry"},
            {"tunnel_host", "127.0.0.1"},
            {"tunnel_port", "10999"},
            {"local_port", "10999"},
            {"dev_port", "7000"}};
}

class VeskLaunch : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        fs::create_directory("log");
        write_file("conf/vesk.ini", "VERBOSITY=4\nCLASSPATH=" + jar + "\nLIBRARY_PATH=" + natives +
                                        "\nENTRY_CLASS=vesk/test/RecordingEntry\n");
        // A service manager that runs the suite itself is not the host's.
        unsetenv("NOTIFY_SOCKET");
    }

    // Starts vesk with the class and library paths and the entry class that
    // records the two paths the JVM was given; paths.txt's lines (none when
    // the entry class never ran).
    std::vector<std::string> paths_given(const std::string &class_path,
                                         const std::string &library_path)
    {
        child_ = std::make_unique<Child>(
            vesk,
            std::vector<std::string>{"CLASSPATH", class_path, "LIBRARY_PATH", library_path,
                                     "ENTRY_CLASS", "vesk/test/PathsEntry"},
            dir(), std::vector<std::string>{}, dir() / "stderr.txt");
        if (!testing_support::wait_until([&] { return fs::exists(dir() / "paths.txt"); }))
            return {};
        return read_lines(dir() / "paths.txt");
    }

    // Starts vesk with words and waits until the entry class has recorded
    // what it received; start.txt's lines.
    std::vector<std::string> start(const std::vector<std::string> &words)
    {
        child_ = std::make_unique<Child>(vesk, words, dir(), std::vector<std::string>{},
                                         dir() / "stderr.txt");
        testing_support::wait_until([&] { return fs::exists(dir() / "start.txt"); });
        return read_lines(dir() / "start.txt");
    }

    // The log's lines without their time prefix, once there are count. The
    // lines that say where the JVM was found are left out: they depend on
    // the machine's Java and have a suite of their own.
    std::vector<std::string> logged(size_t count)
    {
        fs::path log = testing_support::todays_log(dir());
        std::vector<std::string> lines;
        testing_support::wait_until([&] {
            lines.clear();
            for (const std::string &line : read_lines(log)) {
                std::string text = line.substr(std::min<size_t>(line.size(), 21));
                if (text.rfind("JVM ", 0) != 0)
                    lines.push_back(text);
            }
            return lines.size() >= count;
        });
        return lines;
    }

    // What RecordingEntry writes for two longs and these pairs in slots.
    static std::vector<std::string>
    recorded(const std::vector<std::pair<std::string, std::string>> &pairs, size_t slots)
    {
        std::vector<std::string> lines = {"longs=2", "<callback>", "0",
                                          "texts=" + std::to_string(slots)};
        for (const auto &pair : pairs) {
            lines.push_back(pair.first);
            lines.push_back(pair.second);
        }
        while (lines.size() < slots + 4)
            lines.push_back("<null>");
        return lines;
    }

    // start.txt with the callback address replaced, after checking that it
    // is a plausible address.
    static std::vector<std::string> masked(std::vector<std::string> lines)
    {
        if (lines.size() > 1) {
            EXPECT_GT(std::stoll(lines[1]), 4096) << lines[1];
            lines[1] = "<callback>";
        }
        return lines;
    }

    // The host ends before its folder goes: a line it logs later would
    // otherwise reach the machine's fallback file.
    void TearDown() override
    {
        child_.reset();
        TempDirTest::TearDown();
    }

    std::unique_ptr<Child> child_;
};

TEST_F(VeskLaunch, StartGetsTheCallbackAndEverySlotAndTheHostKeepsRunning)
{
    auto pairs = configured_pairs();
    pairs[0].second = "81";
    pairs.emplace_back("FOO", "bar");
    EXPECT_EQ(masked(start({"PORT", "81", "FOO", "bar"})), recorded(pairs, 5 + 38));

    std::vector<std::string> expected = {"VERBOSITY=4", "|VESK| Init Params:"};
    for (const auto &pair : pairs)
        expected.push_back("|VESK| \t'" + pair.first + "' = '" + pair.second + "'");
    expected.push_back("|VESK| CLASSPATH=" + jar);
    expected.push_back("|VESK| LIBRARY_PATH=" + natives);
    expected.push_back("|VESK| STACK=1");
    // One event from the launching thread, one from a Java thread of its own.
    expected.push_back("RecordingEntry|INFO|1|started");
    expected.push_back("RecordingEntry|INFO|1|running");
    EXPECT_EQ(logged(expected.size()), expected);
    EXPECT_TRUE(child_->running());
    EXPECT_EQ(read_file(dir() / "stderr.txt").find("Falha"), std::string::npos);
}

// text as the log writes it: a C1 control (U+0080 to U+009F) as "\u00XX".
std::string c1_escaped(const std::string &text)
{
    std::string out;
    for (size_t k = 0; k < text.size(); ++k) {
        auto next = static_cast<unsigned char>(k + 1 < text.size() ? text[k + 1] : 0);
        if (text[k] == '\xc2' && next >= 0x80 && next <= 0x9f) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", next);
            out += escape;
            ++k;
        } else {
            out += text[k];
        }
    }
    return out;
}

// The parameter list in Java and the relay's texts back in the log: bytes
// of every encoding on the command line, and a Latin-1 conf/vesk.ini.
TEST_F(VeskLaunch, TextsOfAnyEncodingReachJavaAndComeBackAsUtf8)
{
    write_file("conf/vesk.ini", "VERBOSITY=4\nCLASSPATH=" + jar + "\nLIBRARY_PATH=" + natives +
                                    "\nENTRY_CLASS=vesk/test/Encoding\nPATH=C:\\Servi\xe7os\n");
    std::vector<std::string> words;
    std::set<std::string> expected = {"Encoding|INFO|PATH|C:\\Servi\xc3\xa7os"};
    for (const encoding_cases::Case &item : encoding_cases::sent()) {
        words.push_back(item.name);
        words.push_back(item.sent);
        expected.insert("Encoding|INFO|" + item.name + "|" + c1_escaped(item.back));
    }
    child_ = std::make_unique<Child>(vesk, words, dir(), std::vector<std::string>{},
                                     dir() / "stderr.txt");
    ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "encoding.txt"); }))
        << read_file(dir() / "stderr.txt");
    EXPECT_EQ(read_file(dir() / "encoding.txt"), "ok " + std::to_string(expected.size()));
    std::set<std::string> relayed;
    testing_support::wait_until([&] {
        relayed.clear();
        for (const std::string &line : logged(0)) {
            if (line.rfind("Encoding|", 0) == 0)
                relayed.insert(line);
        }
        return relayed.size() >= expected.size();
    });
    EXPECT_EQ(relayed, expected);
}

TEST_F(VeskLaunch, LastValueWinsAndKeysAreCaseSensitive)
{
    auto pairs = configured_pairs();
    pairs[0].second = "2";
    pairs.emplace_back("port", "3");
    EXPECT_EQ(masked(start({"PORT", "1", "PORT", "2", "port", "3"})), recorded(pairs, 7 + 38));
}

TEST_F(VeskLaunch, ASingleWordIsIgnored)
{
    EXPECT_EQ(masked(start({"alone"})), recorded(configured_pairs(), 2 + 38));
    EXPECT_TRUE(child_->running());
}

TEST_F(VeskLaunch, MissingIniRunsOnDefaultsWithoutLogLines)
{
    fs::remove_all("conf");
    std::vector<std::string> lines = start(
        {"CLASSPATH", jar, "LIBRARY_PATH", natives, "ENTRY_CLASS", "vesk/test/RecordingEntry"});
    ASSERT_GT(lines.size(), 4u);
    EXPECT_EQ(lines[3], "texts=" + std::to_string(7 + 38));
    EXPECT_TRUE(child_->running());
    EXPECT_EQ(read_file(dir() / "stderr.txt").rfind("Falha ao tentar ler: conf/vesk.ini\n", 0), 0u);
    // Threshold 0: neither the launch nor the relayed INFO events are logged.
    EXPECT_TRUE(logged(0).empty());
}

// Native modules of the Java side use the HTTP client without setting
// libcurl up. The host starts without it: libcurl is loaded and initialised
// by the first transfers (four threads at once here), and where it cannot
// be loaded (an empty file, or a library that is no libcurl, first on the
// loader's path) each transfer fails with the reason in the log while the
// host runs on.
TEST_F(VeskLaunch, LibcurlIsLoadedAtTheFirstTransfer)
{
    fs::create_directories("broken");
    write_file("broken/libcurl.so.4", "");
    fs::create_directories("other");
    fs::copy_file(fs::path(VESK_CURL_INIT_PROBE_DIR) / "libcurl_init_probe.so",
                  "other/libcurl.so.4");
    const std::string closed = "http://127.0.0.1:1/"; // nothing listens on port 1
    struct Case {
        const char *name;
        std::vector<std::string> env;
        std::vector<std::string> written; // http.txt
        std::string logged;               // on each transfer's line
    };
    const Case cases[] = {
        {"libcurl present",
         {},
         {"before none", "results -3 -3 -3 -3", "after libcurl"},
         "(7) Couldn't connect to server - '" + closed + "'"},
        {"libcurl absent",
         {"LD_LIBRARY_PATH=" + (dir() / "broken").string()},
         {"before none", "results -2 -2 -2 -2", "after none"},
         "Falha ao carregar a biblioteca libcurl (libcurl.so.4): "},
        {"not libcurl",
         {"LD_LIBRARY_PATH=" + (dir() / "other").string()},
         {"before none", "results -2 -2 -2 -2", "after none"},
         "Falha ao carregar a biblioteca libcurl (libcurl.so.4): curl_global_init nao "
         "localizado\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        child_.reset();
        fs::remove("http.txt");
        fs::remove_all("log");
        fs::create_directory("log");
        child_ = std::make_unique<Child>(
            vesk,
            std::vector<std::string>{"CLASSPATH", VESK_HOST_TEST_JAR, "LIBRARY_PATH",
                                     VESK_CURL_INIT_PROBE_DIR, "ENTRY_CLASS", "vesk/test/HttpEntry",
                                     "URL", closed},
            dir(), c.env, dir() / "stderr.txt");
        ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "http.txt"); }))
            << read_file(dir() / "stderr.txt");
        EXPECT_TRUE(
            testing_support::wait_until([&] { return read_lines("http.txt").size() == 3; }));
        EXPECT_EQ(read_lines("http.txt"), c.written);
        EXPECT_TRUE(child_->running());
        std::string log = read_file(testing_support::todays_log(dir()));
        size_t count = 0;
        for (size_t at = log.find(c.logged); at != std::string::npos;
             at = log.find(c.logged, at + 1))
            ++count;
        EXPECT_EQ(count, 4u) << log;
    }
}

// The log names the exception that failed the call, with its causes, on
// the line after the failure, then the class that could not be had: the
// entry class, a class it needs, or one whose static initialiser failed.
// Standard error shows what it always showed, and then the FATAL lines.
TEST_F(VeskLaunch, FailedEntryCallEndsWithStatusThree)
{
    const std::string host_jar = VESK_HOST_TEST_JAR;
    struct Case {
        const char *entry;
        std::string class_path;
        std::vector<std::string> fatal; // the log's lines after the failure
        const char *err;                // a part of standard error, before them
    };
    const Case cases[] = {
        {"vesk/test/NullEntry", jar, {}, ""},
        {"vesk/test/ThrowingEntry",
         jar,
         {"java.lang.IllegalStateException: start refused; causa: java.io.IOException: porta em "
          "uso"},
         "java.lang.IllegalStateException: start refused"},
        {"no/Such",
         jar,
         {"java.lang.NoClassDefFoundError: no/Such; causa: java.lang.ClassNotFoundException: "
          "no.Such",
          "Classe de entrada 'no.Such' nao encontrada no CLASSPATH."},
         "Classe 'no/Such' nao encontrada.\nException in thread \"main\" "
         "java.lang.NoClassDefFoundError: no/Such"},
        {"vesk.test.DependentEntry",
         host_jar,
         {"java.lang.NoClassDefFoundError: vesk/test/Target; causa: "
          "java.lang.ClassNotFoundException: vesk.test.Target",
          "Classe 'vesk.test.Target' nao encontrada, necessaria a 'vesk.test.DependentEntry': "
          "verifique o CLASSPATH."},
         ""},
        {"vesk/test/InitFailEntry",
         host_jar,
         {"java.lang.NoClassDefFoundError: Could not initialize class "
          "vesk.test.InitFailEntry$Broken; "
          "causa: java.lang.ExceptionInInitializerError: Exception "
          "java.lang.IllegalStateException: "
          "inicializador [in thread \"main\"]",
          "Classe 'vesk.test.InitFailEntry$Broken' nao pode ser usada: seu inicializador estatico "
          "falhou antes."},
         ""},
    };
    for (const Case &item : cases) {
        SCOPED_TRACE(item.entry);
        fs::remove_all("log");
        fs::create_directory("log");
        testing_support::ChildResult result =
            run_child(vesk, {"ENTRY_CLASS", item.entry, "CLASSPATH", item.class_path}, dir());
        EXPECT_EQ(result.status, 3);
        std::vector<std::string> fatal = {"Falha ao tentar iniciar VESKServer."};
        fatal.insert(fatal.end(), item.fatal.begin(), item.fatal.end());
        std::vector<std::string> lines = logged(0);
        ASSERT_GE(lines.size(), fatal.size());
        std::string told;
        for (size_t i = 0; i < fatal.size(); ++i) {
            EXPECT_EQ(lines[lines.size() - fatal.size() + i], "|VESK| " + fatal[i]);
            told += fatal[i] + "\n";
        }
        size_t err_at = result.err_text.find(item.err);
        EXPECT_NE(err_at, std::string::npos) << result.err_text;
        EXPECT_NE(result.err_text.find(told, err_at), std::string::npos) << result.err_text;
    }
}

// As the java launcher reads a class path: "<folder>/*" stands for the
// folder's .jar and .JAR files in name order; and both paths arrive whole
// far past the 2047 characters of the other option texts.
TEST_F(VeskLaunch, ClassAndLibraryPathsReachTheJvmWholeWithFolderJarsExpanded)
{
    fs::create_directories("lib");
    fs::create_directories("empty");
    fs::copy_file(jar, "lib/b.JAR");
    fs::copy_file(jar, "lib/a.jar");
    write_file("lib/c.Jar", "");
    write_file("lib/notes.txt", "");
    std::string far;
    for (int i = 0; far.size() < 2500; ++i)
        far += "/nao/existe/" + std::to_string(i) + ":";
    std::string class_path = far + "lib/*:lib/*.jar:empty/*";
    std::string library_path = far + natives;
    EXPECT_EQ(
        paths_given(class_path, library_path),
        (std::vector<std::string>{far + "lib/a.jar:lib/b.JAR:lib/*.jar:empty/*", library_path}));
}

// Whether jps can be checked without the shared /tmp: in a private mount
// namespace, with a fresh /tmp, and with the JVM's perf data on. Outer JVM
// options that name files under /tmp (the JNI check's logs) would lose them
// there, and the JVM fails on a log file it cannot open.
bool jps_isolated(const std::string &outer_options, const fs::path &cwd)
{
    if (outer_options.find("-XX:-UsePerfData") != std::string::npos ||
        outer_options.find("-XX:+PerfDisableSharedMem") != std::string::npos ||
        outer_options.find("/tmp") != std::string::npos)
        return false;
    return run_child("/bin/sh",
                     {"-c", "command -v unshare > /dev/null && command -v nsenter > /dev/null && "
                            "unshare -rm mount -t tmpfs vesk-test /tmp"},
                     cwd)
               .status == 0;
}

// The folder directly under /tmp that holds path, or "" when path is not
// under /tmp.
std::string kept_under_tmp(const std::string &path)
{
    return path.rfind("/tmp/", 0) == 0 ? path.substr(0, path.find('/', 5)) : std::string();
}

// Runs "$@" in the current folder with a fresh /tmp, through which the test's
// own folder and the folder $0 (the build's, when it lies under /tmp; may be
// empty) stay reachable: both are opened before the mount and bound back from
// those descriptors. The shell's pid goes to ns.pid, for nsenter.
const char fresh_tmp[] =
    "cwd=$PWD && exec 3< . && { [ -z \"$0\" ] || exec 4< \"$0\"; } && mount -t tmpfs vesk-test "
    "/tmp && "
    "{ [ -z \"$0\" ] || { mkdir -p \"$0\" && mount -c --bind /proc/self/fd/4 \"$0\"; }; } && "
    "mkdir -p \"$cwd\" && mount -c --bind /proc/self/fd/3 \"$cwd\" && exec 3<&- 4<&- && cd "
    "\"$cwd\" && "
    "echo $$ > ns.pid && exec \"$@\"";

// The server's command.txt (see CommandEntry) once it is there.
std::vector<std::string> command_lines(const fs::path &dir)
{
    EXPECT_TRUE(testing_support::wait_until([&] { return fs::exists(dir / "command.txt"); }))
        << read_file(dir / "stderr.txt");
    return read_lines(dir / "command.txt");
}

// ENTRY_CLASS in either spelling starts the server and names the process to
// jps in Java's, as a JVM option of the host's: JAVA_TOOL_OPTIONS is neither
// read nor changed, so without it the JVM echoes nothing, and an operator's
// own is applied and inherited as it was; conf/jvm.options may rename the
// process. The server reports the name it was created with; jps, which reads
// the JVMs' files under /tmp, runs in the host's own mount namespace.
TEST_F(VeskLaunch, EntryClassNamesTheProcessAndToolOptionsAreTheOperators)
{
    // Kept: the JNI check's own options, when it runs the suite.
    const char *outer = std::getenv("JAVA_TOOL_OPTIONS");
    const std::string own =
        (outer != nullptr ? std::string(outer) + " " : "") + "-Xmx64m -Dvesk.teste=operador";
    const bool isolated = jps_isolated(own, dir());
    if (!isolated)
        std::printf("jps not checked: no private mount namespace, no perf data, or outer "
                    "options with files under /tmp\n");
    struct Case {
        std::vector<std::string> env_words; // for env(1), before vesk
        const char *entry;
        const char *jvm_options; // conf/jvm.options, or nullptr
        std::string name;        // in jps -l and sun.java.command
        std::string inherited;   // JAVA_TOOL_OPTIONS of the server and its child
        std::string property;    // vesk.teste
    };
    const Case cases[] = {
        {{"-u", "JAVA_TOOL_OPTIONS"},
         "vesk/test/CommandEntry",
         nullptr,
         "vesk.test.CommandEntry",
         "<unset>",
         "<unset>"},
        {{"JAVA_TOOL_OPTIONS=" + own},
         "vesk.test.CommandEntry",
         nullptr,
         "vesk.test.CommandEntry",
         own,
         "operador"},
        {{"-u", "JAVA_TOOL_OPTIONS"},
         "vesk.test.CommandEntry",
         "-Dsun.java.command=ops.Servidor\n",
         "ops.Servidor",
         "<unset>",
         "<unset>"},
    };
    for (const Case &item : cases) {
        SCOPED_TRACE(item.name + " " + item.inherited);
        fs::remove("command.txt");
        fs::remove("conf/jvm.options");
        if (item.jvm_options != nullptr)
            write_file("conf/jvm.options", item.jvm_options);
        std::vector<std::string> words;
        if (isolated)
            words = {"unshare",     "-rm", "/bin/sh", "-c", fresh_tmp, kept_under_tmp(vesk),
                     "/usr/bin/env"};
        words.insert(words.end(), item.env_words.begin(), item.env_words.end());
        words.insert(words.end(),
                     {vesk, "CLASSPATH", VESK_HOST_TEST_JAR, "ENTRY_CLASS", item.entry});
        child_ = std::make_unique<Child>("/usr/bin/env", words, dir(), std::vector<std::string>{},
                                         dir() / "stderr.txt");
        std::vector<std::string> command = command_lines(dir());
        ASSERT_EQ(command.size(), 7u);
        EXPECT_EQ(command[1], item.name);
        EXPECT_EQ(command[2], item.inherited);
        EXPECT_EQ(command[3], item.inherited);
        EXPECT_EQ(command[6], item.property);
        std::string picked = "Picked up JAVA_TOOL_OPTIONS: " + own + "\n";
        EXPECT_EQ(read_file(dir() / "stderr.txt").find("Picked up"),
                  item.inherited == own ? read_file(dir() / "stderr.txt").find(picked)
                                        : std::string::npos)
            << read_file(dir() / "stderr.txt");
        if (isolated) {
            testing_support::ChildResult jps = run_child(
                "/bin/sh",
                {"-c",
                 "exec nsenter -t \"$(cat ns.pid)\" -U -m env -u JAVA_TOOL_OPTIONS \"$0\" -l "
                 "> jps.txt",
                 VESK_JPS},
                dir());
            ASSERT_EQ(jps.status, 0) << jps.err_text;
            std::vector<std::string> listed = read_lines(dir() / "jps.txt");
            std::string entry = command[0] + " " + item.name;
            EXPECT_NE(std::find(listed.begin(), listed.end(), entry), listed.end())
                << read_file(dir() / "jps.txt");
        }
        EXPECT_EQ(child_->stop(SIGTERM), 143);
    }
}

// conf/jvm.options comes after the host's options and wins over them: a
// stack size over STACK, -Xint over the JIT that -Xdebug keeps on; its
// options are listed after the host's, and a line that is no option is left
// out (the JVM would refuse it).
TEST_F(VeskLaunch, JvmOptionsFileComesAfterTheHostsOptions)
{
    struct Case {
        const char *file; // conf/jvm.options, or nullptr
        const char *vm;   // a part of java.vm.info
        const char *stack;
        const char *property;
        std::vector<std::string> listed; // after the host's -Dsun.java.command
    };
    const Case cases[] = {
        {nullptr, "mixed mode", "1024", "<unset>", {}},
        {"# pilha e modo\n\n  -Dvesk.teste=sim \r\n\t-Xss4m\nXmx512m\n-Xint",
         "interpreted mode",
         "4096",
         "sim",
         {"-Dvesk.teste=sim", "-Xss4m", "-Xint"}},
    };
    for (const Case &item : cases) {
        SCOPED_TRACE(item.vm);
        fs::remove("command.txt");
        if (item.file != nullptr)
            write_file("conf/jvm.options", item.file);
        child_ = std::make_unique<Child>(
            "/bin/sh",
            std::vector<std::string>{"-c", "exec \"$0\" \"$@\" > out.txt", vesk, "CLASSPATH",
                                     VESK_HOST_TEST_JAR, "ENTRY_CLASS", "vesk/test/CommandEntry"},
            dir(), std::vector<std::string>{}, dir() / "stderr.txt");
        std::vector<std::string> command = command_lines(dir());
        ASSERT_EQ(command.size(), 7u);
        EXPECT_NE(command[4].find(item.vm), std::string::npos) << command[4];
        EXPECT_EQ(command[5], item.stack);
        EXPECT_EQ(command[6], item.property);

        std::vector<std::string> out = read_lines(dir() / "out.txt");
        std::vector<std::string> expected = {"\t-Xss1m", "\t-XX:-CreateCoredumpOnCrash",
                                             "\t-Xdebug",
                                             "\t-Dsun.java.command=vesk.test.CommandEntry"};
        for (const std::string &option : item.listed)
            expected.push_back("\t" + option);
        expected.push_back("Inicia JVM");
        ASSERT_GE(out.size(), expected.size() + 3);
        EXPECT_EQ(std::vector<std::string>(out.begin() + 4, out.begin() + 4 + expected.size()),
                  expected);

        EXPECT_EQ(child_->stop(SIGTERM), 143);
    }
}

// conf/server.ini's pairs come after the option table and before the
// command line, merged as command-line pairs are: the file's PORT replaces
// the table's, its later WWW its earlier one, the command line's BIND its
// own; each pair takes two more slots. Lines it cannot take are told before
// the list is logged.
TEST_F(VeskLaunch, ServerIniPairsComeBetweenTheTableAndTheCommandLine)
{
    write_file("conf/server.ini", "WWW=/srv/www\n# comentario\n; outro\n\nPORT=82\r\n"
                                  "BIND=0.0.0.0\nsem igual\n=vazio\nWWW=/srv/outro\n");
    auto pairs = configured_pairs();
    pairs[0].second = "82";
    pairs.emplace_back("WWW", "/srv/outro");
    pairs.emplace_back("BIND", "127.0.0.1");
    EXPECT_EQ(masked(start({"BIND", "127.0.0.1"})), recorded(pairs, 3 + 38 + 2 * 4));
    const std::vector<std::string> told = {
        "Linha 7 de conf/server.ini: 'sem igual' nao e uma opcao (falta o '='); linha ignorada.",
        "Linha 8 de conf/server.ini: opcao sem nome antes do '='; linha ignorada."};
    std::vector<std::string> expected = {"VERBOSITY=4", "|VESK| " + told[0], "|VESK| " + told[1],
                                         "|VESK| Init Params:"};
    for (const auto &pair : pairs)
        expected.push_back("|VESK| \t'" + pair.first + "' = '" + pair.second + "'");
    std::vector<std::string> lines = logged(expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
}

// Each element of the class path as the JVM gets it that the JVM cannot use
// is told, at WARN on standard error and in the log: missing, a folder
// wildcard without jars, a jar the process's user may not read. As root, the
// host runs as nobody, in a folder of nobody's, without the perf data files
// it would leave under /tmp and without the outer JVM options (a JNI check's
// log folder is not nobody's).
TEST_F(VeskLaunch, ClassPathEntriesTheJvmCannotUseAreTold)
{
    const bool root = geteuid() == 0;
    if (root && !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "as root the host must run as another user, and setpriv is missing";
    fs::create_directories("empty");
    write_file("empty/notes.txt", "");
    fs::create_directories("lib");
    fs::copy_file(jar, "lib/a.jar");
    fs::copy_file(jar, "lib/secret.jar");
    fs::permissions("lib/secret.jar", fs::perms::owner_write);
    write_file("conf/jvm.options", "-XX:-UsePerfData\n");
    std::vector<std::string> words = {"-u", "JAVA_TOOL_OPTIONS"};
    if (root) {
        ASSERT_EQ(chown(".", 65534, 65534), 0);
        ASSERT_EQ(chown("log", 65534, 65534), 0);
        words.insert(words.end(), {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    }
    words.insert(words.end(), {vesk, "CLASSPATH", jar + ":libs/*:empty/*:nada.jar:lib/*",
                               "ENTRY_CLASS", "vesk/test/NullEntry"});
    testing_support::ChildResult result = run_child("/usr/bin/env", words, dir());
    EXPECT_EQ(result.status, 3) << result.err_text;
    const std::vector<std::string> told = {
        "Entrada do CLASSPATH nao encontrada: 'libs/*'.",
        "Entrada do CLASSPATH sem arquivos .jar na pasta: 'empty/*'.",
        "Entrada do CLASSPATH nao encontrada: 'nada.jar'.",
        "Entrada do CLASSPATH sem permissao de leitura para o usuario do servico: "
        "'lib/secret.jar'.",
    };
    std::vector<std::string> err_lines;
    std::istringstream err(result.err_text);
    for (std::string line; std::getline(err, line);) {
        if (line.rfind("Entrada do CLASSPATH", 0) == 0)
            err_lines.push_back(line);
    }
    EXPECT_EQ(err_lines, told) << result.err_text;
    std::vector<std::string> log_lines;
    for (const std::string &line : logged(0)) {
        if (line.rfind("|VESK| Entrada do CLASSPATH", 0) == 0)
            log_lines.push_back(line.substr(7));
    }
    EXPECT_EQ(log_lines, told);
}

// A user that no account has, whom the files of these tests are given to
// (chown) as those of another user, and the group of the same number.
constexpr unsigned other_user = 4242;

// The lines of text that begin with one of prefixes, in order, without
// the first skip characters.
std::vector<std::string> lines_starting(const std::string &text,
                                        const std::vector<std::string> &prefixes, size_t skip = 0)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        for (const std::string &prefix : prefixes) {
            if (line.rfind(prefix, 0) == 0) {
                lines.push_back(line.substr(skip));
                break;
            }
        }
    }
    return lines;
}

// A conf/ whose vesk.ini, were it read, runs RecordingEntry from a jar in
// conf/, and whose jvm.options keeps the JVM's files out of /tmp.
void write_conf_running_from_conf()
{
    fs::create_directories("conf");
    fs::copy_file(jar, "conf/evil.jar");
    write_file("conf/vesk.ini", "VERBOSITY=4\nCLASSPATH=conf/evil.jar\nLIBRARY_PATH=" + natives +
                                    "\nENTRY_CLASS=vesk/test/RecordingEntry\n");
    write_file("conf/jvm.options", "-XX:-UsePerfData\n");
}

// Where another user may change the working folder, conf/ or a file the host
// reads from it, the host does not start: the refusal names the file and
// why, on standard error and (once conf/vesk.ini set the threshold) in the
// log, and the entry class that the configuration names never runs.
TEST_F(VeskLaunch, ConfigurationOthersMayChangeStopsTheStart)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving files to another user needs root";
    const bool acl = run_child("/bin/sh", {"-c", "command -v setfacl"}, dir()).status == 0;
    const std::string here = fs::current_path().string();
    const std::string other = std::to_string(other_user);
    struct Case {
        const char *what;
        std::string command; // sh, in the test's folder, after conf/ is written
        std::string refusal; // after "VESKServer nao iniciado: "
        bool logged;         // conf/vesk.ini was read before the refusal
    };
    const std::string in = "' pertence a outro usuario (" + other + ").";
    const std::string all = "' pode ser alterado por todos os usuarios.";
    const Case cases[] = {
        {"conf/ de outro usuario", "chown " + other + " conf",
         "conf/vesk.ini nao e confiavel: '" + here + "/conf" + in, false},
        {"pasta de trabalho 1777", "chmod 1777 .",
         "a pasta de trabalho nao e confiavel: '" + here + all, false},
        {"vesk.ini gravavel pelo grupo",
         "chgrp " + other + " conf/vesk.ini && chmod 664 conf/vesk.ini",
         "conf/vesk.ini nao e confiavel: '" + here +
             "/conf/vesk.ini' pode ser alterado pelo grupo " + other + ".",
         false},
        {"lista de acesso em conf/", "setfacl -m u:" + other + ":rwx conf",
         "conf/vesk.ini nao e confiavel: '" + here +
             "/conf' pode ser alterado por uma entrada da lista de acesso.",
         false},
        {"jvm.options de outro usuario", "chown " + other + " conf/jvm.options",
         "conf/jvm.options nao e confiavel: '" + here + "/conf/jvm.options" + in, true},
        {"server.ini gravavel por todos", "touch conf/server.ini && chmod 666 conf/server.ini",
         "conf/server.ini nao e confiavel: '" + here + "/conf/server.ini" + all, true},
    };
    for (const Case &item : cases) {
        SCOPED_TRACE(item.what);
        if (item.command.rfind("setfacl", 0) == 0 && !acl) {
            std::printf("%s not checked: setfacl is missing\n", item.what);
            continue;
        }
        const char *reset = "chmod 755 . && rm -rf conf log start.txt && mkdir log";
        ASSERT_EQ(run_child("/bin/sh", {"-c", reset}, dir()).status, 0);
        write_conf_running_from_conf();
        ASSERT_EQ(run_child("/bin/sh", {"-c", item.command}, dir()).status, 0);
        testing_support::ChildResult result = run_child(vesk, {"PORT", "81"}, dir());
        EXPECT_EQ(result.status, 3);
        const std::vector<std::string> fatal = {"VESKServer nao iniciado: " + item.refusal,
                                                "Falha ao tentar iniciar VESKServer."};
        EXPECT_NE(result.err_text.find(fatal[0] + "\n" + fatal[1] + "\n"), std::string::npos)
            << result.err_text;
        EXPECT_FALSE(fs::exists("start.txt"));
        std::string log;
        for (const std::string &line : logged(0))
            log += line + "\n";
        EXPECT_EQ(lines_starting(log, {"|VESK| "}, 7),
                  item.logged ? fatal : std::vector<std::string>{});
    }
}

// What the host's effective user owns is as good as root's: the folder and
// conf/ of another user that stop a host run by root start the same server
// when that user runs it (without the JVM's files under /tmp and the outer
// JVM options, as above).
TEST_F(VeskLaunch, TheEffectiveUsersOwnConfigurationIsTaken)
{
    if (geteuid() != 0 || !fs::exists("/usr/bin/setpriv"))
        GTEST_SKIP() << "running the host as another user needs root and setpriv";
    write_conf_running_from_conf();
    const std::string user = std::to_string(other_user);
    ASSERT_EQ(run_child("/bin/chown", {"-R", user + ":" + user, "."}, dir()).status, 0);
    child_ = std::make_unique<Child>("/usr/bin/env",
                                     std::vector<std::string>{"-u", "JAVA_TOOL_OPTIONS", "setpriv",
                                                              "--reuid=" + user, "--regid=" + user,
                                                              "--clear-groups", vesk, "PORT", "81"},
                                     dir(), std::vector<std::string>{}, dir() / "stderr.txt");
    EXPECT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "start.txt"); }))
        << read_file(dir() / "stderr.txt");
    EXPECT_EQ(child_->stop(SIGTERM), 143);
}

// Entries of the class and library paths that another user may change are
// left out, each told with why, and the server starts on the others: an
// absolute jar of another user's, a jar of another user's that a wildcard
// finds (its other jar stays), a wildcard whose folder everyone may write,
// a relative library folder of another user's. A missing entry is passed
// on and told as it always was; and a FIFO in place of conf/jvm.options is
// told as a file that cannot be read, without waiting for a writer.
TEST_F(VeskLaunch, PathEntriesOthersMayChangeAreLeftOut)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving files to another user needs root";
    const std::string here = fs::current_path().string();
    const std::string other = std::to_string(other_user);
    for (const char *folder : {"other", "wild", "open", "libs"})
        fs::create_directories(folder);
    fs::copy_file(jar, "other/a.jar");
    fs::copy_file(jar, "wild/a.jar");
    fs::copy_file(jar, "wild/b.jar");
    fs::copy_file(jar, "open/a.jar");
    ASSERT_EQ(chown("other/a.jar", other_user, other_user), 0);
    ASSERT_EQ(chown("wild/b.jar", other_user, other_user), 0);
    ASSERT_EQ(chown("libs", other_user, other_user), 0);
    fs::permissions("open", fs::perms::all);
    ASSERT_EQ(mkfifo("conf/jvm.options", 0644), 0);
    const std::string class_path = jar + ":" + here + "/other/a.jar:wild/*:open/*:nada.jar";
    const std::string library_path = natives + ":libs:/nao/existe";
    EXPECT_EQ(paths_given(class_path, library_path),
              (std::vector<std::string>{jar + ":wild/a.jar:nada.jar", natives + ":/nao/existe"}));
    const std::vector<std::string> told = {
        "Falha ao tentar ler: conf/jvm.options",
        "Entrada do CLASSPATH ignorada: '" + here + "/other/a.jar' pertence a outro usuario (" +
            other + ").",
        "Entrada do CLASSPATH ignorada: 'wild/b.jar', pois '" + here +
            "/wild/b.jar' pertence a outro usuario (" + other + ").",
        "Entrada do CLASSPATH ignorada: 'open/*', pois '" + here +
            "/open' pode ser alterado por todos os usuarios.",
        "Entrada do CLASSPATH nao encontrada: 'nada.jar'.",
        "Entrada do LIBRARY_PATH ignorada: 'libs', pois '" + here +
            "/libs' pertence a outro "
            "usuario (" +
            other + ").",
    };
    std::string err = read_file(dir() / "stderr.txt");
    EXPECT_EQ(lines_starting(err, {"Entrada do ", "Falha"}), told) << err;
    std::string log;
    for (const std::string &line : logged(0))
        log += line + "\n";
    EXPECT_EQ(lines_starting(log, {"|VESK| Entrada do ", "|VESK| Falha"}, 7), told);
}

TEST_F(VeskLaunch, RefusedJvmEndsWithStatusTwo)
{
    testing_support::ChildResult result = run_child(vesk, {"STACK", "abc"}, dir());
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err_text.find("Erro ao tentar carregar JVM.\n"), std::string::npos);
    std::vector<std::string> lines = logged(0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "|VESK| Falha ao tentar iniciar JVM.");
}

// A JVM that ends by a fatal error of its own: a crash ends with 134 and
// names its report, wherever ErrorFile put it, or aborts when the operator
// asked for a core dump; a failure while the JVM starts ends as a refusal.
TEST_F(VeskLaunch, FatalJvmErrorsEndWithTheirOwnStatusAndTheLogSaysWhy)
{
    // Without the JNI check's options, whose ErrorFile would take the reports.
    const std::string crash = "unset JAVA_TOOL_OPTIONS; ulimit -c 0; exec \"$0\" CLASSPATH " +
                              std::string(VESK_HOST_TEST_JAR) + " ENTRY_CLASS vesk/test/CrashEntry";
    const struct {
        const char *jvm_options;
        int status; // -1: killed by a signal
        std::string last_line;
        std::string report;
    } cases[] = {
        {"", 134, "A JVM parou por um erro fatal; relatorio: ", "hs_err_pid"},
        {"-XX:ErrorFile=log/falha-%p.txt\n", 134,
         "A JVM parou por um erro fatal; relatorio: ", "log/falha-"},
        {"-XX:+CreateCoredumpOnCrash\n", -1,
         "A JVM parou por um erro fatal; relatorio: ", "hs_err_pid"},
        {"-Xmx1m\n", 2, "Falha ao tentar iniciar JVM.", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.jvm_options);
        write_file("conf/jvm.options", c.jvm_options);
        fs::remove_all("log");
        fs::create_directory("log");
        testing_support::ChildResult result = run_child("/bin/sh", {"-c", crash, vesk}, dir());
        EXPECT_EQ(result.status, c.status);
        std::vector<std::string> lines = logged(0);
        ASSERT_FALSE(lines.empty());
        const std::string &last = lines.back();
        EXPECT_EQ(last.rfind("|VESK| " + c.last_line, 0), 0u) << last;
        EXPECT_NE(result.err_text.find(c.last_line), std::string::npos);
        if (c.report.empty())
            continue;
        // The path named, from the working folder on, is a report the JVM wrote.
        size_t at = last.find(dir().string() + "/");
        ASSERT_NE(at, std::string::npos) << last;
        std::string path = last.substr(at, last.size() - at - 1);
        EXPECT_EQ(path.rfind((dir() / c.report).string(), 0), 0u) << path;
        EXPECT_NE(read_file(path).find("A fatal error has been detected"), std::string::npos);
        fs::remove(path);
    }
}

// A crash report that never ends: the host ends the process once the
// JVM's ErrorLogTimeout has passed since the report began.
TEST_F(VeskLaunch, ACrashReportThatDoesNotEndIsCutAtTheJvmsTimeout)
{
    write_file("conf/jvm.options", "-XX:ErrorLogTimeout=1\n");
    testing_support::ChildResult result = run_child(
        vesk,
        {"CLASSPATH", VESK_HOST_TEST_JAR, "ENTRY_CLASS", "vesk/test/CrashEntry", "CRASH", "report"},
        dir());
    EXPECT_EQ(result.status, 134);
    std::vector<std::string> lines = logged(0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(
        lines.back().rfind("|VESK| A JVM parou por um erro fatal e nao terminou seu relatorio em "
                           "1 s; relatorio: " +
                               dir().string() + "/hs_err_pid",
                           0),
        0u)
        << lines.back();
}

TEST_F(VeskLaunch, MissingIniLoadsTheDefaultsAndFailsSilently)
{
    fs::remove_all("conf");
    testing_support::ChildResult result =
        run_child("/bin/sh", {"-c", "exec \"$0\" alone > out.txt", vesk}, dir());
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(read_file(dir() / "out.txt"), "Parametros JVM\n"
                                            "\t-Djava.compiler=NONE\n"
                                            "\t-Djava.class.path=.\n"
                                            "\t-Djava.library.path=bin\n"
                                            "\t-Xss1m\n"
                                            "\t-XX:-CreateCoredumpOnCrash\n"
                                            "\t-Xdebug\n"
                                            "\t-Dsun.java.command=com.ubrontex.ubkarto.VESKServer\n"
                                            "Inicia JVM\n");
    EXPECT_NE(result.err_text.find("Classe 'com/ubrontex/ubkarto/VESKServer' nao encontrada.\n"),
              std::string::npos);
    // The log takes nothing at VERBOSITY 0; standard error, a service's
    // journal, still has the FATAL lines.
    EXPECT_TRUE(logged(0).empty());
    EXPECT_NE(result.err_text.find("Falha ao tentar iniciar VESKServer.\n"), std::string::npos);
    EXPECT_NE(
        result.err_text.find(
            "Classe de entrada 'com.ubrontex.ubkarto.VESKServer' nao encontrada no CLASSPATH.\n"),
        std::string::npos);
}

TEST_F(VeskLaunch, StopSignalsRunTheJavaShutdownHooks)
{
    const struct {
        int signal;
        int status;
    } cases[] = {{SIGTERM, 143}, {SIGINT, 130}, {SIGHUP, 129}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.signal);
        fs::remove_all("log");
        fs::create_directory("log");
        fs::remove("started.txt");
        child_ = std::make_unique<Child>(
            vesk, std::vector<std::string>{"ENTRY_CLASS", "vesk/test/ShutdownEntry"}, dir());
        ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "started.txt"); }));
        EXPECT_EQ(child_->stop(c.signal), c.status);
        std::vector<std::string> lines = logged(0);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "ShutdownEntry|INFO|0|parando");
    }
}

// The Windows service's stop on a real JVM: System.exit(143) from a thread
// of the host's runs the shutdown hooks, then the exit hook given as the
// JVM's "exit" option, which the option listing leaves out.
TEST_F(VeskLaunch, StopThroughSystemExitRunsTheShutdownHooksThenTheExitHook)
{
    testing_support::ChildResult result = run_child(
        "/bin/sh", {"-c", "\"$0\" ENTRY_CLASS vesk/test/ShutdownEntry >out.txt", VESK_STOP_PROBE},
        dir());
    EXPECT_EQ(result.status, 143) << result.err_text;
    std::vector<std::string> lines = logged(0);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "ShutdownEntry|INFO|0|parando");
    EXPECT_EQ(lines.back(), "exit hook 143");
    std::vector<std::string> listed = read_lines(dir() / "out.txt");
    EXPECT_EQ(std::count_if(listed.begin(), listed.end(),
                            [](const std::string &line) { return line.rfind('\t', 0) == 0; }),
              7);
    EXPECT_EQ(std::find(listed.begin(), listed.end(), "\texit"), listed.end());
}

// A background job of a non-interactive shell starts with SIGINT ignored,
// and the JVM leaves it so: only the SIGTERM that follows stops the host.
TEST_F(VeskLaunch, AnIgnoredInterruptStaysIgnored)
{
    const char *script =
        "trap '' INT; \"$0\" ENTRY_CLASS vesk/test/ShutdownEntry & pid=$!; n=0; "
        "while [ ! -f started.txt ] && [ $n -lt 400 ]; do sleep 0.05; n=$((n+1)); done; "
        "kill -INT $pid; kill -TERM $pid; wait $pid";
    EXPECT_EQ(run_child("/bin/sh", {"-c", script, vesk}, dir()).status, 143);
}

} // namespace

namespace {

// The service manager's end of the notify protocol: a datagram socket in the
// test's folder, which the host is given as NOTIFY_SOCKET.
class NotifySocket {
public:
    explicit NotifySocket(const fs::path &path) : path_(path.string())
    {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path_.c_str());
        EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    }

    ~NotifySocket() { close(fd_); }

    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;

    std::string variable() const { return "NOTIFY_SOCKET=" + path_; }

    // The reports received until now, in order, from the first'th on.
    std::vector<std::string> reports(size_t first = 0)
    {
        char report[4096];
        for (ssize_t got; (got = recv(fd_, report, sizeof report, MSG_DONTWAIT)) >= 0;)
            reports_.emplace_back(report, static_cast<size_t>(got));
        first = std::min(first, reports_.size());
        return {reports_.begin() + static_cast<std::ptrdiff_t>(first), reports_.end()};
    }

    // Whether report arrived, from the first'th on (waiting for it a while).
    bool has(const std::string &report, size_t first = 0)
    {
        return testing_support::wait_until([&] {
            std::vector<std::string> all = reports(first);
            return std::find(all.begin(), all.end(), report) != all.end();
        });
    }

private:
    std::string path_;
    int fd_ = -1;
    std::vector<std::string> reports_;
};

const std::string starting = "STATUS=Iniciando: vesk.test.ReadyEntry";
const std::string ready = "READY=1\nSTATUS=Em execucao: vesk.test.ReadyEntry";
const std::string stopping = "STOPPING=1\nSTATUS=Parando";

class VeskReadiness : public VeskLaunch {
protected:
    void SetUp() override
    {
        VeskLaunch::SetUp();
        manager_ = std::make_unique<NotifySocket>(dir() / "notify.sock");
    }

    // The words that start ReadyEntry in mode.
    static std::vector<std::string> ready_entry(const char *mode)
    {
        return {"CLASSPATH", VESK_HOST_TEST_JAR, "ENTRY_CLASS", "vesk/test/ReadyEntry", "MODE",
                mode};
    }

    std::unique_ptr<NotifySocket> manager_;
};

// READY only once start returned: while it runs the manager knows only that
// the server is starting (a report sent before the call would be there
// already). Then the stop is reported as soon as the JVM begins it, whether
// the host is sent SIGTERM or the server calls System.exit itself.
TEST_F(VeskReadiness, ReadyAfterStartReturnedAndStoppingOnEveryStop)
{
    const struct {
        const char *mode;
        int signal; // sent to the host, or 0 when the server exits by itself
        int status;
    } cases[] = {{"stay", SIGTERM, 143}, {"exit", 0, 0}};
    for (const auto &item : cases) {
        SCOPED_TRACE(item.mode);
        for (const char *file : {"started.txt", "go.txt", "exit.txt"})
            fs::remove(file);
        const size_t before = manager_->reports().size();
        child_ = std::make_unique<Child>(vesk, ready_entry(item.mode), dir(),
                                         std::vector<std::string>{manager_->variable()},
                                         dir() / "stderr.txt");
        ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "started.txt"); }))
            << read_file(dir() / "stderr.txt");
        EXPECT_EQ(manager_->reports(before), std::vector<std::string>{starting});
        write_file("go.txt", "");
        ASSERT_TRUE(manager_->has(ready, before)) << read_file(dir() / "stderr.txt");
        if (item.signal == 0)
            write_file("exit.txt", "");
        // Signal 0 only waits for the end.
        EXPECT_EQ(child_->stop(item.signal), item.status);
        EXPECT_EQ(manager_->reports(before), (std::vector<std::string>{starting, ready, stopping}));
    }
}

// A failed start is never reported ready; and an entry class name cannot
// add lines of its own to a report.
TEST_F(VeskReadiness, NoReadyWhenStartFails)
{
    write_file("go.txt", "");
    const struct {
        std::vector<std::string> words;
        std::string report;
    } cases[] = {
        {ready_entry("throw"), starting},
        {{"ENTRY_CLASS", "nao/Existe\nREADY=1"}, "STATUS=Iniciando: nao.Existe?READY=1"},
    };
    for (const auto &item : cases) {
        SCOPED_TRACE(item.report);
        const size_t before = manager_->reports().size();
        testing_support::ChildResult result =
            run_child(vesk, item.words, dir(), {manager_->variable()});
        EXPECT_EQ(result.status, 3);
        EXPECT_EQ(manager_->reports(before), std::vector<std::string>{item.report});
    }
}

// A notify socket that takes nothing is logged once, and the server runs.
TEST_F(VeskReadiness, AManagerThatTakesNothingIsLoggedAndTheLaunchGoesOn)
{
    child_ = std::make_unique<Child>(
        vesk, std::vector<std::string>{"ENTRY_CLASS", "vesk/test/RecordingEntry"}, dir(),
        std::vector<std::string>{"NOTIFY_SOCKET=" + (dir() / "nada.sock").string()});
    ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(dir() / "start.txt"); }));
    std::vector<std::string> lines = logged(0);
    EXPECT_EQ(std::count(lines.begin(), lines.end(),
                         "|VESK| Falha ao tentar avisar o gerenciador de servicos."),
              1);
    EXPECT_TRUE(child_->running());
}

} // namespace
