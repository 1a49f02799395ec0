#ifndef LOG_VERBOSE_H
#define LOG_VERBOSE_H
/* The daily log writer: one file per day, log/monitor_YYYYMMDD.log under the
 * current directory, lines filtered by level and tagged by component, each
 * day's file held to a size budget by every process that writes it. */

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: every entry returns the number of characters written for the
 * line (time prefix, tag and message), 0 when the line is filtered out or
 * dropped for its file's budget (VERBOSE_BUDGET), VERBOSE_ERR_OPEN when no
 * file could be opened and VERBOSE_ERR_WRITE when one opened but the write
 * failed. The stream argument names where a caller would print; the writer
 * never writes to it. Each line is formatted in memory and appended with one
 * write, so lines from concurrent threads never interleave. One call is one
 * line: in its text, all but the final line feed, a carriage return is
 * written as "\r", a line feed as "\n" (verbose_block keeps one that a tab
 * follows, for a continuation line), any other control character but the
 * tab, 0x7F and each byte that is not part of well-formed UTF-8 as "\xNN",
 * and the C1 controls, U+2028, U+2029 and the bidirectional controls
 * (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) as "\uXXXX",
 * hex digits in upper case. Standard error gets its texts escaped alike,
 * but for the line feeds that end them. The day's file is refused, and the
 * line goes to the fallback file, where another user may write to log/ or
 * replace it (see log/trust.h). */

/* Why a line was lost. */
enum verbose_error {
    VERBOSE_ERR_OPEN = -1, /* no log file could be opened (or a NULL text or format) */
    VERBOSE_ERR_WRITE = -2 /* a log file opened, but the write failed (a full disk) */
};

/* Level numbers; a line is written when its level is at most the threshold. */
enum verbose_level {
    VERBOSE_NONE = 0,
    VERBOSE_FATAL = 1,
    VERBOSE_ERROR = 2,
    VERBOSE_WARN = 3,
    VERBOSE_INFO = 4,
    VERBOSE_DEBUG = 5
};

/* The budget of each day's file, in bytes on disk, whatever the number of
 * processes that write it that day (and of the fallback file, in all): a
 * line is written while the file, as opened, holds less, and so is the line
 * that crosses it unless it would take the file more than
 * VERBOSE_BUDGET_ROOM past it (a short line then says that it was dropped).
 * A line for a file at its budget is dropped; the file gets one marker line
 * saying so, and until when (a process looks at the file's end for one, once
 * a day; two racing may both write it), and standard error one line, once a
 * day per process. The first line a process writes to a later day's file is
 * led by the count of lines it dropped (a process knows only its own). */
#define VERBOSE_BUDGET 10485760

/* How far past VERBOSE_BUDGET the line that crosses it may take its file. */
#define VERBOSE_BUDGET_ROOM 262144

/* Room for a component's tag, terminator included; longer tags are cut. */
#define LOG_TAG_SIZE 32

/* A source of log lines with its own threshold and tag. */
typedef struct log_component {
    uint16_t verbosity;     /* highest level written */
    char tag[LOG_TAG_SIZE]; /* printed as "|tag| " before each message */
} log_component;

/* Reads the current time; replaceable so that tests can move the clock. */
typedef time_t (*verbose_clock)(void);

/* Writes one line: time prefix, "|tag| " when tag is not NULL, then format
 * with args (the caller ends it with "\n"). Result as in the conventions. */
int vverbose(FILE *stream, const char *tag, const char *format, va_list args) UB_NOEXCEPT;

/* vverbose without a tag and without a level filter. */
int verbose(FILE *stream, const char *format, ...) UB_NOEXCEPT UB_PRINTF(2, 3);

/* verbose for an entry of several lines: a line feed followed by a tab is
 * kept, opening a continuation line of the same entry (a stack trace, a hex
 * dump); every other control character is escaped as in vverbose. */
int verbose_block(FILE *stream, const char *format, ...) UB_NOEXCEPT UB_PRINTF(2, 3);

/* A tagged line of the given level: 0 without writing when component is
 * NULL or level is above its verbosity. */
int verbose_in(const log_component *component, int level, const char *format, ...) UB_NOEXCEPT
    UB_PRINTF(3, 4);

/* A tagged line filtered by an explicit threshold: 0 without writing when
 * threshold < level, both taken as unsigned. */
