/* Token rules of the relaxed JSON reader, turned by re2c into a
 * direct-coded scanner. A text in memory is scanned where it lies; any
 * other source fills a buffer of the scanner's own through json_input.
 * Number and string tokens hand the parser texts of their own (malloc'd),
 * which the values made of them take over. */

/*!header:re2c:on*/
#ifndef JSON_JSON_LEX_H
#define JSON_JSON_LEX_H
/* The scanner of the JSON reader: one per parse, created by lex_init,
 * which makes the parse context its extra data, and released by
 * yylex_destroy (both in json/json_parse.h). */

#include "json/json.tab.h"

/* The next token: its code (0 at the end of input, 1 to 255 a single
 * byte, or a JSON_ token), its value (a malloc'd text for numbers and
 * strings, now the caller's; a constant "1" or "0" for booleans; NULL
 * otherwise) and, in location, the line on which it ends. Returns YYerror,
 * after reporting "memory exhausted", when the scanner's buffer cannot
 * grow. */
int yylex(YYSTYPE *value, YYLTYPE *location, void *scanner);

/* The current line: 0 before anything was read, then from 1. */
int yyget_lineno(void *scanner);

#endif
/*!header:re2c:off*/

#include "json/json.lex.h"

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "json/detail/json_internal.hpp"
#include "json/detail/json_parse_context.hpp"
#include "json/json_parse.h"

namespace {

// Input not scanned in place is read in blocks of about this size. A token
// longer than the buffer makes it double, so a long string is still read in
// linear time.
constexpr size_t first_buffer = 16 * 1024;

struct Scanner {
    json_parse_context *extra;     // the parse context, whose source feeds the scanner
    const unsigned char *cursor;   // the next byte to scan
    const unsigned char *limit;    // end of the bytes at hand; a zero byte lies there
    unsigned char *buffer;         // buffered input; NULL when scanning a text in place
    size_t capacity;               // bytes in buffer, the zero after the last one included
    int lineno;                    // current line; 0 before the first token
    bool ended;                    // the source has no more bytes
    bool in_place;                 // scanning the memory text itself
    bool out_of_memory;            // the buffer could not be had or grow
};

// Scanning starts on the first token, once the context's source is set:
// memory input is scanned in place, anything else through json_input.
void start(Scanner *s)
{
    s->lineno = 1;
    json_source *source = &s->extra->source;
    if (source->next_char == json_mem_next_char && source->position >= 0) {
        s->cursor = reinterpret_cast<const unsigned char *>(source->text + source->position);
        s->limit = s->cursor + strlen(source->text + source->position);
        s->ended = true;
        s->in_place = true;
        return;
    }
    static const unsigned char nothing[] = {0};
    s->buffer = static_cast<unsigned char *>(malloc(first_buffer));
    s->cursor = s->limit = s->buffer != nullptr ? s->buffer : nothing;
    if (s->buffer == nullptr) {
        s->ended = s->out_of_memory = true;
        return;
    }
    s->capacity = first_buffer;
    s->buffer[0] = '\0';
}

// The pointers of a scan in progress, which a refill moves.
struct Scan {
    const unsigned char *token;
    const unsigned char *cursor;
    const unsigned char *marker;
    const unsigned char *context;
    const unsigned char *limit;
};

// More bytes after limit, the token being scanned kept: 0, or 1 at the end
// of input or when the buffer cannot grow.
int refill(Scanner *s, Scan &scan)
{
    if (s->ended || s->buffer == nullptr)
        return 1;
    // The token moves to the front; a buffer full of one token doubles.
    auto start_at = static_cast<size_t>(scan.token - s->buffer);
    auto kept = static_cast<size_t>(scan.limit - scan.token);
    // The markers matter only inside the token; one left from an earlier
    // token is moved to its start.
    auto offset = [&scan](const unsigned char *at) {
        return at < scan.token ? 0 : static_cast<size_t>(at - scan.token);
    };
    size_t cursor = offset(scan.cursor);
    size_t marker = offset(scan.marker);
    size_t context = offset(scan.context);
    if (start_at > 0)
        memmove(s->buffer, s->buffer + start_at, kept);
    if (kept + 1 >= s->capacity) {
        size_t capacity = s->capacity * 2;
        auto *grown = capacity > static_cast<size_t>(INT32_MAX)
                          ? nullptr
                          : static_cast<unsigned char *>(realloc(s->buffer, capacity));
        if (grown == nullptr) {
            s->ended = s->out_of_memory = true;
            return 1;
        }
        s->buffer = grown;
        s->capacity = capacity;
    }
    int count = 0;
    json_input(reinterpret_cast<char *>(s->buffer + kept), &count,
               static_cast<int>(s->capacity - 1 - kept), s->extra);
    scan.token = s->buffer;
    scan.cursor = s->buffer + cursor;
    scan.marker = s->buffer + marker;
    scan.context = s->buffer + context;
    scan.limit = s->buffer + kept + static_cast<size_t>(count);
    s->buffer[kept + static_cast<size_t>(count)] = '\0';
    if (count == 0) {
        s->ended = true;
        return 1;
    }
    return 0;
}

// Line feeds from begin to end.
int count_lines(const unsigned char *begin, const unsigned char *end)
{
    int lines = 0;
    while ((begin = static_cast<const unsigned char *>(
                memchr(begin, '\n', static_cast<size_t>(end - begin)))) != nullptr) {
        ++lines;
        ++begin;
    }
    return lines;
}

// refill on a copy of the scan pointers, so that the scanner's own stay
// in registers (which needs this inlined: they must not escape).
[[gnu::always_inline]] inline int fill(Scanner *s, const unsigned char *&token, const unsigned char *&cursor,
                const unsigned char *&marker, const unsigned char *&context,
                const unsigned char *&limit)
{
    Scan scan{token, cursor, marker, context, limit};
    int result = refill(s, scan);
    token = scan.token;
    cursor = scan.cursor;
    marker = scan.marker;
    context = scan.context;
    limit = scan.limit;
    return result;
}

// A copy of the bytes from token to end.
char *plain_text(const unsigned char *token, const unsigned char *end)
{
    return ub::detail::json_copy_text(reinterpret_cast<const char *>(token),
                                      static_cast<size_t>(end - token));
}

// The decoded text of the string token from token to end, without its
// quotes.
char *string_text(const unsigned char *token, const unsigned char *end)
{
    auto *text = static_cast<char *>(malloc(static_cast<size_t>(end - token) - 1));
    if (text != nullptr)
        ub::detail::json_decode_text(reinterpret_cast<const char *>(token) + 1,
                                     reinterpret_cast<const char *>(end) - 1, text);
    return text;
}

} // namespace

