/* Preloaded into vesk by the launch test: records each call of
 * curl_global_init, one line appended to the file that VESK_CURL_INIT_RECORD
 * names, saying whether the JVM's library was already loaded, then hands
 * the call to libcurl. */
#define _GNU_SOURCE
#include <curl/curl.h>

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef CURLcode (*global_init_fn)(long);

CURLcode curl_global_init(long flags)
{
    void *jvm = dlopen("libjvm.so", RTLD_NOW | RTLD_NOLOAD);
    const char *record = getenv("VESK_CURL_INIT_RECORD");
    FILE *out = record != NULL ? fopen(record, "a") : NULL;
    if (out != NULL) {
        fputs(jvm != NULL ? "after the JVM\n" : "before the JVM\n", out);
        fclose(out);
    }
    if (jvm != NULL)
        dlclose(jvm);
    /* ISO C has no cast from an object pointer to a function pointer. */
    global_init_fn real = NULL;
    void *symbol = dlsym(RTLD_NEXT, "curl_global_init");
    if (symbol == NULL)
        return CURLE_FAILED_INIT;
    memcpy(&real, &symbol, sizeof real);
    return real(flags);
}
