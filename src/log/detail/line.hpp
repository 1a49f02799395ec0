// A log line formatted in memory, and the escapes that every text written
// to the log or to standard error goes through: shared by the day's writer,
// its budget and the diagnostics router.
#ifndef LOG_DETAIL_LINE_HPP
#define LOG_DETAIL_LINE_HPP

#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <utility>

#include "platform/ub_api.h"

namespace ub::detail {

// Writes value (0 <= value < 10^width) as exactly width digits; the end.
char *put_digits(char *out, int value, int width);

// Whether the calendar fields print with fixed widths: a four-digit year,
// as every date of a running service has.
bool plain_date(const struct tm &local);

// "DD/MM/YYYY hh:mm:ss: " into out (64 bytes); its length, or -1.
int put_prefix(const struct tm &local, char *out);

// A malloc'd text, released with free.
struct FreeDeleter {
    void operator()(char *p) const { std::free(p); }
};
using CharBuffer = std::unique_ptr<char, FreeDeleter>;

// Escapes. Every text written to the log or to standard error goes
// through them, so that no reader finds a line break, a terminal or
// bidirectional control, or a byte it cannot decode where the writer put
// none: a byte that is not part of well-formed UTF-8 is written as "\xNN",
// each of its bytes alone; an ASCII control (all below 0x20 but the tab, and
// 0x7F) as "\n", "\r" or "\xNN"; a C1 control, U+2028, U+2029 or a
// bidirectional control as "\uXXXX". Hex digits are upper case.

// Writes text[0, end) at out (when not NULL) with its escapes; the
// characters that takes. With continuations, a line feed that a tab follows
// is kept: it opens a continuation line of the same entry (a stack trace
// from the Java kit, an HTTP trace's hex dump, under their one line).
size_t escape_text(const char *text, size_t end, bool continuations, char *out);

// The length of text's start that needs no escape: printable ASCII and
// tabs.
size_t plain_prefix(const char *text, size_t end);

// text with every character the writer escapes (the line feed included)
// written as its escape, for a name inside a notice; NULL when memory runs
// out.
CharBuffer escaped_copy(const char *text);

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

} // namespace ub::detail

#endif