int verbose2(unsigned int threshold, int level, FILE *stream, const char *tag, const char *format,
             ...) UB_NOEXCEPT UB_PRINTF(5, 6);

/* Writes text and a line feed as an untagged line; -1 for NULL text.
 * Exported from the executable for modules loaded into the process. */
UB_EXPORT int UB_STDCALL verbose_base(const char *text) UB_NOEXCEPT;

/* Copies tag into component->tag, cut to LOG_TAG_SIZE - 1 characters;
 * NULL tag clears it. Does nothing for a NULL component. */
void log_component_set_tag(log_component *component, const char *tag) UB_NOEXCEPT;

/* Characters this process has written to log files (its lines and the
 * writer's notes about the budget; not the fallback file's notices), held
 * at INT32_MAX. A count for tests and benchmarks: it decides nothing. */
int32_t verbose_limit_get(void) UB_NOEXCEPT;

/* Sets that count (tests and benchmarks reset it). */
void verbose_limit_set(int32_t count) UB_NOEXCEPT;

/* Makes the writer read the time from clock; NULL restores the system
 * clock. For tests that need a line written at a chosen moment. */
void verbose_set_clock(verbose_clock clock) UB_NOEXCEPT;

/* A copy of text with every character the log escapes written as its
 * escape, line feeds included, for a name a caller prints itself; the
 * caller frees it. NULL for a NULL text or when memory runs out. */
char *verbose_escape(const char *text) UB_NOEXCEPT;

/* Writes format with its arguments to standard error, escaped as in the
 * conventions but for the line feeds that end it, each line led by its
 * syslog priority ("<2>" FATAL, "<3>" ERROR, "<4>" WARN, "<6>" INFO, "<7>"
 * DEBUG and above) where standard error is the system journal, so that
 * journalctl -p finds it; without them elsewhere. The characters written, or -1
 * (a NULL format, an output error). */
int verbose_console(int level, const char *format, ...) UB_NOEXCEPT UB_PRINTF(2, 3);

/* The day (yyyymmdd, local time) on which this process last had a line for
 * the day's log file dropped because that file had reached its budget; 0
 * while none was. One atomic read: cheap enough to poll. */
int32_t verbose_budget_spent_day(void) UB_NOEXCEPT;

/* Where a support-library diagnostic goes when no sink is set. */
enum verbose_route {
    VERBOSE_ROUTE_LOG = 0,       /* the daily log, an untagged line (as verbose) */
    VERBOSE_ROUTE_LOG_BLOCK = 1, /* the daily log, an entry of several lines (as verbose_block) */
    VERBOSE_ROUTE_STDERR = 2,    /* the standard error stream, escaped as verbose_console */
    VERBOSE_ROUTE_STDOUT = 3     /* the standard output stream, the text as it is */
};

/* Receives one support-library diagnostic: its level (a verbose_level),
 * the module that wrote it ("HTTP", "URL", "JSON", "FILESYSTEM", "DELETE",
 * "OPTIONS", "UTIL", "MACHINE", "CORE", "JVM"), the text exactly as its
 * default place would have received it (without the log's time prefix;
 * with its line feed) and the data given to verbose_set_sink. The text is
 * borrowed for the call. It may be called from any thread at once. It must
 * not throw (the library's functions are noexcept), and a library call it
 * makes that fails calls it again from inside. */
typedef void (*verbose_sink)(int level, const char *component, const char *text, void *data);

/* Sends every support-library diagnostic to sink, with data, instead of the
 * log, standard error or standard output; nothing reaches those, nor counts
 * in verbose_limit_get. NULL restores the default places. A message
 * under way while the sink changes may still reach the one it replaced, so
 * keep a replaced sink and its data valid while any other thread may be
 * inside the library; set it once, before other threads start, to need no
 * such care. */
void verbose_set_sink(verbose_sink sink, void *data) UB_NOEXCEPT;

/* Writes a support-library diagnostic: to the sink when one is set,
 * otherwise where route says. Result as vverbose for the log routes, as
 * fprintf for the standard streams, the text's length for a sink; -1 for a
 * NULL format or an unknown route. component is the name the sink receives. */
int verbose_diagnostic(int route, int level, const char *component, const char *format,
                       ...) UB_NOEXCEPT UB_PRINTF(4, 5);

UB_EXTERN_C_END

#endif
