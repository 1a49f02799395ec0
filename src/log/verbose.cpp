#include "log/verbose.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "log/fallback.h"
#include "log/trust.h"
#include "platform/platform.h"

namespace {

// Characters this process wrote to log files (the fallback's notices
// aside), for tests and benchmarks; it decides nothing. Lock-free: threads
// add whole line counts.
std::atomic<int32_t> log_limit{0};

std::atomic<verbose_clock> clock_source{nullptr};

time_t read_clock()
{
    verbose_clock clock = clock_source.load(std::memory_order_relaxed);
    return clock != nullptr ? clock() : time(nullptr);
}

// Writes value (0 <= value < 10^width) as exactly width digits; the end.
char *put_digits(char *out, int value, int width)
{
    for (int k = width - 1; k >= 0; --k) {
        out[k] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + width;
}

// Whether the calendar fields print with the fixed widths below: a
// four-digit year, as every date of a running service has.
bool plain_date(const struct tm &local)
{
    return local.tm_year + 1900 >= 1000 && local.tm_year + 1900 <= 9999 && local.tm_mon >= 0 &&
           local.tm_mon < 12 && local.tm_mday >= 1 && local.tm_mday <= 31 && local.tm_hour >= 0 &&
           local.tm_hour < 24 && local.tm_min >= 0 && local.tm_min < 60 && local.tm_sec >= 0 &&
           local.tm_sec <= 60;
}

// "DD/MM/YYYY hh:mm:ss: " into out (64 bytes); its length, or -1. Written
// by hand: every line needs one, and printf costs several times as much.
int put_prefix(const struct tm &local, char *out)
{
    if (!plain_date(local)) {
        return std::snprintf(out, 64, "%02d/%02d/%d %02d:%02d:%02d: ", local.tm_mday,
                             local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
                             local.tm_sec);
    }
    char *p = put_digits(out, local.tm_mday, 2);
    *p++ = '/';
    p = put_digits(p, local.tm_mon + 1, 2);
    *p++ = '/';
    p = put_digits(p, local.tm_year + 1900, 4);
    *p++ = ' ';
    p = put_digits(p, local.tm_hour, 2);
    *p++ = ':';
    p = put_digits(p, local.tm_min, 2);
    *p++ = ':';
    p = put_digits(p, local.tm_sec, 2);
    *p++ = ':';
    *p++ = ' ';
    return static_cast<int>(p - out);
}

struct FreeDeleter {
    void operator()(char *p) const { std::free(p); }
};
using CharBuffer = std::unique_ptr<char, FreeDeleter>;

// ---- Escapes. Every text written to the log or to standard error goes
// through them, so that no reader finds a line break, a terminal or
// bidirectional control, or a byte it cannot decode where the writer put
// none: a byte that is not part of well-formed UTF-8 is written as "\xNN",
// each of its bytes alone; an ASCII control (all below 0x20 but the tab, and
// 0x7F) as "\n", "\r" or "\xNN"; a C1 control, U+2028, U+2029 or a
// bidirectional control as "\uXXXX". Hex digits are upper case.

// Whether c, a byte below 0x80, is written as it is: printable or a tab.
bool plain_ascii(unsigned char c)
{
    return (c >= 0x20 && c < 0x7F) || c == '\t';
}

// The length of the well-formed UTF-8 sequence that starts at text (left
// bytes, the first one 0x80 or more) and its character in code; 0 when that
// byte starts none: a continuation byte, an overlong form, a surrogate, a
// character past U+10FFFF or a sequence cut short.
size_t utf8_sequence(const unsigned char *text, size_t left, uint32_t &code)
{
    unsigned char lead = text[0];
    size_t length = 0;
    unsigned char low = 0x80; // the second byte's range, narrower after some leads
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || text[1] < low || text[1] > high)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((text[k] & 0xC0) != 0x80)
            return 0;
        code = code << 6 | (text[k] & 0x3Fu);
    }
    return length;
}

