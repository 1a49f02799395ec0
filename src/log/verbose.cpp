#include "log/verbose.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "log/detail/budget.hpp"
#include "log/detail/line.hpp"
#include "log/detail/writer.hpp"
#include "log/detail/fallback.hpp"
#include "log/trust.h"
#include "platform/platform.h"

namespace {

using ub::detail::append_line;
using ub::detail::budget;
using ub::detail::CharBuffer;
using ub::detail::charge;
using ub::detail::drop_for_day;
using ub::detail::drop_for_fallback;
using ub::detail::escaped_copy;
using ub::detail::Escaping;
using ub::detail::fallback_cut;
using ub::detail::fallback_key;
using ub::detail::Line;
using ub::detail::Outcome;
using ub::detail::plain_date;
using ub::detail::put_digits;
using ub::detail::too_long;
using ub::detail::write_day_under_budget;
using ub::detail::write_line;

std::atomic<verbose_clock> clock_source{nullptr};

time_t read_clock()
{
    verbose_clock clock = clock_source.load(std::memory_order_relaxed);
    return clock != nullptr ? clock() : time(nullptr);
}

// The day's file name, monitor_YYYYMMDD.log, into name (64 bytes).
void day_file_name(const struct tm &local, char *name)
{
    if (!plain_date(local)) {
        std::snprintf(name, 64, "monitor_%04d%02d%02d.log", local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday);
        return;
    }
    static const char prefix[] = "monitor_";
    std::memcpy(name, prefix, sizeof prefix - 1);
    char *p = put_digits(name + sizeof prefix - 1, local.tm_year + 1900, 4);
    p = put_digits(p, local.tm_mon + 1, 2);
    p = put_digits(p, local.tm_mday, 2);
    std::memcpy(p, ".log", 5);
}

// The log folder last judged trusted in full, in the working folder it was
// judged in, and until when (steady milliseconds) the folders above the
// working folder are taken as judged with it.
struct JudgedLog {
    uint64_t here[2];
    uint64_t log[2];
    int64_t until;
};

std::mutex judged_lock;
JudgedLog judged{};
constexpr int64_t judged_for_ms = 1000;

int64_t steady_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool same_node(const uint64_t (&a)[2], const uint64_t (&b)[2])
{
    return a[0] == b[0] && a[1] == b[1];
}

// log/, opened as a folder node when it is trusted (log/trust.h), or -1.
// The working folder and log/ themselves are asked on every line; the
// folders above, which only root or the effective user can change once
// trusted, are judged again at most once a second (on Windows each is a
// walk through the access lists).
int open_log_folder()
{
    int64_t now = steady_ms();
    platform_node_status here{};
    bool here_fits = platform_node_status_get(PLATFORM_NODE_CWD, &here) == 0 &&
                     here.owner_trusted != 0 &&
                     (here.writer == PLATFORM_WRITER_NONE || here.sticky != 0);
    if (here_fits) {
        int folder = platform_node_open(PLATFORM_NODE_CWD, "log", 0, nullptr);
        platform_node_status log{};
        bool kept = folder >= 0 && platform_node_status_get(folder, &log) == 0 &&
                    log.kind == PLATFORM_NODE_FOLDER && log.owner_trusted != 0 &&
                    log.writer == PLATFORM_WRITER_NONE;
        if (kept) {
            std::lock_guard<std::mutex> hold(judged_lock);
            kept = now < judged.until && same_node(judged.here, here.id) &&
                   same_node(judged.log, log.id);
        }
        if (kept)
            return folder;
        if (folder >= 0)
            platform_close(folder);
    }
    int folder = trust_open("log", TRUST_FOLDER, nullptr);
    platform_node_status log{};
    if (folder >= 0 && here_fits && platform_node_status_get(folder, &log) == 0) {
        std::lock_guard<std::mutex> hold(judged_lock);
        judged = {{here.id[0], here.id[1]}, {log.id[0], log.id[1]}, now + judged_for_ms};
    }
    return folder;
}

// The daily file is named relative to the current directory: the same file
// as the directory's full path would name, whatever its length, without
// asking the system for that path on every line. Unless log/ is trusted
// (see trust.h), it is refused, and the line goes to the fallback file; the
// file is opened in the very folder judged. Its size comes with the open,
// so a line that fits costs nothing more.
Outcome write_daily(const struct tm &local, const Line &line)
{
    char name[64];
    day_file_name(local, name);
    int folder = open_log_folder();
    if (folder < 0)
        return Outcome::not_opened;
    int64_t held = 0;
    int fd = platform_open_append_at(folder, name, 0, &held);
    platform_close(folder);
    if (fd < 0)
        return Outcome::not_opened;
    Outcome outcome = held >= budget ? drop_for_day(fd, held, local, name)
                                     : write_day_under_budget(fd, held, local, line);
    platform_close(fd);
    return outcome;
}

// Appends the line to the fallback file, after a notice naming the
// directory whose log could not be opened; both go out in one write, under
// the file's budget as a day's file. The notice is not counted as written.
Outcome write_fallback(const char *directory, const struct tm &local, const Line &line)
{
    // It lives where everyone may write: open_fallback takes only what no
    // one else can have laid there.
    int64_t held = 0;
    int fd = ub::detail::open_fallback(ub::detail::fallback_path(), &held);
    if (fd < 0)
        return Outcome::not_opened;
    Outcome outcome = Outcome::not_written;
    if (held >= budget) {
        outcome = drop_for_fallback(fd, held, local);
    } else {
        // The folder's name is data too: it must not start a line of its own.
        CharBuffer shown = escaped_copy(directory);
        Line notice;
        Line replaced;
        const Line *text = &line;
        bool ready =
            shown && notice.print(nullptr, "Falha ao tentar abrir log em: '%s'\n", shown.get());
        if (ready && too_long(held, notice.size() + line.size())) {
            text = &replaced;
            ready = replaced.print(&local,
                                   "Linha de %d bytes descartada: passaria do limite do arquivo "
                                   "de log (%d bytes).\n",
                                   static_cast<int>(line.size()), VERBOSE_BUDGET);
        }
        if (ready && append_line(fd, fallback_cut, fallback_key, notice, *text) == 0) {
            charge(text->size());
            outcome = text == &line ? Outcome::written : Outcome::dropped;
        } else if (text != &line) {
            outcome = Outcome::dropped;
        }
    }
    platform_close(fd);
    return outcome;
}

} // namespace

