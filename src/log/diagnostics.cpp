// The library's diagnostics router: each message to the sink when one is
// set, otherwise to its route's place (the day's log, standard error with
// its priority where that is the journal, standard output).
#include "log/verbose.h"

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "log/detail/line.hpp"
#include "log/detail/writer.hpp"
#include "platform/platform.h"

namespace {

using ub::detail::Escaping;
using ub::detail::Line;
using ub::detail::write_line;

// The syslog priority of a level: what journald reads from a "<N>" at the
// start of a line.
int syslog_priority(int level)
{
    switch (level) {
    case VERBOSE_NONE:
    case VERBOSE_FATAL: return 2;
    case VERBOSE_ERROR: return 3;
    case VERBOSE_WARN: return 4;
    case VERBOSE_INFO: return 6;
    default: return 7;
    }
}

// Writes text (escaped for standard error: it holds line feeds only at its
// end) in one piece, each line led by level's priority where standard error
// is the journal, where a "<N>" at a line's start would set it. The
// characters of text written, or -1.
int write_console(int level, const char *text, size_t size)
{
    if (size > INT_MAX)
        return -1;
    if (size == 0 || platform_stderr_is_journal() == 0)
        return std::fwrite(text, 1, size, stderr) == size ? static_cast<int>(size) : -1;
    char mark[4] = {'<', static_cast<char>('0' + syslog_priority(level)), '>', '\0'};
    std::string out;
    try {
        out.reserve(size + 3);
        for (size_t start = 0; start < size;) {
            const char *end =
                static_cast<const char *>(std::memchr(text + start, '\n', size - start));
            size_t next = end != nullptr ? static_cast<size_t>(end - text) + 1 : size;
            out.append(mark, 3);
            out.append(text + start, next - start);
            start = next;
        }
    } catch (const std::bad_alloc &) {
        return -1;
    }
    return std::fwrite(out.data(), 1, out.size(), stderr) == out.size() ? static_cast<int>(size)
                                                                        : -1;
}

// The support library's diagnostic sink. Read under the lock as one pair,
// so a caller never gets one sink with another's data; the flag spares
// every message the lock while none is set, as in the host.
struct Sink {
    verbose_sink call = nullptr;
    void *data = nullptr;
};
std::mutex sink_lock;
Sink sink_slot;
std::atomic<bool> sink_installed{false};

Sink current_sink()
{
    if (!sink_installed.load(std::memory_order_acquire))
        return {};
    std::lock_guard<std::mutex> hold(sink_lock);
    return sink_slot;
}

// The text the route's default place would have received, handed to the
// sink: the log's line without its time prefix, escaped as the log escapes
// it, standard error's text escaped as it gets it, standard output's as it is.
int to_sink(const Sink &sink, int route, int level, const char *component, const char *format,
            va_list args)
{
    Escaping escaping = route == VERBOSE_ROUTE_LOG         ? Escaping::line
                        : route == VERBOSE_ROUTE_LOG_BLOCK ? Escaping::block
                        : route == VERBOSE_ROUTE_STDERR    ? Escaping::console
                                                           : Escaping::none;
    Line line;
    if (!line.format(nullptr, nullptr, escaping, format, args))
        return -1;
    sink.call(level, component != nullptr ? component : "", line.data(), sink.data);
    return static_cast<int>(line.size());
}

// A standard-error diagnostic, with its priority where that is the journal.
int to_console(int level, const char *format, va_list args)
{
    Line line;
    if (!line.format(nullptr, nullptr, Escaping::console, format, args))
        return -1;
    return write_console(level, line.data(), line.size());
}

} // namespace

int verbose_console(int level, const char *format, ...) noexcept
{
    if (format == nullptr)
        return -1;
    va_list args;
    va_start(args, format);
    Line line;
    bool built = line.format(nullptr, nullptr, Escaping::console, format, args);
    va_end(args);
    if (!built)
        return -1;
    return write_console(level, line.data(), line.size());
}

void verbose_set_sink(verbose_sink sink, void *data) noexcept
{
    std::lock_guard<std::mutex> hold(sink_lock);
    sink_slot = Sink{sink, sink != nullptr ? data : nullptr};
    sink_installed.store(sink != nullptr, std::memory_order_release);
}

int verbose_diagnostic(int route, int level, const char *component, const char *format,
                       ...) noexcept
{
    if (format == nullptr || (route != VERBOSE_ROUTE_LOG && route != VERBOSE_ROUTE_LOG_BLOCK &&
                              route != VERBOSE_ROUTE_STDERR && route != VERBOSE_ROUTE_STDOUT))
        return -1;
    va_list args;
    va_start(args, format);
    int result = -1;
    Sink sink = current_sink();
    if (sink.call != nullptr)
        result = to_sink(sink, route, level, component, format, args);
    else if (route == VERBOSE_ROUTE_STDOUT)
        result = std::vfprintf(stdout, format, args);
    else if (route == VERBOSE_ROUTE_STDERR)
        result = to_console(level, format, args);
    else
        result = write_line(nullptr, route == VERBOSE_ROUTE_LOG_BLOCK, format, args);
    va_end(args);
    return result;
}
