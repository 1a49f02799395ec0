// File names per second through re_match_direct (compiling the pattern for
// every name, as a directory filter does), beside re_matchp with the
// pattern compiled once, for a few typical file-name patterns.
// Run by hand: build/bench/re_bench [names]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/re.h"

namespace {

// A mix of log, temporary and data file names, some matching each pattern.
std::vector<std::string> make_names(int count)
{
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    char name[64];
    for (int i = 0; i < count; ++i) {
        switch (i % 4) {
        case 0: std::snprintf(name, sizeof name, "app-2024-%02d-%05d.log", i % 12 + 1, i); break;
        case 1: std::snprintf(name, sizeof name, "report_%02d.tmp", i % 100); break;
        case 2: std::snprintf(name, sizeof name, "%cx%d.dat", 'a' + i % 6, i); break;
        default: std::snprintf(name, sizeof name, "backup-%d.tar.gz", i); break;
        }
        names.emplace_back(name);
    }
    return names;
}

struct Run {
    double names_per_second;
    int matches;
};

template <typename Match>
Run measure(const std::vector<std::string> &names, Match match)
{
    int matches = 0;
    auto start = std::chrono::steady_clock::now();
    for (const std::string &name : names)
        matches += match(name.c_str()) >= 0;
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {static_cast<double>(names.size()) / elapsed.count(), matches};
}

} // namespace

int main(int argc, char **argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (count < 1)
        count = 100000;
    std::vector<std::string> names = make_names(count);
    const char *const patterns[] = {"\\d\\d\\.tmp", "^app.*\\.log$", "[a-c]x"};
    std::printf("%d names\n%-16s %14s %14s %8s %8s\n", count, "pattern", "direct/s", "compiled/s",
                "ratio", "matches");
    for (const char *pattern : patterns) {
        Run direct =
            measure(names, [&](const char *name) { return re_match_direct(pattern, name); });
        const re_object *compiled = re_compile(pattern);
        Run once = measure(names, [&](const char *name) { return re_matchp(compiled, name); });
        std::printf("%-16s %14.0f %14.0f %8.2f %8d\n", pattern, direct.names_per_second,
                    once.names_per_second, once.names_per_second / direct.names_per_second,
                    direct.matches);
    }
    return 0;
}
