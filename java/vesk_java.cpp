// Native half of the Java side's kit: binds VeskHost's native methods in
// JNI_OnLoad and calls the host's log relay through the address the host
// handed to start. It links no vesk library, so it loads into any JVM; the
// relay exists only inside the host.
#include <jni.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "jvm/java_utils.h"

namespace {

// Events of up to this many bytes and texts are built on the stack.
constexpr jsize stack_bytes = 1024;
constexpr jint stack_texts = 16;

struct Free {
    void operator()(void *pointer) const { std::free(pointer); }
};

// Storage for n items of T: on the stack when n fits, else malloc'd.
template <typename T, size_t N>
class Buffer {
public:
    explicit Buffer(size_t n)
        : heap_(n > N ? static_cast<T *>(std::malloc(n * sizeof(T))) : nullptr),
          data_(n > N ? heap_.get() : local_)
    {
    }
    T *data() const { return data_; }

private:
    T local_[N];
    std::unique_ptr<T, Free> heap_;
    T *data_;
};

jint JNICALL version(JNIEnv *, jclass)
{
    return 1;
}

// packed holds count texts, each followed by a zero byte. They reach the
// relay with the handler's shape: no longs, the texts and two NULLs, no
// blobs. A relay call never raises a Java exception of its own.
jint JNICALL relay(JNIEnv *env, jclass, jlong address, jbyteArray packed, jint count)
{
    if (address == 0 || packed == nullptr || count < 0)
        return -1;
    jsize length = env->GetArrayLength(packed);
    Buffer<char, stack_bytes> bytes(static_cast<size_t>(length) + 1);
    Buffer<char *, stack_texts + 2> texts(static_cast<size_t>(count) + 2);
    if (bytes.data() == nullptr || texts.data() == nullptr)
        return -1;
    env->GetByteArrayRegion(packed, 0, length, reinterpret_cast<jbyte *>(bytes.data()));
    bytes.data()[length] = '\0'; // the last text ends even if the array was cut short
    char *next = bytes.data();
    char *end = bytes.data() + length;
    jint found = 0;
    for (; found < count && next < end; ++found) {
        texts.data()[found] = next;
        next += std::strlen(next) + 1;
    }
    texts.data()[found] = nullptr;
    texts.data()[found + 1] = nullptr;
    int32_t no_longs = 0;
    int32_t no_blobs = 0;
    auto handler = reinterpret_cast<ub_JVM_handler>(static_cast<intptr_t>(address));
    return handler(0, &no_longs, static_cast<uint32_t>(found), texts.data(), &no_blobs, nullptr);
}

} // namespace

extern "C" JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM *vm, void *)
{
    JNIEnv *env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_6) != JNI_OK)
        return JNI_ERR;
    jclass host = env->FindClass("vesk/host/VeskHost");
    if (host == nullptr)
        return JNI_ERR;
    JNINativeMethod methods[] = {
        {const_cast<char *>("version0"), const_cast<char *>("()I"),
         reinterpret_cast<void *>(version)},
        {const_cast<char *>("relay0"), const_cast<char *>("(J[BI)I"),
         reinterpret_cast<void *>(relay)},
    };
    jint bound = env->RegisterNatives(host, methods, 2);
    env->DeleteLocalRef(host);
    return bound == JNI_OK ? JNI_VERSION_1_6 : JNI_ERR;
}
