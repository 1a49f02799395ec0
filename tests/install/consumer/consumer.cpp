// A program of its own on the installed library, in C++ (the C twin is
// consumer.c, whose output it repeats): the caller-owned results held by
// smart pointers. It links libcurl and initialises it itself, as programs
// written before the library loaded libcurl on its own did: they keep
// working.
//   consumer URL FOLDER [FAILING_URL]
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <vesk/fs/filesystem.h>
#include <vesk/http/url.h>
#include <vesk/json/json.h>

namespace {

struct Release {
    void operator()(json_value *value) const { json_value_free(value); }
    void operator()(fs_dir *dir) const { fs_dir_free(dir); }
    void operator()(url *record) const { url_free(record); }
    void operator()(char *text) const { std::free(text); }
};
template <typename T>
using Owned = std::unique_ptr<T, Release>;

void fetch(const char *text)
{
    Owned<url> u(url_new(text));
    char *body = nullptr;
    int n = url_execute_get(u.get(), &body, nullptr, nullptr);
    Owned<char> owned(body);
    if (n >= 0)
        std::printf("GET %d %s\n", n, owned ? owned.get() : "");
    else
        std::printf("GET failed %d\n", n);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fputs("usage: consumer URL FOLDER [FAILING_URL]\n", stderr);
        return 2;
    }
    Owned<json_value> settings(
        json_parse_mem("{'name': 'vesk', 'port': 9100, 'tags': ['host', 'jvm']}"));
    if (!settings)
        return 1;
    std::printf("json name=%s port=%d tags=%d\n", json_object_get_string(settings.get(), "name"),
                json_object_get_int(settings.get(), "port"),
                json_array_length(json_object_find(settings.get(), "tags")));

    Owned<fs_dir> dir(fs_dir_new(argv[2]));
    if (!dir)
        return 1;
    int count = fs_dir_name_sorted_iter(
        dir.get(),
        [](fs_dir *, fs_file *file, void *) {
            std::printf("%s %s\n", file->is_dir ? "dir" : "file", file->name);
            return 0;
        },
        0, nullptr);
    std::printf("walk %d\n", count);

    curl_global_init(CURL_GLOBAL_DEFAULT);
    fetch(argv[1]);
    if (argc > 3)
        fetch(argv[3]);
    curl_global_cleanup();
    return 0;
}
