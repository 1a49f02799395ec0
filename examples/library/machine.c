/* The machine description as JSON: processor, system, identifier, host. */
#include <stdio.h>
#include <stdlib.h>

#include <vesk/json/json.h>
#include <vesk/machine/w32_utils.h>

int main(void)
{
    json_value *info = json_object_new(10);
    vesk_machine_info(info);
    printf("cores %d, system %s\n", json_object_get_int(info, "cores"),
           json_object_get_string(info, "so"));
    char *text = json_serialize(info);
    fprintf(stderr, "%s\n", text); /* every member, for a look */
    free(text);
    json_value_free(info);
    return 0;
}
