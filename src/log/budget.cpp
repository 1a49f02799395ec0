// The budget of each log file: the lines of a spent file dropped, the
// markers and reports that say so, and the count of characters written.
#include "log/detail/fallback.hpp"
#include "log/detail/budget.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string_view>

#include "platform/platform.h"

namespace {

using ub::detail::append_line;
using ub::detail::budget;
using ub::detail::CharBuffer;
using ub::detail::charge;
using ub::detail::Line;

// Characters this process wrote to log files (the fallback's notices
// aside), for tests and benchmarks; it decides nothing. Lock-free: threads
// add whole line counts.
std::atomic<int32_t> log_limit{0};

constexpr int64_t budget_room = VERBOSE_BUDGET_ROOM;

// Bytes read from a spent file's end, beyond those written past its
// budget, to find a marker: what other writers may have added since the
// file was opened.
constexpr int64_t tail_margin = 4096;

int32_t day_number(const struct tm &local)
{
    return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

// The day after day (yyyymmdd), by the Gregorian calendar.
int32_t next_day(int32_t day)
{
    static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int year = day / 10000;
    int month = day / 100 % 100;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int length = month == 2 && leap ? 29 : month >= 1 && month <= 12 ? lengths[month - 1] : 31;
    if (day % 100 < length)
        return day + 1;
    return month < 12 ? (year * 100 + month + 1) * 100 + 1 : ((year + 1) * 100 + 1) * 100 + 1;
}

// The last day (yyyymmdd) on which this process dropped a line of the
// day's files for their budget, and of the fallback file alike. The thread
// that moves one to a new day tells standard error, and writes the file's
// marker unless its tail shows one there already: once a day at most.
std::atomic<int32_t> day_spent{0};
std::atomic<int32_t> fallback_spent{0};

// Whether the caller is the first of this process to drop a line of day's
// file (for spent) today.
bool first_drop(std::atomic<int32_t> &spent, int32_t day)
{
    int32_t seen = spent.load(std::memory_order_relaxed);
    return seen != day && spent.compare_exchange_strong(seen, day, std::memory_order_relaxed);
}

// Whether the end of the file open as fd, which held held bytes (at least
// the budget) when opened, holds text: everything written past the budget
// (but the room's worth at most) and the margin. False when the file
// cannot be read, as a file the process may write but not read.
bool tail_holds(int fd, int64_t held, const char *text)
{
    auto wanted = static_cast<size_t>(std::min(held - budget, budget_room) + tail_margin);
    CharBuffer tail(static_cast<char *>(std::malloc(wanted)));
    int got = tail ? platform_read_tail(fd, tail.get(), wanted) : -1;
    // The marker compared without its line end, which is CR LF on Windows.
    return got > 0 && std::string_view(tail.get(), static_cast<size_t>(got)).find(text) !=
                          std::string_view::npos;
}

// Appends the line "marker" with the time prefix, unless the file's tail
// holds it already.
void write_marker(int fd, int64_t held, const struct tm &local, const char *marker,
                  std::atomic<int32_t> &cut, int32_t key)
{
    if (tail_holds(fd, held, marker))
        return;
    Line line;
    if (line.print(&local, "%s\n", marker) && append_line(fd, cut, key, Line(), line) == 0)
        charge(line.size());
}

// Lines of the day's files that this process dropped at their budget and
// has not yet reported, with the first and last day of those drops. The
// report leads the first line written to a later day's file. Drops and
// reports take the lock; every other line reads the last day alone.
struct Drops {
    uint64_t count = 0;
    int32_t first = 0;
    int32_t last = 0;
};
std::mutex drops_lock;
Drops drops;
std::atomic<int32_t> drops_last{0}; // drops.last, 0 while none are held

void hold_drops(const Drops &more)
{
    if (more.count == 0)
        return;
    std::lock_guard<std::mutex> hold(drops_lock);
    drops.first = drops.count == 0 ? more.first : std::min(drops.first, more.first);
    drops.last = std::max(drops.last, more.last);
    drops.count += more.count;
    drops_last.store(drops.last, std::memory_order_relaxed);
}

// The drops to report in day's file: none unless they all came before it.
Drops take_drops(int32_t day)
{
    int32_t last = drops_last.load(std::memory_order_relaxed);
    if (last == 0 || last >= day)
        return {};
    std::lock_guard<std::mutex> hold(drops_lock);
    if (drops.count == 0 || drops.last >= day)
        return {};
    Drops taken = drops;
    drops = {};
    drops_last.store(0, std::memory_order_relaxed);
    return taken;
}

// The report of taken drops, "<n> linhas descartadas em <day> pelo limite
// diario do log.", with "de <first> a <last>" for drops of several days.
bool print_drops(Line &out, const struct tm &local, const Drops &taken)
{
    auto count = static_cast<unsigned long long>(taken.count);
    const char *lines = taken.count == 1 ? "linha descartada" : "linhas descartadas";
    int first = taken.first;
    int last = taken.last;
    if (first == last)
        return out.print(&local, "%llu %s em %02d/%02d/%04d pelo limite diario do log.\n", count,
                         lines, first % 100, first / 100 % 100, first / 10000);
    return out.print(&local,
                     "%llu %s de %02d/%02d/%04d a %02d/%02d/%04d pelo limite diario do log.\n",
                     count, lines, first % 100, first / 100 % 100, first / 10000, last % 100,
                     last / 100 % 100, last / 10000);
}

} // namespace

namespace ub::detail {

bool too_long(int64_t held, size_t size)
{
    return static_cast<uint64_t>(size) > static_cast<uint64_t>(budget + budget_room - held);
}

void charge(size_t count)
{
    int32_t add = count > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(count);
    int32_t seen = log_limit.load(std::memory_order_relaxed);
    int32_t next;
    do {
        next = seen > INT32_MAX - add ? INT32_MAX : seen + add;
    } while (!log_limit.compare_exchange_weak(seen, next, std::memory_order_relaxed));
}

Outcome drop_for_day(int fd, int64_t held, const struct tm &local, const char *name)
{
    int32_t day = day_number(local);
    hold_drops(Drops{1, day, day});
    if (!first_drop(day_spent, day))
        return Outcome::dropped;
    int32_t until = next_day(day);
    int until_day = until % 100;
    int until_month = until / 100 % 100;
    int until_year = until / 10000;
    verbose_console(VERBOSE_WARN,
                    "vesk: limite diario do log atingido (%d bytes) em log" PLATFORM_PATH_SEP_STR
                    "%s; linhas descartadas ate %02d/%02d/%04d 00:00:00.\n",
                    VERBOSE_BUDGET, name, until_day, until_month, until_year);
    char marker[192];
    std::snprintf(marker, sizeof marker,
                  "Limite diario do log atingido (%d bytes): linhas descartadas ate "
                  "%02d/%02d/%04d 00:00:00.",
                  VERBOSE_BUDGET, until_day, until_month, until_year);
    write_marker(fd, held, local, marker, day_cut, day);
    return Outcome::dropped;
}

Outcome write_day_under_budget(int fd, int64_t held, const struct tm &local, const Line &line)
{
    int32_t day = day_number(local);
    Drops taken = take_drops(day);
    Line report;
    if (taken.count > 0 && !print_drops(report, local, taken)) {
        hold_drops(taken);
        taken = {};
    }
    Line replaced;
    const Line *text = &line;
    if (too_long(held, report.size() + line.size())) {
        text = &replaced;
        if (!replaced.print(&local,
                            "Linha de %d bytes descartada: passaria do limite diario do log (%d "
                            "bytes).\n",
                            static_cast<int>(line.size()), VERBOSE_BUDGET)) {
            hold_drops(taken);
            return Outcome::dropped;
        }
    }
    if (append_line(fd, day_cut, day, report, *text) != 0) {
        hold_drops(taken);
        return text == &line ? Outcome::not_written : Outcome::dropped;
    }
    charge(report.size() + text->size());
    return text == &line ? Outcome::written : Outcome::dropped;
}

Outcome drop_for_fallback(int fd, int64_t held, const struct tm &local)
{
    if (!first_drop(fallback_spent, day_number(local)))
        return Outcome::dropped;
    verbose_console(VERBOSE_WARN,
                    "vesk: limite do arquivo de log atingido (%d bytes) em %s; linhas "
                    "descartadas.\n",
                    VERBOSE_BUDGET, ub::detail::fallback_path());
    char marker[128];
    std::snprintf(marker, sizeof marker,
                  "Limite do arquivo de log atingido (%d bytes): linhas descartadas.",
                  VERBOSE_BUDGET);
    write_marker(fd, held, local, marker, fallback_cut, fallback_key);
    return Outcome::dropped;
}

} // namespace ub::detail

int32_t verbose_limit_get(void) noexcept
{
    return log_limit.load(std::memory_order_relaxed);
}

void verbose_limit_set(int32_t count) noexcept
{
    log_limit.store(count, std::memory_order_relaxed);
}

int32_t verbose_budget_spent_day(void) noexcept
{
    return day_spent.load(std::memory_order_relaxed);
}