int lex_init(json_parse_context *context, void **scanner) noexcept
{
    auto *s = static_cast<Scanner *>(calloc(1, sizeof(Scanner)));
    *scanner = s;
    if (s == nullptr)
        return 1;
    s->extra = context;
    return 0;
}

int yylex(YYSTYPE *value, YYLTYPE *location, void *scanner)
{
    auto *s = static_cast<Scanner *>(scanner);
    if (s->lineno == 0)
        start(s);
    const unsigned char *cursor = s->cursor;
    const unsigned char *limit = s->limit;
    const unsigned char *token = cursor;
    const unsigned char *marker = cursor;
    const unsigned char *context = cursor;
    int code;
    *value = nullptr;
    // Each rule either skips what it matched or ends with the token's code.
#define JSON_TOKEN(token_code) { code = (token_code); goto done; }
    for (;;) {
        token = cursor;
/*!re2c
    re2c:api:style = free-form;
    re2c:define:YYCTYPE = "unsigned char";
    re2c:define:YYCURSOR = "cursor";
    re2c:define:YYMARKER = "marker";
    re2c:define:YYCTXMARKER = "context";
    re2c:define:YYLIMIT = "limit";
    re2c:define:YYFILL = "fill(s, token, cursor, marker, context, limit) == 0";
    re2c:define:YYFILL:naked = 1;
    re2c:eof = 0;

    digits = [0-9]+;
    blank = [ \t\r|];

    "-"? digits { *value = plain_text(token, cursor); JSON_TOKEN(JSON_INTEGER) }
    "-"? [0-9]* "." digits | "-"? ([0-9]* ".")? digits [eE] [-+]? digits {
        *value = plain_text(token, cursor);
        JSON_TOKEN(JSON_NUMBER)
    }
    "true" | "TRUE" { *value = const_cast<char *>("1"); JSON_TOKEN(JSON_BOOLEAN) }
    "false" | "FALSE" { *value = const_cast<char *>("0"); JSON_TOKEN(JSON_BOOLEAN) }
    // Most strings hold no escape, line feed or zero byte: their text is
    // copied as it is.
    ["] [^"\\\n\x00]* ["] | ['] [^'\\\n\x00]* ['] {
        *value = plain_text(token + 1, cursor - 1);
        JSON_TOKEN(JSON_STRING)
    }
    ["] ([^"\\] | [\\][^\n])* ["] | ['] ([^'\\] | [\\][^\n])* ['] {
        s->lineno += count_lines(token, cursor);
        *value = string_text(token, cursor);
        JSON_TOKEN(JSON_STRING)
    }
    "null" | "NULL" | "undefined" { JSON_TOKEN(JSON_NULL) }

    // A vertical bar is a blank, like a space; a comment ends before its
    // line feed, which is then read as a blank.
    blank+ { continue; }
    "\n" blank* { ++s->lineno; continue; }
    "//" [^\n]* / "\n" { continue; }

    // A zero byte (file input) ends the document.
    "\x00" { JSON_TOKEN(0) }
    [^\n] { JSON_TOKEN(token[0]) }
    $ { JSON_TOKEN(s->out_of_memory ? YYerror : 0) }
*/
    }
done:
#undef JSON_TOKEN
    location->first_line = location->last_line = s->lineno;
    if (code == YYerror)
        yyerror(location, s->extra, "memory exhausted");
    // A text scanned in place has been delivered whole once its end is
    // reached; the position stays on its terminator, or at the largest
    // 32-bit value.
    if (s->in_place && code == 0) {
        auto read = static_cast<size_t>(cursor - reinterpret_cast<const unsigned char *>(s->extra->source.text));
        s->extra->source.position = static_cast<int32_t>(std::min<size_t>(read, INT32_MAX));
    }
    s->cursor = cursor;
    s->limit = limit;
    return code;
}

int yyget_lineno(void *scanner)
{
    return static_cast<Scanner *>(scanner)->lineno;
}

int yylex_destroy(void *scanner) noexcept
{
    auto *s = static_cast<Scanner *>(scanner);
    if (s != nullptr)
        free(s->buffer);
    free(s);
    return 0;
}
