/* Includes every public header in a C translation unit and calls a few
 * entries, so that the headers stay usable from C. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/re.h"
#include "core/ub_slist.h"
#include "core/ub_string.h"
#include "core/ub_vector.h"
#include "host/crash.h"
#include "host/readiness.h"
#include "host/service_config.h"
#include "host/service_manager.h"
#include "host/usage.h"
#include "host/veskserver.h"
#include "http/url.h"
#include "json/json.h"
#include "json/json_parse.h"
#include "jvm/java_utils.h"
#include "log/verbose.h"
#include "options/getopts.h"
#include "platform/platform.h"
#include "platform/ub_api.h"
#include "util/config_text.h"
#include "util/library_reason.h"
#include "util/ub_libloader.h"
#include "util/vesk_diagnostics.h"
#include "util/vesk_params.h"
#include "util/vesk_utils.h"
#include "util/vesk_version.h"

/* Codecs and machine description. */
#include "codec/base64.h"
#include "codec/rc4.h"
#include "machine/w32_utils.h"

static int codec_and_machine_failures(void)
{
    char *text = NULL;
    int failures = ub_str_encoder((const unsigned char *)"AB", 2, &text, "b64") != 4;
    free(text);
    unsigned char bytes[VESK_MAC_BUFFER_SIZE];
    failures += vesk_converte_mac("00a0c914c829", bytes) != 0 || bytes[1] != 0xa0;
    failures += rc4bin("k", bytes, 6, bytes) != 6;
    return failures;
}

#include "fs/delete.h"
#include "fs/filesystem.h"

int main(void)
{
    char *list[] = {"PORT", "81", NULL};
    int failures = 0;
    failures += strcmp(vesk_getParam(list, "PORT"), "81") != 0;
    failures += vesk_findKey(NULL, "PORT") != VESK_FIND_NULL_LIST;
    platform_library_why why = {PLATFORM_LIBRARY_MISSING, 0, ""};
    char reason[32];
    ub_library_reason(&why, reason, sizeof reason);
    failures += strcmp(reason, "nao encontrado") != 0;
    failures += strcmp(ub_getopt_getValue(configs, "STACK"), "1") != 0;
    failures += configs_len != 18;
    ub_JVM_handler handler = vesk_cb;
    failures += handler == NULL;
    json_value *tree = json_parse_mem("[1]");
    char *text = json_serialize(tree);
    failures += text == NULL || strcmp(text, "[1]") != 0;
    free(text);
    json_value_free(tree);
    failures += codec_and_machine_failures();
    printf("%d passed, %d failed\n", 6 - failures, failures);
    return failures != 0;
}
