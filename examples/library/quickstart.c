/* The library from C through pkg-config:
 *   cc quickstart.c $(pkg-config --cflags --libs vesk)
 * parses a document, logs it, writes it back as text and encodes that. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vesk/codec/base64.h>
#include <vesk/json/json.h>
#include <vesk/log/verbose.h>

int main(void)
{
    json_value *doc = json_parse_mem("{'user': 'ana', 'id': 7}");
    if (doc == NULL)
        return 1;
    verbose(stdout, "user %s\n", json_object_get_string(doc, "user"));

    char *text = json_serialize(doc);
    printf("json %s\n", text);
    char *encoded = NULL;
    b64_encode((const unsigned char *)text, (int32_t)strlen(text), &encoded);
    printf("base64 %s\n", encoded);

    free(encoded);
    free(text);
    json_value_free(doc);
    return 0;
}
