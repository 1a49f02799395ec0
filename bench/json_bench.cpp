// Parse, parse+free and serialize throughput of the JSON module beside
// cJSON in the same run, on the three public corpora (canada.json: numbers,
// citm_catalog.json: objects and short names, twitter.json: texts) and on
// a generated document; then the parse time of one long string. Each
// figure is the median of several rounds of processor time, the two
// libraries taking turns.
// Run by hand:
//   build/bench/json_bench [--corpus DIR] [--rounds N] [--megabytes M] [--string-kib K]
// DIR defaults to ../shared/bench-data/json beside the source tree; a
// missing corpus file is skipped with a message.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <cjson/cJSON.h>

#include "json/json.h"

namespace {

// A deterministic document of about target bytes in the dialect both
// readers share: double-quoted strings whose only escapes are \" and \\,
// integers, plain decimals, booleans, nulls and nested arrays.
std::string make_document(size_t target)
{
    static const char *const words[] = {"alpha", "beta",  "gamma", "delta", "epsilon", "zeta",
                                        "eta",   "theta", "iota",  "kappa", "lambda",  "mu"};
    unsigned int seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7fff;
    };
    std::string out = "[";
    for (int record = 0; out.size() < target; ++record) {
        if (record > 0)
            out += ',';
        out += "{\"id\":" + std::to_string(record);
        out += ",\"name\":\"" + std::string(words[next() % 12]) + " " + words[next() % 12] + "\"";
        out += ",\"note\":\"said \\\"" + std::string(words[next() % 12]) + "\\\" at C:\\\\tmp\"";
        out += ",\"price\":" + std::to_string(next() % 10000) + "." + std::to_string(next() % 100);
        out += ",\"delta\":-" + std::to_string(next() % 500);
        out += std::string(",\"active\":") + (next() % 2 ? "true" : "false");
        out += ",\"parent\":null";
        out += ",\"tags\":[\"" + std::string(words[next() % 12]) + "\",\"" + words[next() % 12] +
               "\",[" + std::to_string(next()) + "," + std::to_string(next()) + ",[1.25,null]]]";
        out += ",\"text\":\"" + std::string(40 + next() % 60, 'x') + "\"}";
    }
    return out + "]";
}

// Processor time of one run: the machine is shared, and wall time would
// count other processes' turns.
double seconds(const std::function<void()> &work)
{
    std::clock_t start = std::clock();
    work();
    return static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
}

double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    size_t middle = times.size() / 2;
    return times.size() % 2 != 0 ? times[middle] : (times[middle - 1] + times[middle]) / 2;
}

// Median times of rounds timed runs of each side, the sides taking turns so
// that both see the shared machine alike. Each timed run follows an untimed
// one of the same side, so the allocator is in the state that side's own
// frees leave it. A run returns the seconds it timed.
std::pair<double, double> in_turns(int rounds, const std::function<double()> &ours,
                                   const std::function<double()> &theirs)
{
    std::vector<double> times_ours;
    std::vector<double> times_theirs;
    for (int i = 0; i < rounds; ++i) {
        ours();
        times_ours.push_back(ours());
        theirs();
        times_theirs.push_back(theirs());
    }
    return {median(times_ours), median(times_theirs)};
}

void report(const char *what, double bytes, double ours, double theirs)
{
    double mb = bytes / 1e6;
    std::printf("  %-11s vesk %8.1f MB/s   cJSON %8.1f MB/s   ratio %.2f\n", what, mb / ours,
                mb / theirs, theirs / ours);
}

// Parse alone (each tree is released outside the timed part), parse with
// the release of the tree, and serialize of one parsed tree, each side
// against the other. Nothing is reported for a document either side
// rejects.
void compare(const char *name, const std::string &document, int rounds)
{
    std::printf("%s: %zu bytes, median of %d rounds\n", name, document.size(), rounds);
    json_value *ours = json_parse_mem(document.c_str());
    cJSON *theirs = cJSON_Parse(document.c_str());
    if (ours == nullptr || theirs == nullptr) {
        std::printf("  not read by %s\n", ours == nullptr ? "vesk" : "cJSON");
        json_value_free(ours);
        cJSON_Delete(theirs);
        return;
    }
    const double bytes = static_cast<double>(document.size());

    auto parse = in_turns(
        rounds,
        [&] {
            json_value *tree = nullptr;
            double time = seconds([&] { tree = json_parse_mem(document.c_str()); });
            json_value_free(tree);
            return time;
        },
        [&] {
            cJSON *tree = nullptr;
            double time = seconds([&] { tree = cJSON_Parse(document.c_str()); });
            cJSON_Delete(tree);
            return time;
        });
    report("parse", bytes, parse.first, parse.second);

    auto parse_free = in_turns(
        rounds, [&] { return seconds([&] { json_value_free(json_parse_mem(document.c_str())); }); },
        [&] { return seconds([&] { cJSON_Delete(cJSON_Parse(document.c_str())); }); });
    report("parse+free", bytes, parse_free.first, parse_free.second);

    size_t written_ours = 0;
    size_t written_theirs = 0;
    auto print = in_turns(
        rounds,
        [&] {
            return seconds([&] {
                char *text = json_serialize(ours);
                written_ours = std::strlen(text);
                std::free(text);
            });
        },
        [&] {
            return seconds([&] {
                char *text = cJSON_PrintUnformatted(theirs);
                written_theirs = std::strlen(text);
                cJSON_free(text);
            });
        });
    report("serialize", bytes, print.first, print.second);
    std::printf("  written: vesk %zu bytes, cJSON %zu bytes\n", written_ours, written_theirs);
    json_value_free(ours);
    cJSON_Delete(theirs);
}

bool read_file(const std::string &path, std::string &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::string corpus = JSON_BENCH_CORPUS_DIR;
    int rounds = 9;
    double megabytes = 5.0;
    size_t string_kib = 1024;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--corpus") == 0) {
            corpus = argv[i + 1];
        } else if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--megabytes") == 0) {
            megabytes = std::atof(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--string-kib") == 0) {
            string_kib = static_cast<size_t>(std::atol(argv[i + 1]));
        } else {
            std::fprintf(stderr, "json_bench: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (argc % 2 == 0) {
        std::fprintf(stderr, "json_bench: %s needs a value\n", argv[argc - 1]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    for (const char *name : {"canada.json", "citm_catalog.json", "twitter.json"}) {
        std::string document;
        std::string path = corpus + "/" + name;
        if (read_file(path, document))
            compare(name, document, rounds);
        else
            std::printf("%s: skipped, %s cannot be read\n", name, path.c_str());
    }
    compare("generated", make_document(static_cast<size_t>(megabytes * 1e6)), rounds);

    std::string long_string = "\"" + std::string(string_kib * 1024, 's') + "\"";
    auto string_time = in_turns(
        rounds,
        [&] { return seconds([&] { json_value_free(json_parse_mem(long_string.c_str())); }); },
        [&] { return seconds([&] { cJSON_Delete(cJSON_Parse(long_string.c_str())); }); });
    std::printf("%zu KiB string: vesk %.2f ms   cJSON %.2f ms\n", string_kib,
                string_time.first * 1e3, string_time.second * 1e3);
    return 0;
}
