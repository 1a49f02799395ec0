/* The native half of HttpEntry, loaded by the Java side into vesk: the
 * process's first HTTP transfers, made from several threads released at
 * once, so that libcurl's load and global initialisation happen under
 * concurrent first calls. It links no vesk library: the HTTP client
 * resolves from the executable, as for any native module. */
#define _POSIX_C_SOURCE 200809L
#include <jni.h>

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "http/url.h"

enum { most_threads = 16 };

/* One thread's transfer: the URL, shared, and its result. */
struct transfer {
    const char *address;
    pthread_barrier_t *barrier;
    int result;
};

static void *get_once(void *argument)
{
    struct transfer *transfer = argument;
    pthread_barrier_wait(transfer->barrier);
    url *record = url_new(transfer->address);
    char *body = NULL;
    transfer->result = url_execute_get(record, &body, NULL, NULL);
    free(body);
    url_free(record);
    return NULL;
}

static jstring JNICALL first_transfers(JNIEnv *env, jclass type, jstring text, jint count)
{
    (void)type;
    if (count < 1 || count > most_threads)
        return NULL;
    const char *address = (*env)->GetStringUTFChars(env, text, NULL);
    if (address == NULL)
        return NULL;
    pthread_barrier_t barrier;
    pthread_barrier_init(&barrier, NULL, (unsigned)count);
    struct transfer transfers[most_threads];
    pthread_t threads[most_threads];
    char results[most_threads * 8] = "";
    for (jint k = 0; k < count; ++k) {
        transfers[k] = (struct transfer){address, &barrier, 0};
        if (pthread_create(&threads[k], NULL, get_once, &transfers[k]) != 0)
            abort(); /* the barrier would never open */
    }
    for (jint k = 0; k < count; ++k) {
        pthread_join(threads[k], NULL);
        size_t length = strlen(results);
        snprintf(results + length, sizeof results - length, "%s%d", k > 0 ? " " : "",
                 transfers[k].result);
    }
    pthread_barrier_destroy(&barrier);
    (*env)->ReleaseStringUTFChars(env, text, address);
    return (*env)->NewStringUTF(env, results);
}

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *vm, void *reserved)
{
    (void)reserved;
    JNIEnv *env = NULL;
    if ((*vm)->GetEnv(vm, (void **)&env, JNI_VERSION_1_8) != JNI_OK)
        return JNI_ERR;
    jclass entry = (*env)->FindClass(env, "vesk/test/HttpEntry");
    if (entry == NULL)
        return JNI_ERR;
    JNINativeMethod method = {"firstTransfers", "(Ljava/lang/String;I)Ljava/lang/String;", NULL};
    /* ISO C has no cast from a function pointer to an object pointer. */
    jstring(JNICALL * function)(JNIEnv *, jclass, jstring, jint) = first_transfers;
    memcpy(&method.fnPtr, &function, sizeof method.fnPtr);
    if ((*env)->RegisterNatives(env, entry, &method, 1) != JNI_OK)
        return JNI_ERR;
    return JNI_VERSION_1_8;
}
