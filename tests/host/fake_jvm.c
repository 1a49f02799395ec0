/* A stand-in JVM library (jvm.dll, libjvm.so) for the launch and discovery
 * tests: JNI_CreateJavaVM and the few JNI functions the launch uses, so that
 * vesk runs its whole launch without a Java runtime (on Windows under wine). What it does follows the options:
 * - class path "refuse": the JVM is refused (status 2);
 * - a class whose name starts with "missing/" is not found (status 3);
 * - any other class has a start method, which relays one log line through
 *   the callback whose address is the first element of the long[] and
 *   returns an object, so that the host goes on sleeping; then two more, with
 *   the options the JVM's creation got after the first five, separated by
 *   blanks (code 1), and JAVA_TOOL_OPTIONS ("<unset>" when it is not set) as
 *   it is when start runs (code 2);
 * - System.exit(status) relays "exit <status>" (code 3), runs a stand-in
 *   shutdown hook that relays "shutdown hook" (code 4), calls the exit hook
 *   given as the "exit" option and ends the process with status; with the
 *   class path "stuck" the shutdown hook never ends;
 * - with the class path "quit-<status>", the Java side ends the process by
 *   itself half a second after start returned: it relays "quit <status>"
 *   (code 5), then exits as above. */
#define _JNI_IMPLEMENTATION_
#define _POSIX_C_SOURCE 200809L
#include <jni.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <time.h>
#endif

typedef int32_t (*relay_callback)(int32_t long_count, int32_t *longs, uint32_t text_count,
                                  char **texts, int32_t *blob_lengths, char **blobs);

/* Every object the fake hands out: its values, when it is a long[]. */
struct fake_object {
    jlong values[2];
};

static struct fake_object objects[64];
static int used;

static jobject new_object(void)
{
    return used < 64 ? (jobject)&objects[used++] : NULL;
}

/* The callback start received, the JVM's exit hook, and whether the
 * shutdown hook hangs. */
static relay_callback host_relay;
static void(JNICALL *exit_hook)(jint status);
static int stuck_exit;
static int quit_status = -1;

/* The two static methods the fake has. */
static struct fake_object start_method, exit_method;

/* The options after the first five that JNI_CreateJavaVM got, but the hooks. */
static char created_options[4096];

static const char *tool_options(void)
{
    const char *options = getenv("JAVA_TOOL_OPTIONS");
    return options != NULL ? options : "<unset>";
}

static jint JNICALL attach(JavaVM *vm, void **env, void *args);
static jint JNICALL detach(JavaVM *vm);

static jclass JNICALL find_class(JNIEnv *env, const char *name)
{
    (void)env;
    return strncmp(name, "missing/", 8) == 0 ? NULL : (jclass)new_object();
}

static void JNICALL nothing(JNIEnv *env)
{
    (void)env;
}

static jboolean JNICALL no_exception(JNIEnv *env)
{
    (void)env;
    return JNI_FALSE;
}

static jint JNICALL push_frame(JNIEnv *env, jint capacity)
{
    (void)env;
    (void)capacity;
    return JNI_OK;
}

static jobject JNICALL pop_frame(JNIEnv *env, jobject result)
{
    (void)env;
    return result;
}

static void JNICALL delete_ref(JNIEnv *env, jobject object)
{
    (void)env;
    (void)object;
}

static jobject JNICALL new_ref(JNIEnv *env, jobject object)
{
    (void)env;
    return object;
}

static jlongArray JNICALL new_long_array(JNIEnv *env, jsize length)
{
    (void)env;
    (void)length;
    return (jlongArray)new_object();
}

static void JNICALL set_longs(JNIEnv *env, jlongArray array, jsize start, jsize length,
                              const jlong *values)
{
    (void)env;
    struct fake_object *object = (struct fake_object *)array;
    for (jsize k = 0; k < length && start + k < 2; ++k)
        object->values[start + k] = values[k];
}

static jobjectArray JNICALL new_object_array(JNIEnv *env, jsize length, jclass type, jobject first)
{
    (void)env;
    (void)length;
    (void)type;
    (void)first;
    return (jobjectArray)new_object();
}

static jstring JNICALL new_string(JNIEnv *env, const char *text)
{
    (void)env;
    (void)text;
    return (jstring)new_object();
}

static void JNICALL set_element(JNIEnv *env, jobjectArray array, jsize index, jobject value)
{
    (void)env;
    (void)array;
    (void)index;
    (void)value;
}

static jmethodID JNICALL static_method(JNIEnv *env, jclass type, const char *name,
                                       const char *signature)
{
    (void)env;
    (void)type;
    (void)signature;
    if (strcmp(name, "start") == 0)
        return (jmethodID)&start_method;
    return strcmp(name, "exit") == 0 ? (jmethodID)&exit_method : NULL;
}

static void relay_line(const char *code, const char *message)
{
    char *event[] = {"class", "fake",       "verbosity", "INFO",
                     "code",  (char *)code, "message",   (char *)message};
    if (host_relay != NULL)
        host_relay(0, NULL, 8, event, NULL, NULL);
}

static void pause_ms(unsigned milliseconds)
{
#ifdef _WIN32
    Sleep(milliseconds);
#else
    struct timespec pause = {(time_t)(milliseconds / 1000), (long)(milliseconds % 1000) * 1000000L};
    nanosleep(&pause, NULL);
#endif
}

