// Native half of the demo server: binds HostLog.relay, which hands its
// arrays to the host's generic callback with the host's log callback as the
// handler. The bridge is resolved from the host executable that loaded the
// JVM, so this library only works inside it.
#include <jni.h>

#include <cstdint>

#include "jvm/java_utils.h"

namespace {

jint JNICALL relay(JNIEnv *env, jclass cls, jlongArray longs, jobjectArray texts,
                   jobjectArray blobs)
{
    // The callback's address is the whole first long; read it before the
    // callback conversion keeps only the low 32 bits of each value.
    if (longs == nullptr || env->GetArrayLength(longs) < 1)
        return -1;
    jlong address = 0;
    env->GetLongArrayRegion(longs, 0, 1, &address);
    if (address == 0)
        return -1;
    ub_JVM_handler handler = reinterpret_cast<ub_JVM_handler>(static_cast<intptr_t>(address));
    return ub_JVM_generic_callback(env, cls, longs, texts, blobs, handler);
}

} // namespace

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *vm, void *)
{
    JNIEnv *env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_6) != JNI_OK)
        return JNI_ERR;
    jclass host_log = env->FindClass("vesk/demo/HostLog");
    if (host_log == nullptr)
        return JNI_ERR;
    JNINativeMethod methods[] = {
        {const_cast<char *>("relay"), const_cast<char *>("([J[Ljava/lang/String;[[B)I"),
         reinterpret_cast<void *>(relay)},
    };
    if (env->RegisterNatives(host_log, methods, 1) != JNI_OK)
        return JNI_ERR;
    return JNI_VERSION_1_6;
}
