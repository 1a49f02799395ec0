#ifndef JSON_JSON_PARSE_H
#define JSON_JSON_PARSE_H
/* The machinery behind the JSON parse entry points: the byte sources, the
 * per-parse context with its value stack, and the scanner's string
 * decoding. For readers that drive the scanner and parser themselves. */

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "json/json.h"
#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: a context belongs to one parse; it keeps a copy of its
 * source, borrows the source's text or file, and owns the values on its
 * stack and the entries of its open containers until the parse hands them
 * over. An open container gets its entries, and its item array, when it
 * closes; a member's name waits on the parser's own stack. A scanner uses
 * its context until yylex_destroy releases it, so it goes first. */

/* Entries of the value stack, and so the deepest nesting a document may
 * have (an open container takes one, a member whose value is being read
 * one more). */
#define JSON_STACK_SIZE 128

struct json_source;

/* Delivers the next byte (0 to 255) of a source, or -1 at its end. */
typedef int32_t (*json_next_char_fn)(struct json_source *source);

/* Where the characters of a document come from. */
typedef struct json_source {
    json_next_char_fn next_char; /* json_fd_next_char, json_mem_next_char or the caller's */
    const char *text;            /* memory input: the zero-terminated document, borrowed */
    int32_t position;            /* bytes delivered so far (memory: the next index) */
    FILE *file;                  /* file input: borrowed, never closed here */
} json_source;

/* The state of one parse, opaque outside the module. */
typedef struct json_parse_context json_parse_context;

/* A context that reads from a copy of *source, its stack empty; NULL when
 * source is NULL or memory runs out. Release with json_parse_context_free. */
json_parse_context *json_parse_context_new(const json_source *source) UB_NOEXCEPT;

/* Releases context and every value it still holds: those on its stack,
 * the entries of its open containers, a tree the parse did not hand over.
 * NULL is ignored. Its scanner must be released first. */
void json_parse_context_free(json_parse_context *context) UB_NOEXCEPT;

/* Next byte of source->file; -1 at the end of the file or on a read error.
 * The position counts up to INT32_MAX and stays there. */
int32_t json_fd_next_char(json_source *source) UB_NOEXCEPT;

/* Next byte of source->text; -1 at its terminating zero (the position stays
 * on it) or at index INT32_MAX, which a longer text never gets past. */
int32_t json_mem_next_char(json_source *source) UB_NOEXCEPT;

/* The scanner's input routine: fills buffer with up to max bytes and
 * stores how many in *count (0 at the end of input). A file source is read
 * with fread, any other through next_char, never asked again once it has
 * returned -1. */
void json_input(char *buffer, int *count, int max, json_parse_context *context) UB_NOEXCEPT;

/* Decodes a quoted string token of length bytes in place: drops the
 * closing quote (the last byte) and resolves backslash escapes: n, t, r,
 * b, f; \uXXXX as the UTF-8 form of its code point (a surrogate pair
 * combined, a lone surrogate as U+FFFD, U+007F to U+009F as a blank);
 * any other letter stands for itself. The decoded text starts after the
 * opening quote and ends at the first zero byte (\u0000 included). */
void clean_string_len(char *text, size_t length) UB_NOEXCEPT;

/* clean_string_len for a zero-terminated token. */
void clean_string(char *text) UB_NOEXCEPT;

/* Creates a scanner whose extra data is context; 0, or non-zero when
 * memory runs out (*scanner is then NULL). Release with yylex_destroy. */
int lex_init(json_parse_context *context, void **scanner) UB_NOEXCEPT;

/* Releases a scanner made by lex_init and its buffer, not its context;
 * NULL is ignored. Returns 0. */
int yylex_destroy(void *scanner) UB_NOEXCEPT;

/* Pushes value onto the value stack; 0, or -1 (nothing stored) when the
 * stack is full. */
int json_push(json_parse_context *context, json_value *value) UB_NOEXCEPT;

/* The top entry, left in place; NULL when the stack is empty. */
json_value *json_current(const json_parse_context *context) UB_NOEXCEPT;

/* Takes the top entry off the stack; NULL when the stack is empty. */
json_value *json_pop(json_parse_context *context) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
