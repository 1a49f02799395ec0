// The generic native callback and the dispatcher calls of the JVM bridge.
#include "jvm/java_utils.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "jvm/detail/java_text.hpp"
#include "log/messages.hpp"

namespace {

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

template <typename T>
using Buffer = std::unique_ptr<T[], FreeDeleter>;

// calloc of count elements, never of zero bytes, so that an empty array is
// still a valid pointer for the handler.
template <typename T>
Buffer<T> allocate(size_t count)
{
    return Buffer<T>(static_cast<T *>(std::calloc(count > 0 ? count : 1, sizeof(T))));
}

// The handler's arrays and the copies they point to, freed on every path.
struct HandlerArguments {
    size_t text_count = 0;
    size_t blob_count = 0;
    Buffer<int32_t> longs;
    Buffer<char *> texts;
    Buffer<int32_t> blob_lengths;
    Buffer<char *> blobs;

    ~HandlerArguments()
    {
        for (size_t i = 0; texts && i < text_count; ++i)
            std::free(texts[i]);
        for (size_t i = 0; blobs && i < blob_count; ++i)
            std::free(blobs[i]);
    }
};

size_t length_of(JNIEnv *env, jarray array)
{
    return array != nullptr ? static_cast<size_t>(env->GetArrayLength(array)) : 0;
}

// Copies the low 32 bits of each Java long.
bool copy_longs(JNIEnv *env, jlongArray array, size_t count, int32_t *out)
{
    if (count == 0)
        return true;
    jlong *elements = env->GetLongArrayElements(array, nullptr);
    if (elements == nullptr)
        return false;
    for (size_t i = 0; i < count; ++i)
        out[i] = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(elements[i])));
    env->ReleaseLongArrayElements(array, elements, 0);
    return true;
}

// Copies each string as UTF-8; a null element becomes "".
bool copy_texts(JNIEnv *env, jobjectArray array, size_t count, char **out)
{
    for (size_t i = 0; i < count; ++i) {
        jstring element =
            static_cast<jstring>(env->GetObjectArrayElement(array, static_cast<jsize>(i)));
        if (env->ExceptionCheck())
            return false;
        if (element == nullptr) {
            out[i] = strdup("");
        } else {
            out[i] = ub::detail::native_text(env, element);
            env->DeleteLocalRef(element);
        }
        if (out[i] == nullptr)
            return false;
    }
    return true;
}

// Copies each byte[]; a null element becomes an empty blob.
bool copy_blobs(JNIEnv *env, jobjectArray array, size_t count, int32_t *lengths, char **out)
{
    for (size_t i = 0; i < count; ++i) {
        jbyteArray element =
            static_cast<jbyteArray>(env->GetObjectArrayElement(array, static_cast<jsize>(i)));
        if (env->ExceptionCheck())
            return false;
        jsize size = element != nullptr ? env->GetArrayLength(element) : 0;
        lengths[i] = size;
        out[i] = static_cast<char *>(std::malloc(size > 0 ? static_cast<size_t>(size) : 1));
        if (out[i] != nullptr && size > 0)
            env->GetByteArrayRegion(element, 0, size, reinterpret_cast<jbyte *>(out[i]));
        if (element != nullptr)
            env->DeleteLocalRef(element);
        if (out[i] == nullptr)
            return false;
    }
    return true;
}

// The dispatcher's text array for one call: "method", the operation, then
// the caller's texts (a negative count reads as none).
struct DispatcherParams {
    DispatcherParams(const char *operation, int texts_count, char *const *texts)
    {
        if (texts_count < 0 || texts_count > INT_MAX - 2)
            texts_count = 0;
        count = texts_count + 2;
        slots = allocate<char *>(static_cast<size_t>(count));
        if (slots)
            ub_JVM_fill_params(operation, texts_count, texts, slots.get());
    }

    int count = 0;
    Buffer<char *> slots;
};

} // namespace

int32_t ub_JVM_generic_callback(JNIEnv *env, jobject receiver, jlongArray longs, jobjectArray texts,
                                jobjectArray blobs, ub_JVM_handler handler) noexcept
{
    (void)receiver;
    if (env == nullptr || handler == nullptr)
        return -1;
    HandlerArguments args;
    size_t long_count = length_of(env, longs);
    args.text_count = length_of(env, texts);
    args.blob_count = length_of(env, blobs);
    args.longs = allocate<int32_t>(long_count);
    // Two NULLs after the texts: read as a parameter list, it always ends
    // on a null key, whether the count is even or odd.
    args.texts = allocate<char *>(args.text_count + 2);
    args.blob_lengths = allocate<int32_t>(args.blob_count + 1);
    args.blobs = allocate<char *>(args.blob_count);
    if (!args.longs || !args.texts || !args.blob_lengths || !args.blobs)
        return -1;
    if (!copy_longs(env, longs, long_count, args.longs.get()) ||
        !copy_texts(env, texts, args.text_count, args.texts.get()) ||
        !copy_blobs(env, blobs, args.blob_count, args.blob_lengths.get(), args.blobs.get()))
        return -1;
    return handler(static_cast<int32_t>(long_count), args.longs.get(),
                   static_cast<uint32_t>(args.text_count), args.texts.get(),
                   args.blob_lengths.get(), args.blobs.get());
}

void ub_JVM_fill_params(const char *operation, int count, char *const *texts,
                        char **destination) noexcept
{
    if (destination == nullptr)
        return;
    // The texts are only read by the calls that take this array.
    destination[0] = const_cast<char *>("method");
    destination[1] = const_cast<char *>(operation);
    for (int i = 0; i < count; ++i)
        destination[i + 2] = texts != nullptr ? texts[i] : nullptr;
}

char *ub_JVM_genericStringMethod(JavaVM *jvm, jobject object, const char *operation, int count,
                                 char *const *texts) noexcept
{
    DispatcherParams params(operation, count, texts);
    int result = UB_JVM_NULL_RESULT;
    char *text = nullptr;
    if (params.slots)
        result = ub_JVM_callStringMethod(jvm, object, "callStringMethod", params.count,
                                         params.slots.get(), &text);
    if (result < 0)
        verbose_message(VESK_MSG_JVM_STRING_CALL_FAILED, result);
    return text;
}

uint32_t ub_JVM_genericBytesMethod(JavaVM *jvm, jobject object, const char *operation, int count,
                                   char *const *texts, char **bytes) noexcept
{
    DispatcherParams params(operation, count, texts);
    int result = UB_JVM_NULL_RESULT;
    uint32_t length = 0;
    if (params.slots)
        result = ub_JVM_callBytesMethod(jvm, object, "callBytesMethod", params.count,
                                        params.slots.get(), bytes, &length);
    if (result < 0)
        verbose_message(VESK_MSG_JVM_BYTES_CALL_FAILED, result);
    // The length is only delivered together with the bytes.
    return result == UB_JVM_OK ? length : 0;
}
