/* A native module for the Java side of vesk. It is built against the
 * installed headers and links no vesk library: every call resolves from the
 * vesk executable that loads it. NativeModule.start hands it the address of
 * the host's log relay, an URL and a folder; it reports each result as a
 * log line "NativeModule|INFO|<what>|<result>".
 *   cc -shared -fPIC -o libvesk_example_module.so native_module.c $(pkg-config --cflags vesk) */
#include <jni.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vesk/codec/base64.h>
#include <vesk/core/re.h>
#include <vesk/fs/filesystem.h>
#include <vesk/http/url.h>
#include <vesk/json/json.h>
#include <vesk/jvm/java_utils.h>

static ub_JVM_handler relay;

/* One log event through the host: a key/value list and two NULLs. */
static void report(const char *what, const char *result)
{
    char *event[] = {"class", "NativeModule", "verbosity", "INFO", "code", (char *)what,
                     "message", (char *)result, NULL, NULL};
    relay(0, NULL, 8, event, NULL, NULL);
}

static int count_entry(fs_dir *dir, fs_file *file, void *user_data)
{
    (void)dir;
    (void)file;
    ++*(int *)user_data;
    return 0;
}

static void run_all(const char *address, const char *folder)
{
    char line[256];

    json_value *doc = json_parse_mem("{'name': 'vesk', 'port': 9000}");
    char *text = json_serialize(doc);
    report("json", text);
    free(text);
    json_value_free(doc);

    char *encoded = NULL;
    unsigned char *decoded = NULL;
    b64_encode((const unsigned char *)"vesk", 4, &encoded);
    int32_t length = b64_decode(encoded, &decoded);
    snprintf(line, sizeof line, "%s %.*s", encoded, (int)length, (const char *)decoded);
    report("base64", line);
    free(encoded);
    free(decoded);

    url *u = url_new(address);
    snprintf(line, sizeof line, "%s:%s", url_get_host(u), url_get_port(u));
    report("url", line);

    snprintf(line, sizeof line, "%d", re_match_direct("\\d+\\.log$", "monitor_20261208.log"));
    report("re", line);

    int entries = 0;
    fs_dir *dir = fs_dir_new(folder);
    fs_dir_iter(dir, count_entry, &entries);
    fs_dir_free(dir);
    snprintf(line, sizeof line, "%d", entries);
    report("walk", line);

    char *body = NULL;
    int received = url_execute_get(u, &body, NULL, NULL);
    snprintf(line, sizeof line, "%d %.*s", received, received > 0 ? received : 0,
             body != NULL ? body : "");
    report("http", line);
    free(body);
    url_free(u);
}

static jint JNICALL run(JNIEnv *env, jclass cls, jlong address, jstring url_text, jstring folder)
{
    (void)cls;
    relay = (ub_JVM_handler)(intptr_t)address;
    const char *u = (*env)->GetStringUTFChars(env, url_text, NULL);
    const char *f = (*env)->GetStringUTFChars(env, folder, NULL);
    if (u != NULL && f != NULL)
        run_all(u, f);
    if (u != NULL)
        (*env)->ReleaseStringUTFChars(env, url_text, u);
    if (f != NULL)
        (*env)->ReleaseStringUTFChars(env, folder, f);
    return 0;
}

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *vm, void *reserved)
{
    (void)reserved;
    JNIEnv *env = NULL;
    if ((*vm)->GetEnv(vm, (void **)&env, JNI_VERSION_1_6) != JNI_OK)
        return JNI_ERR;
    jclass module = (*env)->FindClass(env, "vesk/example/NativeModule");
    JNINativeMethod methods[] = {
        {"run", "(JLjava/lang/String;Ljava/lang/String;)I", (void *)run},
    };
    if (module == NULL || (*env)->RegisterNatives(env, module, methods, 1) != JNI_OK)
        return JNI_ERR;
    return JNI_VERSION_1_6;
}