// Whether a character past ASCII is written as "\uXXXX": the C1 controls
// (U+0085 ends a line for some readers), the line and paragraph separators,
// and the bidirectional controls, which reorder what a reader shows.
bool escaped_code(uint32_t code)
{
    return (code >= 0x80 && code <= 0x9F) || code == 0x061C || code == 0x200E || code == 0x200F ||
           (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

// Writes a backslash, letter and value in digits hex digits at out (when
// out is not NULL); the characters that takes.
size_t put_hex_escape(char letter, uint32_t value, int digits, char *out)
{
    static const char hex[] = "0123456789ABCDEF";
    if (out != nullptr) {
        out[0] = '\\';
        out[1] = letter;
        for (int k = 0; k < digits; ++k)
            out[2 + k] = hex[value >> (4 * (digits - 1 - k)) & 0xF];
    }
    return 2 + static_cast<size_t>(digits);
}

// Writes text[0, end) at out (when not NULL) with its escapes; the
// characters that takes. With continuations, a line feed that a tab follows
// is kept: it opens a continuation line of the same entry (a stack trace
// from the Java kit, an HTTP trace's hex dump, under their one line).
size_t escape_text(const char *text, size_t end, bool continuations, char *out)
{
    auto bytes = reinterpret_cast<const unsigned char *>(text);
    size_t size = 0;
    for (size_t k = 0; k < end;) {
        unsigned char c = bytes[k];
        size_t length = 1;
        size_t written = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            bool kept = plain_ascii(c) ||
                        (c == '\n' && continuations && k + 1 < end && bytes[k + 1] == '\t');
            if (!kept && (c == '\n' || c == '\r')) {
                written = 2;
                if (out != nullptr) {
                    out[size] = '\\';
                    out[size + 1] = c == '\n' ? 'n' : 'r';
                }
            } else if (!kept) {
                written = put_hex_escape('x', c, 2, out != nullptr ? out + size : nullptr);
            }
        } else if ((length = utf8_sequence(bytes + k, end - k, code)) == 0) {
            length = 1;
            written = put_hex_escape('x', c, 2, out != nullptr ? out + size : nullptr);
        } else if (escaped_code(code)) {
            written = put_hex_escape('u', code, 4, out != nullptr ? out + size : nullptr);
        }
        if (written == 0) {
            written = length;
            if (out != nullptr)
                std::memcpy(out + size, text + k, length);
        }
        size += written;
        k += length;
    }
    return size;
}

// The length of text's start that needs no escape: printable ASCII and
// tabs. Most lines are nothing else, and stop here.
size_t plain_prefix(const char *text, size_t end)
{
    size_t k = 0;
    while (k < end && plain_ascii(static_cast<unsigned char>(text[k])))
        ++k;
    return k;
}

// text with every character the writer escapes (the line feed included)
// written as its escape, for a name inside a notice; NULL when memory runs
// out.
CharBuffer escaped_copy(const char *text)
{
    size_t end = std::strlen(text);
    size_t size = escape_text(text, end, false, nullptr);
    CharBuffer out(static_cast<char *>(std::malloc(size + 1)));
    if (!out)
        return out;
    escape_text(text, end, false, out.get());
    out.get()[size] = '\0';
    return out;
}

// How a line's text is written: as it is (standard output, the writer's
// own notes), escaped but for its final line feed (a log line), so and for
// continuation lines too (verbose_block), or escaped but for the line feeds
// that end it (standard error, where a text may end in an empty line).
enum class Escaping { none, line, block, console };

// A formatted line: short lines live on the stack, longer ones on the heap.
// The text is always zero-terminated.
class Line {
public:
    const char *data() const { return heap_ ? heap_.get() : stack_; }
    size_t size() const { return size_; }

    // Formats time prefix (none for a NULL local), tag and message, and
    // escapes it as escaping says; false when the text cannot be built
    // (format error, no memory, or a line longer than an int counts).
    bool format(const struct tm *local, const char *tag, Escaping escaping, const char *format,
                va_list args)
    {
        char prefix[64];
        int written = local != nullptr ? put_prefix(*local, prefix) : 0;
        if (written < 0)
            return false;
        size_t prefix_size = static_cast<size_t>(written);
        size_t tag_size = tag != nullptr ? std::strlen(tag) : 0;
        size_t head = prefix_size + (tag != nullptr ? tag_size + 3 : 0);
        if (head >= INT_MAX)
            return false;

        va_list again;
        va_copy(again, args);
        int body = -1;
        if (head < sizeof stack_) {
            put_head(stack_, prefix, prefix_size, tag, tag_size);
            body = std::vsnprintf(stack_ + head, sizeof stack_ - head, format, args);
        } else {
            body = std::vsnprintf(nullptr, 0, format, args);
        }
        bool ok = body >= 0 && head + static_cast<size_t>(body) < INT_MAX;
        if (ok && head + static_cast<size_t>(body) >= sizeof stack_) {
            heap_.reset(static_cast<char *>(std::malloc(head + static_cast<size_t>(body) + 1)));
            ok = heap_ != nullptr;
            if (ok) {
                put_head(heap_.get(), prefix, prefix_size, tag, tag_size);
                ok = std::vsnprintf(heap_.get() + head, static_cast<size_t>(body) + 1, format,
                                    again) == body;
            }
        }
        va_end(again);
        if (ok)
            size_ = head + static_cast<size_t>(body);
        return ok && (escaping == Escaping::none || escape(escaping));
    }

    // The writer's own note: format with its arguments after the time
    // prefix (none for a NULL local), nothing escaped. False as format.
    bool print(const struct tm *local, const char *format, ...) UB_PRINTF(3, 4)
    {
        va_list args;
        va_start(args, format);
        bool built = this->format(local, nullptr, Escaping::none, format, args);
        va_end(args);
        return built;
    }

private:
    // Writes the text with its escapes but for its own end: the final line
    // feed of a log line, the line feeds that end a text for standard
    // error. The writer does it for every caller, so that names, paths and
    // remote texts in a message can never start a line of their own that
    // passes for another entry, nor reach a reader as bytes it cannot read.
    // One call is one line. False when the escaped text does not fit.
    bool escape(Escaping escaping)
    {
        const char *text = data();
        size_t end = size_;
        if (escaping == Escaping::console) {
            while (end > 0 && text[end - 1] == '\n')
                --end;
        } else if (end > 0 && text[end - 1] == '\n') {
            --end;
        }
        size_t plain = plain_prefix(text, end);
        if (plain == end)
            return true;
        bool continuations = escaping == Escaping::block;
        size_t body = plain + escape_text(text + plain, end - plain, continuations, nullptr);
        if (body == end)
            return true;
        size_t size = body + (size_ - end);
        if (size >= INT_MAX)
            return false;
        CharBuffer out(static_cast<char *>(std::malloc(size + 1)));
        if (!out)
            return false;
        std::memcpy(out.get(), text, plain);
        escape_text(text + plain, end - plain, continuations, out.get() + plain);
        std::memcpy(out.get() + body, text + end, size_ - end);
        out.get()[size] = '\0';
        heap_ = std::move(out);
        size_ = size;
        return true;
    }

    static void put_head(char *out, const char *prefix, size_t prefix_size, const char *tag,
                         size_t tag_size)
    {
        std::memcpy(out, prefix, prefix_size);
        if (tag == nullptr)
            return;
        out += prefix_size;
        *out++ = '|';
        std::memcpy(out, tag, tag_size);
        out += tag_size;
        *out++ = '|';
        *out = ' ';
    }

    // Room for the prefix, a tag and a typical message.
    char stack_[1024];
    CharBuffer heap_;
    size_t size_ = 0;
};

// Adds count to the characters written, without wrapping past INT32_MAX.
void charge(size_t count)
{
    int32_t add = count > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(count);
    int32_t seen = log_limit.load(std::memory_order_relaxed);
    int32_t next;
    do {
        next = seen > INT32_MAX - add ? INT32_MAX : seen + add;
    } while (!log_limit.compare_exchange_weak(seen, next, std::memory_order_relaxed));
}

// Whether a file ends in a piece of a line cut short by a failed write:
// the key of the file that does (a day, yyyymmdd), or 0. The next text
// written to that file starts on a line of its own, so a cut line never
// runs into the next one.
std::atomic<int32_t> day_cut{0};
std::atomic<int32_t> fallback_cut{0};
constexpr int32_t fallback_key = 1;

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

// Writes lead and then text (lead may be empty), after a line feed when
// the file (key) ends in a cut line; all go out in one write. A partial
// write leaves a cut line behind, and a write that put nothing out leaves a
// pending one in place.
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

// ---- The budget of each file. It is judged by the file's size as opened,
// which every process writing the file sees, so that no number of
// processes, nor restarts, take a day's file past it: a line that starts
// under the budget is written, up to VERBOSE_BUDGET_ROOM past it; at the
// budget, lines are dropped, and one marker line in the file says so.

constexpr int64_t budget = VERBOSE_BUDGET;
constexpr int64_t budget_room = VERBOSE_BUDGET_ROOM;

// Bytes read from a spent file's end, beyond those written past its
// budget, to find a marker: what other writers may have added since the
// file was opened.
constexpr int64_t tail_margin = 4096;

// Whether a line of size bytes, written to a file of held bytes (under the
// budget), would take it past the budget's room.
bool too_long(int64_t held, size_t size)
{
    return static_cast<uint64_t>(size) > static_cast<uint64_t>(budget + budget_room - held);
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

// ---- Writing a line to its file.

// What became of a line.
enum class Outcome { written, dropped, not_opened, not_written };

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

// Drops a line at the day's file's budget, counting it for the next day's
// report. The process's first drop of the day tells standard error and
// marks the file.
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

// Writes the line to a day's file under its budget, led by the report of
// earlier days' drops when one is due (one write); a line that would take
// the file past the budget's room is replaced by a short line saying so.
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
    int fd = platform_open_append_at(folder, name, &held);
    platform_close(folder);
    if (fd < 0)
        return Outcome::not_opened;
    Outcome outcome = held >= budget ? drop_for_day(fd, held, local, name)
                                     : write_day_under_budget(fd, held, local, line);
    platform_close(fd);
    return outcome;
}

// Drops a line at the fallback file's budget (it never rotates); the
// process's first drop of the day tells standard error and marks the file.
Outcome drop_for_fallback(int fd, int64_t held, const struct tm &local)
{
    if (!first_drop(fallback_spent, day_number(local)))
        return Outcome::dropped;
    verbose_console(VERBOSE_WARN,
                    "vesk: limite do arquivo de log atingido (%d bytes) em %s; linhas "
                    "descartadas.\n",
                    VERBOSE_BUDGET, log_fallback_path());
    char marker[128];
    std::snprintf(marker, sizeof marker,
                  "Limite do arquivo de log atingido (%d bytes): linhas descartadas.",
                  VERBOSE_BUDGET);
    write_marker(fd, held, local, marker, fallback_cut, fallback_key);
    return Outcome::dropped;
}

// Appends the line to the fallback file, after a notice naming the
// directory whose log could not be opened; both go out in one write, under
// the file's budget as a day's file. The notice is not counted as written.
Outcome write_fallback(const char *directory, const struct tm &local, const Line &line)
{
    // It lives in a folder that everyone may write to: only a plain file of
    // this user's own, with no other name, will do.
    int64_t held = 0;
    int fd =
        platform_open_append(log_fallback_path(), PLATFORM_APPEND_SHARED_FOLDER, &held);
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

int32_t verbose_limit_get(void) noexcept
{
    return log_limit.load(std::memory_order_relaxed);
}

void verbose_limit_set(int32_t count) noexcept
{
    log_limit.store(count, std::memory_order_relaxed);
}

void verbose_set_clock(verbose_clock clock) noexcept
{
    clock_source.store(clock, std::memory_order_relaxed);
}

char *verbose_escape(const char *text) noexcept
{
    return text != nullptr ? escaped_copy(text).release() : nullptr;
}

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

int32_t verbose_budget_spent_day(void) noexcept
{
    return day_spent.load(std::memory_order_relaxed);
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
