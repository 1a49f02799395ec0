/* Includes every public header in a C translation unit and calls a few
 * entries, so that the headers stay usable from C. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/ub_slist.h"
#include "core/ub_string.h"
#include "core/ub_vector.h"
#include "host/service_config.h"
#include "host/veskserver.h"
#include "json/json.h"
#include "json/json_parse.h"
#include "jvm/java_utils.h"
#include "log/verbose.h"
#include "options/getopts.h"
#include "platform/platform.h"
#include "util/vesk_utils.h"
#include "core/re.h"

#include "fs/delete.h"
#include "fs/filesystem.h"

int main(void)
{
    char *list[] = {"PORT", "81", NULL};
    int failures = 0;
    failures += strcmp(vesk_getParam(list, "PORT"), "81") != 0;
    failures += vesk_findKey(NULL, "PORT") != VESK_FIND_NULL_LIST;
    failures += strcmp(ub_getopt_getValue(configs, "STACK"), "1") != 0;
    failures += configs_len != 18;
    ub_JVM_handler handler = vesk_cb;
    failures += handler == NULL;
    json_value *tree = json_parse_mem("[1]");
    char *text = json_serialize(tree);
    failures += text == NULL || strcmp(text, "[1]") != 0;
    free(text);
    json_value_free(tree);
    printf("%d passed, %d failed\n", 6 - failures, failures);
    return failures != 0;
}
