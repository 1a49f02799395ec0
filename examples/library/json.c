/* Builds a small document, writes it as text, reads it back and looks a
 * member up. */
#include <stdio.h>
#include <stdlib.h>

#include <vesk/json/json.h>

int main(void)
{
    json_value *doc = json_object_new(4);
    json_object_add(doc, "name", json_string_new("vesk"));
    json_object_add(doc, "port", json_integer_new(9000));
    json_value *tags = json_array_new(2);
    json_array_add(tags, json_string_new("host"));
    json_array_add(tags, json_string_new("jvm"));
    json_object_add(doc, "tags", tags);

    char *text = json_serialize(doc); /* caller-owned */
    printf("%s\n", text);

    /* The reader takes relaxed JSON: single quotes and // comments too. */
    json_value *read = json_parse_mem("{'port': 9100, // the service port\n"
                                      " \"name\": 'vesk'}");
    printf("port=%d name=%s\n", json_object_get_int(read, "port"),
           json_object_get_string(read, "name"));

    free(text);
    json_value_free(read);
    json_value_free(doc);
    return 0;
}