/* What the JVM does on exit, in its order: shutdown hooks, exit hook, end. */
static _Noreturn void exit_jvm(jint status)
{
    while (stuck_exit)
        pause_ms(1000);
    relay_line("4", "shutdown hook");
    if (exit_hook != NULL)
        exit_hook(status);
    exit(status);
}

/* System.exit. */
static void JNICALL call_static_void_v(JNIEnv *env, jclass type, jmethodID method, va_list args)
{
    (void)env;
    (void)type;
    if (method != (jmethodID)&exit_method)
        return;
    jint status = va_arg(args, jint);
    char text[32];
    snprintf(text, sizeof text, "exit %d", (int)status);
    relay_line("3", text);
    exit_jvm(status);
}

/* The Java side's own System.exit, on a thread of its own. */
#ifdef _WIN32
static DWORD WINAPI quit_later(void *unused)
#else
static void *quit_later(void *unused)
#endif
{
    (void)unused;
    pause_ms(500);
    char text[32];
    snprintf(text, sizeof text, "quit %d", quit_status);
    relay_line("5", text);
    exit_jvm(quit_status);
}

static void JNICALL call_static_void(JNIEnv *env, jclass type, jmethodID method, ...)
{
    va_list args;
    va_start(args, method);
    call_static_void_v(env, type, method, args);
    va_end(args);
}

/* The host's C++ calls reach the va_list form. */
static jobject JNICALL call_static_object_v(JNIEnv *env, jclass type, jmethodID method,
                                            va_list args)
{
    (void)env;
    (void)type;
    (void)method;
    struct fake_object *longs = (struct fake_object *)va_arg(args, jlongArray);
    relay_callback relay = (relay_callback)(intptr_t)longs->values[0];
    host_relay = relay;
    char *event[] = {"class", "fake", "verbosity", "INFO", "code", "0", "message", "started"};
    relay(0, NULL, 8, event, NULL, NULL);
    char *created[] = {"class", "fake", "verbosity", "INFO",
                       "code",  "1",    "message",   created_options};
    relay(0, NULL, 8, created, NULL, NULL);
    char *now[] = {"class", "fake", "verbosity", "INFO",
                   "code",  "2",    "message",   (char *)tool_options()};
    relay(0, NULL, 8, now, NULL, NULL);
    if (quit_status >= 0) {
#ifdef _WIN32
        CloseHandle(CreateThread(NULL, 0, quit_later, NULL, 0, NULL));
#else
        pthread_t thread;
        if (pthread_create(&thread, NULL, quit_later, NULL) == 0)
            pthread_detach(thread);
#endif
    }
    return new_object();
}

static jobject JNICALL call_static_object(JNIEnv *env, jclass type, jmethodID method, ...)
{
    va_list args;
    va_start(args, method);
    jobject result = call_static_object_v(env, type, method, args);
    va_end(args);
    return result;
}

static struct JNINativeInterface_ functions = {
    .FindClass = find_class,
    .ExceptionDescribe = nothing,
    .ExceptionClear = nothing,
    .ExceptionCheck = no_exception,
    .PushLocalFrame = push_frame,
    .PopLocalFrame = pop_frame,
    .DeleteLocalRef = delete_ref,
    .NewGlobalRef = new_ref,
    .DeleteGlobalRef = delete_ref,
    .NewLongArray = new_long_array,
    .SetLongArrayRegion = set_longs,
    .NewObjectArray = new_object_array,
    .NewStringUTF = new_string,
    .SetObjectArrayElement = set_element,
    .GetStaticMethodID = static_method,
    .CallStaticObjectMethod = call_static_object,
    .CallStaticObjectMethodV = call_static_object_v,
    .CallStaticVoidMethod = call_static_void,
    .CallStaticVoidMethodV = call_static_void_v,
};
static JNIEnv environment = &functions;

static struct JNIInvokeInterface_ invoke = {
    .AttachCurrentThread = attach,
    .DetachCurrentThread = detach,
};
static JavaVM machine = &invoke;

static jint JNICALL attach(JavaVM *vm, void **env, void *args)
{
    (void)vm;
    (void)args;
    *env = &environment;
    return JNI_OK;
}

static jint JNICALL detach(JavaVM *vm)
{
    (void)vm;
    return JNI_OK;
}

JNIEXPORT jint JNICALL JNI_CreateJavaVM(JavaVM **vm, void **env, void *args)
{
    JavaVMInitArgs *init = args;
    for (jint k = 0; k < init->nOptions; ++k) {
        if (strcmp(init->options[k].optionString, "-Djava.class.path=refuse") == 0)
            return JNI_ERR;
        if (strcmp(init->options[k].optionString, "-Djava.class.path=stuck") == 0)
            stuck_exit = 1;
        if (strncmp(init->options[k].optionString, "-Djava.class.path=quit-", 23) == 0)
            quit_status = atoi(init->options[k].optionString + 23);
        if (strcmp(init->options[k].optionString, "exit") == 0) {
            exit_hook = (void(JNICALL *)(jint))(intptr_t)init->options[k].extraInfo;
        } else if (k >= 5 && strcmp(init->options[k].optionString, "abort") != 0) {
            size_t length = strlen(created_options);
            snprintf(created_options + length, sizeof created_options - length, "%s%s",
                     length > 0 ? " " : "", init->options[k].optionString);
        }
    }
    *vm = &machine;
    *env = &environment;
    return JNI_OK;
}
