// Directory walks and old-file deletion beside the plain ways of doing the
// same work:
// - deleting the old half of N files in one directory with execute_delete,
//   beside find -maxdepth 1 -name -mtime -delete on an identical directory;
// - a name-sorted walk of N entries, beside readdir + fstatat + std::sort.
// Run by hand: build/bench/fs_bench [entries] [rounds]
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "fs/delete.h"
#include "fs/filesystem.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int old_days = 30;
constexpr int limit_days = 10;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// N empty files named app_NNNNNN.log; every second one is old_days old.
void fill(const fs::path &dir, int entries)
{
    fs::create_directories(dir);
    time_t old_time = std::time(nullptr) - old_days * 86400L;
    timespec old_times[2] = {{old_time, 0}, {old_time, 0}};
    char name[32];
    for (int i = 0; i < entries; ++i) {
        std::snprintf(name, sizeof name, "app_%06d.log", i);
        std::string path = (dir / name).string();
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || close(fd) != 0 ||
            (i % 2 == 0 && utimensat(AT_FDCWD, path.c_str(), old_times, 0) != 0)) {
            std::perror(path.c_str());
            std::exit(1);
        }
    }
}

size_t count_entries(const fs::path &dir)
{
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

void bench_delete(const fs::path &root, int entries, int rounds)
{
    std::vector<double> ours;
    std::vector<double> find;
    for (int round = 0; round < rounds; ++round) {
        fs::path a = root / "delete_a";
        fs::path b = root / "delete_b";
        fill(a, entries);
        fill(b, entries);

        auto start = Clock::now();
        int removed = execute_delete(a.c_str(), "app_", ".log", limit_days, 0, nullptr, 0);
        ours.push_back(seconds_since(start));

        std::string command = "find '" + b.string() + "' -maxdepth 1 -name 'app_*.log' -mtime +" +
                              std::to_string(limit_days) + " -delete";
        start = Clock::now();
        int status = std::system(command.c_str());
        find.push_back(seconds_since(start));

        size_t left_a = count_entries(a);
        size_t left_b = count_entries(b);
        if (removed != entries - entries / 2 || status != 0 || left_a != left_b) {
            std::fprintf(stderr, "delete: removed %d, find status %d, left %zu and %zu\n", removed,
                         status, left_a, left_b);
            std::exit(1);
        }
        fs::remove_all(a);
        fs::remove_all(b);
    }
    double t_ours = median(ours);
    double t_find = median(find);
    std::printf("delete old half of %d files: execute_delete %.3f s, find %.3f s, ratio %.2f\n",
                entries, t_ours, t_find, t_ours / t_find);
}

struct Visit {
    size_t count = 0;
    int64_t bytes = 0;
    int64_t first_char_sum = 0;
};

int visit_entry(fs_dir *, fs_file *file, void *user_data)
{
    auto *visit = static_cast<Visit *>(user_data);
    ++visit->count;
    visit->bytes += file->size;
    visit->first_char_sum += static_cast<unsigned char>(file->name[visit->count % 8]);
    return 0;
}

struct Plain {
    std::string name;
    int64_t time;
    int64_t size;
    bool is_dir;
};

Visit plain_sorted_walk(const fs::path &dir)
{
    std::vector<Plain> entries;
    DIR *stream = opendir(dir.c_str());
    while (const dirent *entry = readdir(stream)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat info {};
        fstatat(dirfd(stream), entry->d_name, &info, AT_SYMLINK_NOFOLLOW);
        entries.push_back({entry->d_name, info.st_mtime, info.st_size, S_ISDIR(info.st_mode)});
    }
    closedir(stream);
    std::sort(entries.begin(), entries.end(),
              [](const Plain &x, const Plain &y) { return x.name < y.name; });
    Visit visit;
    for (const Plain &entry : entries) {
        ++visit.count;
        visit.bytes += entry.size;
        visit.first_char_sum += static_cast<unsigned char>(entry.name[visit.count % 8]);
    }
    return visit;
}

void bench_sorted_walk(const fs::path &root, int entries, int rounds)
{
    fs::path dir = root / "walk";
    fill(dir, entries);
    std::vector<double> ours;
    std::vector<double> plain;
    for (int round = 0; round < rounds; ++round) {
        Visit visit;
        auto start = Clock::now();
        fs_dir *listing = fs_dir_new(dir.c_str());
        fs_dir_name_sorted_iter(listing, visit_entry, 0, &visit);
        fs_dir_free(listing);
        ours.push_back(seconds_since(start));

        start = Clock::now();
        Visit expected = plain_sorted_walk(dir);
        plain.push_back(seconds_since(start));
        if (visit.count != expected.count || visit.first_char_sum != expected.first_char_sum) {
            std::fprintf(stderr, "sorted walk: %zu entries, plain walk %zu\n", visit.count,
                         expected.count);
            std::exit(1);
        }
    }
    fs::remove_all(dir);
    double t_ours = median(ours);
    double t_plain = median(plain);
    std::printf("name-sorted walk of %d entries: fs_dir_name_sorted_iter %.3f s, "
                "readdir+fstatat+std::sort %.3f s, ratio %.2f\n",
                entries, t_ours, t_plain, t_ours / t_plain);
}

} // namespace

int main(int argc, char **argv)
{
    int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (entries < 2 || rounds < 1) {
        std::fprintf(stderr, "usage: fs_bench [entries >= 2] [rounds >= 1]\n");
        return 2;
    }
    std::string pattern = (fs::temp_directory_path() / "fs-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    fs::path root = pattern;
    bench_delete(root, entries, rounds);
    bench_sorted_walk(root, entries, rounds);
    fs::remove_all(root);
    return 0;
}
