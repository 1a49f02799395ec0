/* Drives a parse context and its scanner from C through the public header
 * alone: everything made here is released here (the sanitizer build sees
 * any leak). */
#include <stdio.h>
#include <string.h>

#include "json/json.h"
#include "json/json_parse.h"

int main(void)
{
    json_source source = {json_mem_next_char, "[1, 'a']", 0, NULL};
    json_parse_context *context = json_parse_context_new(&source);
    void *scanner = NULL;
    if (context == NULL || lex_init(context, &scanner) != 0) {
        puts("no context or scanner");
        return 1;
    }
    int failures = 0;
    /* The scanner's input routine reads the context's copy of the source. */
    char buffer[16];
    int count = -1;
    json_input(buffer, &count, (int)sizeof buffer, context);
    failures += count != 8 || memcmp(buffer, "[1, 'a']", 8) != 0;
    json_input(buffer, &count, (int)sizeof buffer, context);
    failures += count != 0 || source.position != 0;

    /* The stack takes JSON_STACK_SIZE entries; the values left on it are
     * the context's to release. */
    json_value *value = json_string_new("kept");
    for (int i = 1; i < JSON_STACK_SIZE; ++i)
        failures += json_push(context, NULL) != 0;
    failures += json_push(context, value) != 0;
    failures += json_push(context, value) != -1;
    failures += json_current(context) != value;

    failures += yylex_destroy(scanner) != 0;
    json_parse_context_free(context);
    printf("%d failed\n", failures);
    return failures != 0;
}
