#include "host/crash.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "host/detail/notice.hpp"
#include "host/veskserver.h"
#include "jvm/java_utils.h"
#include "log/messages.hpp"
#include "log/verbose.h"
#include "platform/platform.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the JVM's options say of a crash; the last option of each kind wins.
struct CrashOptions {
    std::string error_file;
    bool core = false;
    long long timeout = 120;
    bool on_error = false; // OnError commands or a message box, which the JVM waits for

    void note(const std::string &option);
    void note_environment(const char *name);
};

void CrashOptions::note(const std::string &option)
{
    static const std::string file = "-XX:ErrorFile=";
    static const std::string seconds = "-XX:ErrorLogTimeout=";
    static const std::string commands = "-XX:OnError=";
    if (option == "-XX:+CreateCoredumpOnCrash" || option == "-XX:+CreateMinidumpOnCrash")
        core = true;
    else if (option == "-XX:-CreateCoredumpOnCrash" || option == "-XX:-CreateMinidumpOnCrash")
        core = false;
    else if (option.compare(0, file.size(), file) == 0)
        error_file = option.substr(file.size());
    else if (option.compare(0, seconds.size(), seconds) == 0)
        timeout = std::min(std::strtoll(option.c_str() + seconds.size(), nullptr, 10), 1000000LL);
    else if (option.compare(0, commands.size(), commands) == 0)
        on_error = option.size() > commands.size();
    else if (option == "-XX:+ShowMessageBoxOnError" || option == "-XX:-ShowMessageBoxOnError")
        on_error = option[4] == '+';
}

// The options of the environment variable name, split as the JVM splits
// them: at blanks, quotes holding blanks together.
void CrashOptions::note_environment(const char *name)
{
    const char *text = std::getenv(name);
    std::string option;
    bool open = false;
    char quote = '\0';
    for (const char *c = text; c != nullptr && *c != '\0'; ++c) {
        if (quote != '\0') {
            if (*c == quote)
                quote = '\0';
            else
                option += *c;
        } else if (*c == '\'' || *c == '"') {
            quote = *c;
            open = true;
        } else if (std::isspace(static_cast<unsigned char>(*c)) == 0) {
            option += *c;
            open = true;
        } else if (open) {
            note(option);
            option.clear();
            open = false;
        }
    }
    if (open)
        note(option);
}

// A place where the JVM may write its crash report, and the file there
// before the JVM started, so that the report of an earlier process with
// the same identifier is not taken for this one's.
struct Report {
    std::string path;
    bool watched = false; // in a folder that only the operator chose
    bool existed = false;
    platform_file_status before{};
};

// In the order the JVM tries them: ErrorFile, the working folder, the
// temporary folder. Written before the JVM starts, only read after.
std::vector<Report> reports;
std::string report_name;
bool core_wanted = false;
long long report_seconds = 120;
std::atomic<bool> created{false};

// crash_watch's: when a report was first seen being written.
bool report_began = false;
Clock::time_point report_seen;

// pattern with "%p" as pid and "%%" as "%", as the JVM names its report.
std::string expand(const std::string &pattern, const std::string &pid)
{
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && (next == 'p' || next == '%')) {
            out += next == 'p' ? pid : "%";
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

// path, read from folder when it is relative.
std::string placed(const std::string &folder, const std::string &path)
{
    bool absolute =
        !path.empty() && (path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'));
    if (absolute || folder.empty())
        return path;
    char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
    return folder.back() == separator ? folder + path : folder + separator + path;
}

void add_report(const std::string &path, bool watched)
{
    Report report;
    report.path = path;
    report.watched = watched;
    report.existed = platform_file_stat(path.c_str(), &report.before) == 0;
    reports.push_back(report);
}

// The report this crash wrote: the first place whose file is new or changed
// since the JVM started, among the watched places only when watched_only.
const Report *written_report(bool watched_only) noexcept
{
    for (const Report &report : reports) {
        platform_file_status now{};
        if ((watched_only && !report.watched) || platform_file_stat(report.path.c_str(), &now) != 0)
            continue;
        if (!report.existed || now.mtime != report.before.mtime || now.size != report.before.size)
            return &report;
    }
    return nullptr;
}

// Says, FATAL, that the JVM crashed, adding after (a text that starts with a
// blank or is empty), and where its report is.
void tell_crash(const char *after) noexcept
{
    // Room for the text and any path; nothing is allocated while the JVM aborts.
    static char line[PLATFORM_PATH_MAX + 200];
    const Report *report = written_report(false);
    if (report != nullptr)
        std::snprintf(line, sizeof line, "A JVM parou por um erro fatal%s; relatorio: %s.", after,
                      report->path.c_str());
    else
        std::snprintf(line, sizeof line,
                      "A JVM parou por um erro fatal%s; relatorio %s nao encontrado.", after,
                      report_name.c_str());
    ub::detail::tell_line(VERBOSE_FATAL, line);
}

// The JVM's abort hook, on its failing thread.
void JNICALL aborting()
{
    if (!created.load()) {
        verbose_message(VESK_MSG_JVM_NOT_LOADED);
        ub::detail::tell_line(VERBOSE_FATAL, "Falha ao tentar iniciar JVM.");
        platform_exit_now(VESK_NO_JVM);
    }
    tell_crash("");
    // Else the JVM goes on to abort(), which dumps core.
    if (!core_wanted)
        platform_exit_now(VESK_JVM_CRASHED);
}

} // namespace

void crash_prepare(const char *const *options, int count) noexcept
{
    try {
        CrashOptions read;
        read.note_environment("JAVA_TOOL_OPTIONS");
        read.core = false;
        for (int i = 0; options != nullptr && i < count; ++i) {
            if (options[i] != nullptr)
                read.note(options[i]);
        }
        read.note_environment("_JAVA_OPTIONS");
        core_wanted = read.core;
        report_seconds = read.on_error ? 0 : read.timeout;

        std::string pid = std::to_string(platform_process_id());
        report_name = "hs_err_pid" + pid + ".log";
        reports.clear();
        char folder[PLATFORM_PATH_MAX];
        std::string cwd = platform_getcwd(folder, sizeof folder) == 0 ? folder : "";
        if (!read.error_file.empty())
            add_report(placed(cwd, expand(read.error_file, pid)), true);
        if (!cwd.empty())
            add_report(placed(cwd, report_name), true);
        // Anyone may put a file there: it is named, never waited on.
        if (platform_temp_folder(folder, sizeof folder) == 0)
            add_report(placed(folder, report_name), false);
    } catch (const std::bad_alloc &) {
        reports.clear();
    }
    ub_JVM_set_abort_hook(aborting);
}

void crash_jvm_created(void) noexcept
{
    created.store(true);
}

void crash_watch(void) noexcept
{
    // An ErrorLogTimeout of 0, OnError commands or a message box tell the
    // JVM to wait for its report for good.
    if (!created.load() || report_seconds <= 0)
        return;
    Clock::time_point now = Clock::now();
    if (!report_began) {
        report_began = written_report(true) != nullptr;
        report_seen = now;
        return;
    }
    if (now - report_seen < std::chrono::seconds(report_seconds))
        return;
    static char after[64];
    std::snprintf(after, sizeof after, " e nao terminou seu relatorio em %lld s", report_seconds);
    tell_crash(after);
    platform_exit_now(VESK_JVM_CRASHED);
}
