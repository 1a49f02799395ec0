// Native half of the Java side's kit: binds VeskHost's native methods in
// JNI_OnLoad, calls the host's log relay through the address the host
// handed to start, asks the host for its log threshold and has it remove its
// old log files. It links no vesk library, so it loads into any JVM; the
// relay and the host's functions exist only inside the host.
#include <jni.h>

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "fs/delete.h"
#include "host_symbol.h"
#include "jvm/text_codec.hpp"
#include "jvm/java_utils.h"

namespace {

// An event's texts, each UTF-8 and zero-terminated, one after another.
struct Packed {
    std::string bytes;
    std::vector<size_t> starts;
};

// Appends the UTF-16 text as the bridge hands texts back, standard UTF-8
// (a surrogate pair is one 4-byte sequence, a lone surrogate U+FFFD), and a
// zero byte. A NUL character, which would end the text early, becomes a
// blank, as does each line break (CR LF, LF or CR) with one_line.
void put_text(const jchar *chars, size_t length, bool one_line, std::string &out)
{
    for (size_t i = 0; i < length;) {
        uint32_t code = ub::text::decode_utf16(chars, length, i);
        if (code == 0) {
            code = ' ';
        } else if (one_line && (code == '\r' || code == '\n')) {
            if (code == '\r' && i < length && chars[i] == '\n')
                ++i;
            code = ' ';
        }
        char bytes[4];
        out.append(bytes, static_cast<size_t>(ub::text::put_utf8(code, bytes) - bytes));
    }
    out += '\0';
}

// The texts of the String[] packed; a null array or element reads as empty.
// False when an exception is pending (out of memory in the JVM).
bool pack(JNIEnv *env, jobjectArray texts, bool one_line, Packed &packed)
{
    jsize count = texts == nullptr ? 0 : env->GetArrayLength(texts);
    std::vector<jchar> chars;
    for (jsize i = 0; i < count; ++i) {
        packed.starts.push_back(packed.bytes.size());
        auto text = static_cast<jstring>(env->GetObjectArrayElement(texts, i));
        if (text == nullptr) {
            if (env->ExceptionCheck())
                return false;
            packed.bytes += '\0';
            continue;
        }
        jsize length = env->GetStringLength(text);
        chars.resize(static_cast<size_t>(length) + 1);
        env->GetStringRegion(text, 0, length, chars.data());
        env->DeleteLocalRef(text);
        put_text(chars.data(), static_cast<size_t>(length), one_line, packed.bytes);
    }
    return true;
}

jint JNICALL version(JNIEnv *, jclass)
{
    return 3;
}

// The threshold the host filters log lines with, asked of the program that
// holds the relay at address; -1 when that program tells none.
jint JNICALL threshold(JNIEnv *, jclass, jlong address)
{
    using Threshold = int (*)();
    auto host_threshold = reinterpret_cast<Threshold>(
        host_symbol(static_cast<intptr_t>(address), "vesk_log_threshold"));
    return address != 0 && host_threshold != nullptr ? host_threshold() : -1;
}

// Removes the host's daily log files (monitor_*.log in log of the current
// folder, not recursive) aged days or more with the host's own deletion,
// which lists the folder the log writer judges and writes to, unlinks
// relative to it and never follows a link (a host older than that judgement
// is asked for its plain deletion of log): its result, or -3 when the
// program that holds the relay exports no deletion.
jint JNICALL delete_logs(JNIEnv *, jclass, jlong address, jint days)
{
    if (address == 0)
        return -3;
    auto judged = reinterpret_cast<decltype(&delete_log_files)>(
        host_symbol(static_cast<intptr_t>(address), "delete_log_files"));
    if (judged != nullptr)
        return judged(days);
    auto host_delete = reinterpret_cast<decltype(&execute_delete)>(
        host_symbol(static_cast<intptr_t>(address), "execute_delete"));
    if (host_delete == nullptr)
        return -3;
    return host_delete("log", "monitor_", ".log", days, 0, nullptr, 0);
}

// Hands the texts to the relay at address with the handler's shape: no
// longs, the texts followed by two NULLs, no blobs. -1 when the event could
// not be built; the relay's result otherwise.
jint JNICALL relay(JNIEnv *env, jclass, jlong address, jobjectArray texts, jboolean one_line)
{
    if (address == 0)
        return -1;
    try {
        Packed packed;
        if (!pack(env, texts, one_line == JNI_TRUE, packed))
            return -1;
        std::vector<char *> pointers;
        pointers.reserve(packed.starts.size() + 2);
        for (size_t start : packed.starts)
            pointers.push_back(packed.bytes.data() + start);
        pointers.push_back(nullptr);
        pointers.push_back(nullptr);
        int32_t no_longs = 0;
        int32_t no_blobs = 0;
        auto handler = reinterpret_cast<ub_JVM_handler>(static_cast<intptr_t>(address));
        return handler(0, &no_longs, static_cast<uint32_t>(packed.starts.size()), pointers.data(),
                       &no_blobs, nullptr);
    } catch (const std::bad_alloc &) {
        return -1;
    }
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
        {const_cast<char *>("relay0"), const_cast<char *>("(J[Ljava/lang/String;Z)I"),
         reinterpret_cast<void *>(relay)},
        {const_cast<char *>("threshold0"), const_cast<char *>("(J)I"),
         reinterpret_cast<void *>(threshold)},
        {const_cast<char *>("deleteLogs0"), const_cast<char *>("(JI)I"),
         reinterpret_cast<void *>(delete_logs)},
    };
    jint bound = env->RegisterNatives(host, methods, 4);
    env->DeleteLocalRef(host);
    return bound == JNI_OK ? JNI_VERSION_1_6 : JNI_ERR;
}
