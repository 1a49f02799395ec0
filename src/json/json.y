/* Grammar of the relaxed JSON reader. Each rule builds the tree through
 * the context's value stack; an open container gathers its entries in the
 * context and joins its parent only once it is complete, so a failed parse
 * leaves every built value on the stack, among the gathered entries or in
 * the context's result, where the entry point releases it. */

%code top {
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
}

%code requires {
#include "json/json_parse.h"

/* Where a token or rule ends; only the line is tracked. One 8-byte
 * record, which the scanner writes and the parser reads back whole. */
typedef struct json_location {
    int first_line;
    int last_line;
} json_location;

/* A rule sits where its last symbol ends, an empty rule at the end of
 * what precedes it: one copy of the record per reduction. */
#define YYLLOC_DEFAULT(Current, Rhs, N) ((Current) = YYRHSLOC(Rhs, (N) ? (N) : 0))
}

%code provides {
void yyerror(YYLTYPE *location, json_parse_context *context, const char *message);
}

%code {
#include "json/detail/json_internal.hpp"
#include "json/detail/json_parse_context.hpp"
#include "json/json.lex.h"
#include "log/messages.hpp"

/* The scanner handle that yylex receives: the one the context holds. */
#define JSON_SCANNER (context->scanner)

/* The value of a scalar token of type: numbers and strings take over the
 * token's text, booleans copy theirs, nulls hold "null". NULL, the text
 * released, when memory runs out (also in the scanner, which then hands
 * over no text). The value is also result. */
static json_value *json_scalar(json_parse_context *context, int32_t type, char *text)
{
    if (type == JSON_TYPE_BOOLEAN || type == JSON_TYPE_NULL) {
        context->result = json_value_new((unsigned int)type, type == JSON_TYPE_NULL ? "null" : text);
        return context->result;
    }
    context->result = text == NULL ? NULL : ub::detail::json_text_value_adopt(type, text);
    if (context->result == NULL)
        free(text);
    return context->result;
}

/* Makes a scalar and adds it to the open array (name NULL) or the open
 * object under name, which is taken over in every case. While it is made it takes an
 * entry of the value stack, as every value does, so it must find one. */
static int json_add_scalar(json_parse_context *context, int32_t type, char *text, char *name)
{
    int built = ub::detail::JSON_BUILD_TOO_DEEP;
    if (context->depth < JSON_STACK_SIZE) {
        if (json_scalar(context, type, text) != NULL)
            return name ? ub::detail::json_build_member(context, name) : ub::detail::json_build_element(context);
        built = ub::detail::JSON_BUILD_NOMEM;
    } else if (type != JSON_TYPE_BOOLEAN) {
        free(text);
    }
    free(name);
    return built;
}

/* Ends the parse on a document nested deeper than the value stack. */
#define JSON_TOO_DEEP                                                       \
    do {                                                                    \
        yyerror(&yylloc, context, "syntax error, nesting deeper than 128"); \
        YYABORT;                                                            \
    } while (0)

/* Pushes a freshly made value; a NULL value or a full stack ends the parse
 * (the value, which nothing else holds, is released first). */
#define JSON_PUSH(value)                                                    \
    do {                                                                    \
        json_value *pushed_ = (value);                                      \
        if (pushed_ == NULL) {                                              \
            context->result = NULL;                                         \
            YYNOMEM;                                                        \
        }                                                                   \
        if (json_push(context, pushed_) != 0) {                             \
            json_value_free(pushed_);                                       \
            context->result = NULL;                                         \
            JSON_TOO_DEEP;                                                  \
        }                                                                   \
    } while (0)

/* Runs a building step (json_internal.hpp); a failure ends the parse. */
#define JSON_BUILD(call)                                                    \
    do {                                                                    \
        int built_ = (call);                                                \
        if (built_ == ub::detail::JSON_BUILD_NOMEM)                         \
            YYNOMEM;                                                        \
        if (built_ == ub::detail::JSON_BUILD_TOO_DEEP)                      \
            JSON_TOO_DEEP;                                                  \
    } while (0)
}

%define api.pure full
%define api.value.type {char *}
%define parse.error custom
%locations
%define api.location.type {json_location}
%parse-param {json_parse_context *context}
%lex-param {void *JSON_SCANNER}
%expect 0

/* Explicit numbers shared with the scanner; the punctuation is declared in
 * the order that gives the expected-token lists their order. */
%token YYEOF 0 "$end"
%token YYUNDEF 257
%token JSON_INTEGER 258
%token JSON_NUMBER 259
%token JSON_BOOLEAN 260
%token JSON_STRING 261
%token JSON_DATETIME 262
%token JSON_NULL 263
%token '{' '}' ',' ':' '[' ']'

/* Number and string tokens carry malloc'd texts, taken over by the values
 * made of them, and a member's name waits as key_string's; a symbol the
 * parse throws away releases its own. */
%destructor { free($$); } JSON_INTEGER JSON_NUMBER JSON_STRING key_string

%%

/* The root goes to the caller through result; a scalar root leaves the
 * stack too, so that a finished context holds nothing of the tree. */
init: types { json_pop(context); } ;

types: primitive | object | array ;

/* A scalar document; the scalars of arrays and objects are added as they
 * are read (element and property). */
