// Log lines per second from the Java side into the daily log: through the
// kit with java.util.logging, through the kit's VeskHost.log, through the
// bridge's generic callback, and through the relay called directly from
// native code with the same kind of event. The differences are the JUL
// formatting and the JNI crossing. Then round trips per second of
// ub_JVM_callStringMethod from a native thread, with an ASCII text and with
// one that is not.
// Run by hand: build/bench/java_bench [lines]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/service_config.h"
#include "host/veskserver.h"
#include "jvm/java_utils.h"
#include "log/verbose.h"

namespace {

namespace fs = std::filesystem;

// A fresh log folder and budget, so that every run writes every line.
void fresh_log()
{
    fs::remove_all("log");
    fs::create_directory("log");
    verbose_limit_set(0);
}

double native_rate(int lines)
{
    fresh_log();
    char code[16];
    char message[64];
    char *event[] = {const_cast<char *>("class"),
                     const_cast<char *>("Bench"),
                     const_cast<char *>("verbosity"),
                     const_cast<char *>("INFO"),
                     const_cast<char *>("code"),
                     code,
                     const_cast<char *>("message"),
                     message,
                     nullptr,
                     nullptr};
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < lines; ++i) {
        std::snprintf(code, sizeof code, "%d", i);
        std::snprintf(message, sizeof message, "bench line %d padding text", i);
        vesk_cb(0, nullptr, 8, event, nullptr, nullptr);
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return lines / elapsed.count();
}

// Lines per second of <class>.<method>, or 0 when the call failed.
double java_rate(JavaVM *jvm, const char *class_name, const char *method, int lines)
{
    fresh_log();
    ub_JVM_handler relay = vesk_cb;
    std::string address = std::to_string(reinterpret_cast<intptr_t>(relay));
    std::string count = std::to_string(lines);
    char *texts[] = {address.data(), count.data()};
    int64_t nanos = 0;
    if (ub_JVM_callStaticInt64Method(jvm, class_name, method, 2, texts, &nanos) != 0 || nanos <= 0)
        return 0;
    return lines / (static_cast<double>(nanos) / 1e9);
}

// BridgeBench.relay: the event through the generic callback.
jint JNICALL bench_relay(JNIEnv *env, jclass cls, jlong address, jobjectArray texts)
{
    auto handler = reinterpret_cast<ub_JVM_handler>(static_cast<intptr_t>(address));
    return ub_JVM_generic_callback(env, cls, nullptr, texts, nullptr, handler);
}

// Binds BridgeBench.relay, on the thread that created the JVM.
bool bind_relay(JavaVM *jvm)
{
    JNIEnv *env = nullptr;
    if (jvm->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_6) != JNI_OK)
        return false;
    jclass bench = env->FindClass("vesk/bench/BridgeBench");
    if (bench == nullptr)
        return false;
    JNINativeMethod methods[] = {{const_cast<char *>("relay"),
                                  const_cast<char *>("(J[Ljava/lang/String;)I"),
                                  reinterpret_cast<void *>(bench_relay)}};
    bool bound = env->RegisterNatives(bench, methods, 1) == JNI_OK;
    env->DeleteLocalRef(bench);
    return bound;
}

// Round trips per second of ub_JVM_callStringMethod on echo with text, or
// 0 when a call failed. Each call attaches and detaches this thread.
double echo_rate(JavaVM *jvm, jobject echo, const char *text, int calls)
{
    char *texts[] = {const_cast<char *>(text)};
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) {
        char *back = nullptr;
        if (ub_JVM_callStringMethod(jvm, echo, "echo", 1, texts, &back) != 0)
            return 0;
        std::free(back);
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return calls / elapsed.count();
}

} // namespace

int main(int argc, char **argv)
{
    // About 75 bytes a line: 100,000 lines stay under the 10 MiB budget.
    int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    fs::path work_dir = fs::temp_directory_path() / "vesk-java-bench";
    fs::create_directories(work_dir);
    fs::current_path(work_dir);
    logger.verbosity = VERBOSE_INFO;

    JavaVM *jvm = ub_loadJVM(VESK_BENCH_CLASS_PATH, VESK_JAVA_LIBRARY_DIR, "8");
    jobject echo = nullptr;
    if (jvm == nullptr || !bind_relay(jvm) ||
        ub_JVM_callNewObjectMethod(jvm, 0, nullptr, "vesk/bench/BridgeBench", 0, nullptr, &echo) !=
            0)
        return 1;
    // The best of five rounds each; the first ones warm the JIT up.
    double native = 0, callback = 0, plain = 0, jul = 0, ascii = 0, other = 0;
    int calls = std::max(1, lines / 5);
    for (int round = 0; round < 5; ++round) {
        native = std::max(native, native_rate(lines));
        callback = std::max(callback, java_rate(jvm, "vesk/bench/BridgeBench", "callback", lines));
        plain = std::max(plain, java_rate(jvm, "vesk/bench/KitBench", "plain", lines));
        jul = std::max(jul, java_rate(jvm, "vesk/bench/KitBench", "jul", lines));
        ascii = std::max(ascii, echo_rate(jvm, echo, "bench text 1234, padding text", calls));
        other = std::max(other, echo_rate(jvm, echo,
                                          "medi\xc3\xa7\xc3\xa3o de a\xc3\xa7\xc3\xa3o, "
                                          "padding",
                                          calls));
    }
    ub_JVM_unrefObjectMethod(jvm, echo);
    char *mode = nullptr;
    ub_JVM_callStaticStringMethod(jvm, "vesk/bench/KitBench", "vm", 0, nullptr, &mode);
    std::printf("\n%d lines a run, JVM %s\n", lines, mode != nullptr ? mode : "?");
    std::free(mode);
    std::printf("%-28s %14s %14s\n", "path", "lines/s", "native/path");
    std::printf("%-28s %14.0f %14.2f\n", "native vesk_cb", native, 1.0);
    std::printf("%-28s %14.0f %14.2f\n", "generic callback (JNI)", callback, native / callback);
    std::printf("%-28s %14.0f %14.2f\n", "kit VeskHost.log (JNI)", plain, native / plain);
    std::printf("%-28s %14.0f %14.2f\n", "kit java.util.logging", jul, native / jul);
    std::printf("\n%d calls a run, from a native thread\n", calls);
    std::printf("%-28s %14s\n", "ub_JVM_callStringMethod", "round trips/s");
    std::printf("%-28s %14.0f\n", "ASCII text", ascii);
    std::printf("%-28s %14.0f\n", "non-ASCII text", other);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work_dir);
    return 0;
}
