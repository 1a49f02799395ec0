// Log lines per second through verbose, beside a bare loop that opens a
// file for appending, writes one equally long line and closes it, with no
// check of what was opened; then the cost of formatting and escaping a line
// alone, measured through a diagnostic sink, which writes no file.
// Run by hand: build/bench/log_bench [lines]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "log/verbose.h"

namespace {

namespace fs = std::filesystem;

// The message part; with the 21-character time prefix a line is 64 bytes.
constexpr char message_format[] = "bench line %08d from thread %02d padding\n";

double run(int threads, int lines, bool through_verbose)
{
    fs::remove_all("log");
    fs::create_directory("log");
    verbose_limit_set(0);
    char probe[128];
    std::snprintf(probe, sizeof probe, message_format, 0, 0);
    std::string bare_line = "07/12/2026 23:40:00: " + std::string(probe);
    std::string path = "log/bare.log";

    auto work = [&](int id) {
        for (int n = id; n < lines; n += threads) {
            if (through_verbose) {
                verbose(stdout, message_format, n, id);
            } else {
                int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
                if (write(fd, bare_line.data(), bare_line.size()) < 0)
                    std::perror("write");
                close(fd);
            }
        }
    };
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int id = 0; id < threads; ++id)
        workers.emplace_back(work, id);
    for (std::thread &worker : workers)
        worker.join();
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return lines / elapsed.count();
}

// Receives a diagnostic and does nothing with it.
void discard(int, const char *, const char *, void *) {}

// Lines per second formatted and escaped as log lines, for text as the
// message's argument, over one thread.
double escape_only(const char *text, int lines)
{
    verbose_set_sink(discard, nullptr);
    auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < lines; ++n)
        verbose_diagnostic(VERBOSE_ROUTE_LOG, VERBOSE_INFO, "BENCH", "line %08d %s\n", n, text);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    verbose_set_sink(nullptr, nullptr);
    return lines / elapsed.count();
}

} // namespace

int main(int argc, char **argv)
{
    // Under the day's 10 MiB budget: 64-byte lines, 150,000 of them per run.
    int lines = argc > 1 ? std::atoi(argv[1]) : 150000;
    fs::path work_dir = fs::temp_directory_path() / "vesk-log-bench";
    fs::create_directories(work_dir);
    fs::current_path(work_dir);

    std::printf("%-8s %16s %16s %8s\n", "threads", "bare lines/s", "verbose lines/s", "ratio");
    for (int threads : {1, 16}) {
        double bare = 0, logged = 0;
        for (int round = 0; round < 5; ++round) {
            bare = std::max(bare, run(threads, lines, false));
            logged = std::max(logged, run(threads, lines, true));
        }
        std::printf("%-8d %16.0f %16.0f %8.2f\n", threads, bare, logged, logged / bare);
    }
    // Plain ASCII takes the fast path; accented UTF-8 is decoded and kept;
    // a line feed and a separator are escaped.
    const char *texts[][2] = {
        {"ascii", "from thread 01 padding to a typical length of message"},
        {"utf-8", "a\xC3\xA7\xC3\xA3o conclu\xC3\xAD"
                  "da, cora\xC3\xA7\xC3\xA3o \xE2\x82\xAC 12,50"},
        {"escaped", "name\nwith a feed and a separator \xE2\x80\xA8 inside it"},
    };
    std::printf("\n%-8s %16s\n", "text", "escaped lines/s");
    for (const auto &text : texts) {
        double best = 0;
        for (int round = 0; round < 5; ++round)
            best = std::max(best, escape_only(text[1], lines * 10));
        std::printf("%-8s %16.0f\n", text[0], best);
    }
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work_dir);
    return 0;
}
