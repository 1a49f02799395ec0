/* A program of its own on the installed library, in C: built through
 * pkg-config and as a C-only CMake project (consumer.cpp is its C++ twin).
 * Reads a settings text, lists a folder by name and fetches pages:
 *   consumer URL FOLDER [FAILING_URL]
 * A failed fetch prints its result code; the library's diagnostics, its
 * cause among them, are printed by the sink this program sets. */
#include <stdio.h>
#include <stdlib.h>

#include <vesk/fs/filesystem.h>
#include <vesk/http/url.h>
#include <vesk/json/json.h>
#include <vesk/log/verbose.h>

static int print_entry(fs_dir *dir, fs_file *file, void *user_data)
{
    (void)dir;
    (void)user_data;
    printf("%s %s\n", file->is_dir ? "dir" : "file", file->name);
    return 0;
}

static void print_diagnostic(int level, const char *component, const char *text, void *data)
{
    (void)level;
    (void)data;
    printf("diagnostic %s: %s", component, text);
}

static void fetch(const char *text)
{
    url *u = url_new(text);
    char *body = NULL;
    int n = url_execute_get(u, &body, NULL, NULL);
    if (n >= 0)
        printf("GET %d %s\n", n, body != NULL ? body : "");
    else
        printf("GET failed %d\n", n);
    free(body);
    url_free(u);
}

int main(int argc, char **argv)
{
    verbose_set_sink(print_diagnostic, NULL);
    if (argc < 3) {
        fputs("usage: consumer URL FOLDER [FAILING_URL]\n", stderr);
        return 2;
    }
    json_value *settings =
        json_parse_mem("{'name': 'vesk', 'port': 9100, 'tags': ['host', 'jvm']}");
    if (settings == NULL)
        return 1;
    printf("json name=%s port=%d tags=%d\n", json_object_get_string(settings, "name"),
           json_object_get_int(settings, "port"),
           json_array_length(json_object_find(settings, "tags")));
    json_value_free(settings);

    fs_dir *dir = fs_dir_new(argv[2]);
    if (dir == NULL)
        return 1;
    int count = fs_dir_name_sorted_iter(dir, print_entry, 0, NULL);
    fs_dir_free(dir);
    printf("walk %d\n", count);

    fetch(argv[1]);
    if (argc > 3)
        fetch(argv[3]);
    return 0;
}
