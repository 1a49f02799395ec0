#ifndef CORE_RE_H
#define CORE_RE_H
/* Small pattern matcher: finds where a regular expression first matches in
 * a text (the start index only), without allocating and in time bounded by
 * the text length times the pattern length for each start. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: one compiled pattern exists at a time, in module storage
 * that every re_compile overwrites; nothing is allocated or released. Not
 * reentrant: compile and match on one thread at a time. Syntax: . ^ $ * + ?
 * [abc] [a-z] [^...] \d \D \w \W \s \S and \c for a literal c. A pattern
 * keeps its first 29 objects; a lone trailing \ ends it, an open [ ends at
 * its end. ^ not first, $ not last and a quantifier with no object before
 * it (or after another quantifier) match their own character literally. */

/* Storage of a compiled pattern. */
enum {
    RE_MAX_OBJECTS = 30,    /* objects, the ending RE_UNUSED included */
    RE_MAX_CLASS_CHARS = 40 /* class buffer shared by all classes of a pattern */
};

/* Object types, with the names re_print shows. */
enum re_type {
    RE_UNUSED = 0,          /* "UNUSED": end of the compiled pattern */
    RE_DOT = 1,             /* "DOT": any one character */
    RE_BEGIN = 2,           /* "BEGIN": ^, start of the text */
    RE_END = 3,             /* "END": $, end of the text */
    RE_QUESTIONMARK = 4,    /* "QUESTIONMARK": ? on the object before */
    RE_STAR = 5,            /* "STAR": * on the object before */
    RE_PLUS = 6,            /* "PLUS": + on the object before */
    RE_CHAR = 7,            /* "CHAR": one literal character */
    RE_CHAR_CLASS = 8,      /* "CHAR_CLASS": [...] */
    RE_INV_CHAR_CLASS = 9,  /* "INV_CHAR_CLASS": [^...] */
    RE_DIGIT = 10,          /* "DIGIT": \d */
    RE_NOT_DIGIT = 11,      /* "NOT_DIGIT": \D */
    RE_ALPHA = 12,          /* "ALPHA": \w, letter, digit or _ */
    RE_NOT_ALPHA = 13,      /* "NOT_ALPHA": \W */
    RE_WHITESPACE = 14,     /* "WHITESPACE": \s, tab to carriage return, space */
    RE_NOT_WHITESPACE = 15, /* "NOT_WHITESPACE": \S */
    RE_BRANCH = 16          /* "BRANCH": a name only, never compiled */
};

/* One compiled pattern object. */
typedef struct re_object {
    uint8_t type; /* an re_type value */
    union {
        char ch;                /* the literal (also for ^ $ ? * + taken literally) */
        const char *class_text; /* classes: zero-terminated text in the class buffer */
    } u;
} re_object;

/* Compiles pattern into the module storage and returns its first object
 * (valid until the next re_compile); NULL when the class buffer overflows
 * or pattern is NULL. */
const re_object *re_compile(const char *pattern) UB_NOEXCEPT;

/* Index of the leftmost match of pattern in text; -1 when there is none,
 * when the only match starts at the end of the text, or for NULL. */
int re_matchp(const re_object *pattern, const char *text) UB_NOEXCEPT;

/* re_matchp of re_compile(pattern) on text. */
int re_match_direct(const char *pattern, const char *text) UB_NOEXCEPT;

/* Writes one line per object to standard output: "type: NAME", then
 * " [class text]" for classes or " 'c'" for CHAR. NULL writes nothing. */
void re_print(const re_object *pattern) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
