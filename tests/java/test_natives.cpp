// JNI library of the Java test fixtures: binds Natives.relay, which calls
// the native handler whose address it is given through the bridge's generic
// callback. The bridge resolves from the executable that loads the JVM.
#include <jni.h>

#include <cstdint>

#include "jvm/java_utils.h"

namespace {

jint JNICALL relay(JNIEnv *env, jclass cls, jlong address, jlongArray longs, jobjectArray texts,
                   jobjectArray blobs)
{
    // The whole 64-bit value is the address; only then may arrays be cut to 32 bits.
    ub_JVM_handler handler = reinterpret_cast<ub_JVM_handler>(static_cast<intptr_t>(address));
    return ub_JVM_generic_callback(env, cls, longs, texts, blobs, handler);
}

} // namespace

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *vm, void *)
{
    JNIEnv *env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_6) != JNI_OK)
        return JNI_ERR;
    jclass natives = env->FindClass("vesk/test/Natives");
    if (natives == nullptr)
        return JNI_ERR;
    JNINativeMethod methods[] = {
        {const_cast<char *>("relay"), const_cast<char *>("(J[J[Ljava/lang/String;[[B)I"),
         reinterpret_cast<void *>(relay)},
    };
    if (env->RegisterNatives(natives, methods, 1) != JNI_OK)
        return JNI_ERR;
    return JNI_VERSION_1_6;
}
