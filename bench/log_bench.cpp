// Log lines per second through verbose, beside a bare loop that opens a
// file for appending, writes one equally long line and closes it, with no
// check of what was opened.
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
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(work_dir);
    return 0;
}