primitive:
    JSON_INTEGER { JSON_PUSH(json_scalar(context, JSON_TYPE_INTEGER, $1)); }
  | JSON_NUMBER { JSON_PUSH(json_scalar(context, JSON_TYPE_NUMBER, $1)); }
  | JSON_BOOLEAN { JSON_PUSH(json_scalar(context, JSON_TYPE_BOOLEAN, $1)); }
  | JSON_STRING { JSON_PUSH(json_scalar(context, JSON_TYPE_STRING, $1)); }
  | JSON_NULL { JSON_PUSH(json_scalar(context, JSON_TYPE_NULL, $1)); }
  ;

open_object: '{' { JSON_BUILD(ub::detail::json_build_open(context, JSON_TYPE_OBJECT)); } ;

object:
    open_object properties '}' { JSON_BUILD(ub::detail::json_build_close(context)); }
  | open_object '}' { JSON_BUILD(ub::detail::json_build_close(context)); }
  ;

properties: property | properties ',' property ;

/* The name stays here while its value is read; the value stack keeps a
 * NULL in its place, so a member takes an entry there as it always has. */
key_string:
    JSON_STRING {
        $$ = $1;
        if ($$ == NULL)
            YYNOMEM;
        if (json_push(context, NULL) != 0) {
            free($$);
            JSON_TOO_DEEP;
        }
    }
  ;

property:
    key_string ':' JSON_INTEGER { JSON_BUILD(json_add_scalar(context, JSON_TYPE_INTEGER, $3, $1)); }
  | key_string ':' JSON_NUMBER { JSON_BUILD(json_add_scalar(context, JSON_TYPE_NUMBER, $3, $1)); }
  | key_string ':' JSON_BOOLEAN { JSON_BUILD(json_add_scalar(context, JSON_TYPE_BOOLEAN, $3, $1)); }
  | key_string ':' JSON_STRING { JSON_BUILD(json_add_scalar(context, JSON_TYPE_STRING, $3, $1)); }
  | key_string ':' JSON_NULL { JSON_BUILD(json_add_scalar(context, JSON_TYPE_NULL, $3, $1)); }
  | key_string ':' object { JSON_BUILD(ub::detail::json_build_member(context, $1)); }
  | key_string ':' array { JSON_BUILD(ub::detail::json_build_member(context, $1)); }
  ;

open_array: '[' { JSON_BUILD(ub::detail::json_build_open(context, JSON_TYPE_ARRAY)); } ;

array: open_array elements ']' { JSON_BUILD(ub::detail::json_build_close(context)); } ;

elements: %empty | element | elements ',' element ;

element:
    JSON_INTEGER { JSON_BUILD(json_add_scalar(context, JSON_TYPE_INTEGER, $1, NULL)); }
  | JSON_NUMBER { JSON_BUILD(json_add_scalar(context, JSON_TYPE_NUMBER, $1, NULL)); }
  | JSON_BOOLEAN { JSON_BUILD(json_add_scalar(context, JSON_TYPE_BOOLEAN, $1, NULL)); }
  | JSON_STRING { JSON_BUILD(json_add_scalar(context, JSON_TYPE_STRING, $1, NULL)); }
  | JSON_NULL { JSON_BUILD(json_add_scalar(context, JSON_TYPE_NULL, $1, NULL)); }
  | object { JSON_BUILD(ub::detail::json_build_element(context)); }
  | array { JSON_BUILD(ub::detail::json_build_element(context)); }
  ;

%%

void yyerror(YYLTYPE *location, json_parse_context *context, const char *message)
{
    (void)location;
    verbose_message(VESK_MSG_JSON_SYNTAX, yyget_lineno(context->scanner), message);
}

/* A token's name as messages show it: the generator's name of the unknown
 * token becomes "$undefined"; other double-quoted names lose their quotes
 * ("$end"); plain and single-quoted names are kept ('{', JSON_STRING). */
static const char *json_token_name(yysymbol_kind_t token, size_t *length)
{
    const char *name = yysymbol_name(token);
    *length = strlen(name);
    if (token == YYSYMBOL_YYUNDEF) {
        name = "$undefined";
        *length = strlen(name);
    } else if (name[0] == '"' && *length >= 2) {
        name += 1;
        *length -= 2;
    }
    return name;
}

/* The verbose syntax error: the unexpected token, then up to four
 * expected ones in ascending code ("expecting A or B"); none when more
 * would be. An object may close right after it opens, but that is not
 * offered as an expected token there, so a malformed first member reads
 * as it always has ("expecting JSON_STRING"). */
static int yyreport_syntax_error(const yypcontext_t *parser, json_parse_context *context)
{
    enum { most_expected = 4 };
    if (yypcontext_token(parser) == YYSYMBOL_YYEMPTY) {
        yyerror(yypcontext_location(parser), context, "syntax error");
        return 0;
    }
    yysymbol_kind_t expected[most_expected + 1];
    int count = yypcontext_expected_tokens(parser, expected, most_expected + 1);
    if (count > most_expected)
        count = 0;
    if (count == 2 && expected[0] == YYSYMBOL_JSON_STRING && expected[1] == YYTRANSLATE('}'))
        count = 1;
    /* Names are at most 13 characters, so the message always fits. */
    char message[160] = "syntax error, unexpected ";
    size_t used = strlen(message);
    for (int i = -1; i < count; ++i) {
        size_t length = 0;
        const char *name = json_token_name(i < 0 ? yypcontext_token(parser) : expected[i], &length);
        const char *joint = i < 0 ? "" : i == 0 ? ", expecting " : " or ";
        used += (size_t)snprintf(message + used, sizeof message - used, "%s%.*s", joint,
                                 (int)length, name);
    }
    yyerror(yypcontext_location(parser), context, message);
    return 0;
}