namespace ub::detail {

std::atomic<int32_t> day_cut{0};
std::atomic<int32_t> fallback_cut{0};

int append_line(int fd, std::atomic<int32_t> &cut, int32_t key, const Line &lead, const Line &text)
{
    // A plain read first: the exchange, which every writer would otherwise
    // make on one shared word, is only needed when a cut line is pending.
    int32_t pending = key;
    bool after_cut = cut.load(std::memory_order_relaxed) == key &&
                     cut.compare_exchange_strong(pending, 0, std::memory_order_relaxed);
    size_t extra = (after_cut ? 1 : 0) + lead.size();
    int result = -1;
    if (extra == 0) {
        result = platform_write_all(fd, text.data(), text.size());
    } else if (CharBuffer joined{static_cast<char *>(std::malloc(extra + text.size()))}) {
        char *p = joined.get();
        if (after_cut)
            *p++ = '\n';
        std::memcpy(p, lead.data(), lead.size());
        std::memcpy(p + lead.size(), text.data(), text.size());
        result = platform_write_all(fd, joined.get(), extra + text.size());
    }
    if (result == -2 || (result == -1 && after_cut))
        cut.store(key, std::memory_order_relaxed);
    return result;
}

int write_line(const char *tag, bool continuations, const char *format, va_list args)
{
    if (format == nullptr)
        return -1;
    struct tm local {};
    platform_localtime(read_clock(), &local);
    Line line;
    if (!line.format(&local, tag, continuations ? Escaping::block : Escaping::line, format, args))
        return -1;
    // Only a day's file that cannot be opened sends the line to the
    // fallback file; a failed write (a full disk) loses the line and
    // counts nothing.
    Outcome outcome = write_daily(local, line);
    if (outcome == Outcome::not_opened) {
        char directory[PLATFORM_PATH_MAX];
        platform_getcwd(directory, sizeof directory);
        outcome = write_fallback(directory, local, line);
    }
    switch (outcome) {
    case Outcome::written: return static_cast<int>(line.size());
    case Outcome::dropped: return 0;
    case Outcome::not_opened: return VERBOSE_ERR_OPEN;
    case Outcome::not_written: break;
    }
    return VERBOSE_ERR_WRITE;
}

} // namespace ub::detail

int vverbose(FILE *stream, const char *tag, const char *format, va_list args) noexcept
{
    (void)stream;
    return write_line(tag, false, format, args);
}

int verbose_block(FILE *stream, const char *format, ...) noexcept
{
    (void)stream;
    va_list args;
    va_start(args, format);
    int result = write_line(nullptr, true, format, args);
    va_end(args);
    return result;
}

int verbose(FILE *stream, const char *format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    int result = vverbose(stream, nullptr, format, args);
    va_end(args);
    return result;
}

int verbose_in(const log_component *component, int level, const char *format, ...) noexcept
{
    if (component == nullptr || level > static_cast<int>(component->verbosity))
        return 0;
    va_list args;
    va_start(args, format);
    int result = vverbose(stdout, component->tag, format, args);
    va_end(args);
    return result;
}

int verbose2(unsigned int threshold, int level, FILE *stream, const char *tag, const char *format,
             ...) noexcept
{
    if (threshold < static_cast<unsigned int>(level))
        return 0;
    va_list args;
    va_start(args, format);
    int result = vverbose(stream, tag, format, args);
    va_end(args);
    return result;
}

int UB_STDCALL verbose_base(const char *text) noexcept
{
    if (text == nullptr)
        return -1;
    return verbose(stdout, "%s\n", text);
}

void log_component_set_tag(log_component *component, const char *tag) noexcept
{
    if (component == nullptr)
        return;
    std::snprintf(component->tag, sizeof component->tag, "%s", tag != nullptr ? tag : "");
}

void verbose_set_clock(verbose_clock clock) noexcept
{
    clock_source.store(clock, std::memory_order_relaxed);
}
