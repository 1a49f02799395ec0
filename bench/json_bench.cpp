// Parse and serialize throughput of the JSON module beside cJSON on the
// same generated document, and the parse time of one long string.
// Run by hand: build/bench/json_bench [megabytes] [rounds] [string KiB]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <utility>

#include <cjson/cJSON.h>

#include "json/json.h"

namespace {

// A deterministic document of about target bytes in the dialect both
// readers share: double-quoted strings whose only escapes are \" and \\,
// integers, plain decimals, booleans, nulls and nested arrays.
std::string make_document(size_t target)
{
    static const char *const words[] = {"alpha", "beta", "gamma", "delta", "epsilon", "zeta",
                                        "eta",   "theta", "iota", "kappa", "lambda", "mu"};
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

// Best times of rounds runs of each side, one side after the other (the
// allocator is left in the state each side's own frees leave it).
std::pair<double, double> best_of(int rounds, const std::function<void()> &ours,
                                  const std::function<void()> &theirs)
{
    double best_ours = 1e9;
    double best_theirs = 1e9;
    for (int i = 0; i < rounds; ++i)
        best_ours = std::min(best_ours, seconds(ours));
    for (int i = 0; i < rounds; ++i)
        best_theirs = std::min(best_theirs, seconds(theirs));
    return {best_ours, best_theirs};
}

void report(const char *what, double bytes, double ours, double theirs)
{
    double mb = bytes / 1e6;
    std::printf("%-10s vesk %8.1f MB/s   cJSON %8.1f MB/s   ratio %.2f\n", what, mb / ours,
                mb / theirs, theirs / ours);
}

} // namespace

int main(int argc, char **argv)
{
    double megabytes = argc > 1 ? std::atof(argv[1]) : 5.0;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    size_t string_kib = argc > 3 ? static_cast<size_t>(std::atol(argv[3])) : 1024;
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string document = make_document(static_cast<size_t>(megabytes * 1e6));
    std::printf("document: %zu bytes, best of %d rounds\n", document.size(), rounds);

    json_value *ours = json_parse_mem(document.c_str());
    cJSON *theirs = cJSON_Parse(document.c_str());
    if (ours == nullptr || theirs == nullptr) {
        std::fprintf(stderr, "the document did not parse\n");
        return 1;
    }
    // Parse alone (each tree is released outside the timed part), then parse
    // with the release of the tree.
    json_value *parsed_ours = nullptr;
    cJSON *parsed_theirs = nullptr;
    double parse_ours = 1e9;
    double parse_theirs = 1e9;
    for (int i = 0; i < rounds; ++i) {
        parse_ours = std::min(parse_ours,
                              seconds([&] { parsed_ours = json_parse_mem(document.c_str()); }));
        json_value_free(parsed_ours);
    }
    for (int i = 0; i < rounds; ++i) {
        parse_theirs = std::min(parse_theirs,
                                seconds([&] { parsed_theirs = cJSON_Parse(document.c_str()); }));
        cJSON_Delete(parsed_theirs);
    }
    report("parse", static_cast<double>(document.size()), parse_ours, parse_theirs);
    auto parse_free = best_of(
        rounds, [&] { json_value_free(json_parse_mem(document.c_str())); },
        [&] { cJSON_Delete(cJSON_Parse(document.c_str())); });
    report("parse+free", static_cast<double>(document.size()), parse_free.first,
           parse_free.second);

    size_t written_ours = 0;
    size_t written_theirs = 0;
    auto print = best_of(
        rounds,
        [&] {
            char *text = json_serialize(ours);
            written_ours = std::strlen(text);
            std::free(text);
        },
        [&] {
            char *text = cJSON_PrintUnformatted(theirs);
            written_theirs = std::strlen(text);
            cJSON_free(text);
        });
    std::printf("serialized: vesk %zu bytes, cJSON %zu bytes\n", written_ours, written_theirs);
    report("serialize", static_cast<double>(document.size()), print.first, print.second);
    json_value_free(ours);
    cJSON_Delete(theirs);

    std::string long_string = "\"" + std::string(string_kib * 1024, 's') + "\"";
    auto string_time = best_of(
        rounds, [&] { json_value_free(json_parse_mem(long_string.c_str())); },
        [&] { cJSON_Delete(cJSON_Parse(long_string.c_str())); });
    std::printf("%zu KiB string: vesk %.2f ms   cJSON %.2f ms\n", string_kib,
                string_time.first * 1e3, string_time.second * 1e3);
    return 0;
}
