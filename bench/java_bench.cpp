// Log lines per second from the Java side into the daily log: through the
// kit with java.util.logging, through the kit's VeskHost.log, and through the
// relay called directly from native code with the same kind of event. The
// differences are the JUL formatting and the JNI crossing.
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
    char *event[] = {const_cast<char *>("class"), const_cast<char *>("Bench"),
                     const_cast<char *>("verbosity"), const_cast<char *>("INFO"),
                     const_cast<char *>("code"), code, const_cast<char *>("message"), message,
                     nullptr, nullptr};
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < lines; ++i) {
        std::snprintf(code, sizeof code, "%d", i);
        std::snprintf(message, sizeof message, "bench line %d padding text", i);
        vesk_cb(0, nullptr, 8, event, nullptr, nullptr);
    }
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return lines / elapsed.count();
}

// Lines per second of KitBench.<method>, or 0 when the call failed.
double java_rate(JavaVM *jvm, const char *method, int lines)
{
    fresh_log();
    ub_JVM_handler relay = vesk_cb;
    std::string address = std::to_string(reinterpret_cast<intptr_t>(relay));
    std::string count = std::to_string(lines);
    char *texts[] = {address.data(), count.data()};
    int64_t nanos = 0;
    if (ub_JVM_callStaticInt64Method(jvm, "vesk/bench/KitBench", method, 2, texts, &nanos) != 0 ||
        nanos <= 0)
        return 0;
    return lines / (static_cast<double>(nanos) / 1e9);
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
    if (jvm == nullptr)
        return 1;
    // The best of five rounds each; the first ones warm the JIT up.
    double native = 0, plain = 0, jul = 0;
    for (int round = 0; round < 5; ++round) {
        native = std::max(native, native_rate(lines));
        plain = std::max(plain, java_rate(jvm, "plain", lines));
        jul = std::max(jul, java_rate(jvm, "jul", lines));
    }
    char *mode = nullptr;
    ub_JVM_callStaticStringMethod(jvm, "vesk/bench/KitBench", "vm", 0, nullptr, &mode);
    std::printf("\n%d lines a run, JVM %s\n", lines, mode != nullptr ? mode : "?");
    std::free(mode);
    std::printf("%-28s %14s %14s\n", "path", "lines/s", "native/path");
    std::printf("%-28s %14.0f %14.2f\n", "native vesk_cb", native, 1.0);
    std::printf("%-28s %14.0f %14.2f\n", "kit VeskHost.log (JNI)", plain, native / plain);
    std::printf("%-28s %14.0f %14.2f\n", "kit java.util.logging", jul, native / jul);
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work_dir);
    return 0;
}
