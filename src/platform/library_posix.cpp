// Shared libraries loaded at run time: the POSIX side.
#include "platform/library.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

void *platform_library_open(const char *path, int *error) noexcept
{
    if (path == nullptr) {
        if (error != nullptr)
            *error = EINVAL;
        return nullptr;
    }
    errno = 0;
    void *library = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    if (library == nullptr && error != nullptr)
        *error = errno != 0 ? errno : -1;
    return library;
}

void *platform_library_symbol(void *library, const char *name) noexcept
{
    if (library == nullptr || name == nullptr)
        return nullptr;
    return dlsym(library, name);
}

void platform_library_close(void *library) noexcept
{
    if (library != nullptr)
        dlclose(library);
}

namespace {

void set_why(platform_library_why *why, int failure, int error, const char *text)
{
    if (why == nullptr)
        return;
    why->failure = failure;
    why->error = error;
    std::snprintf(why->text, sizeof why->text, "%s", text);
}

} // namespace

void *platform_library_open_why(const char *path, platform_library_why *why) noexcept
{
    if (path == nullptr) {
        set_why(why, PLATFORM_LIBRARY_MISSING, EINVAL, "");
        return nullptr;
    }
    void *library = dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    if (library != nullptr)
        return library;
    const char *text = dlerror();
    // The loader says the same of a missing library and of a missing
    // dependency; whether the file is there tells the two apart.
    struct stat status;
    if (text == nullptr ||
        (std::strchr(path, '/') != nullptr && stat(path, &status) != 0 && errno == ENOENT)) {
        set_why(why, PLATFORM_LIBRARY_MISSING, ENOENT, "");
        return nullptr;
    }
    // The loader's message starts with the name of the library it is about.
    size_t length = std::strlen(path);
    if (std::strncmp(text, path, length) == 0 && text[length] == ':')
        text += text[length + 1] == ' ' ? length + 2 : length + 1;
    set_why(why, PLATFORM_LIBRARY_FAILED, 0, text);
    return nullptr;
}

void *platform_library_open_node(int node, platform_library_why *why) noexcept
{
    // The loader maps the very file the descriptor holds, whatever happens
    // to its path meanwhile. The name it keeps is that of a descriptor of
    // its own, held open for good: a library may resolve it to find its home.
    int held = fcntl(node, F_DUPFD_CLOEXEC, 0);
    if (held < 0) {
        set_why(why, PLATFORM_LIBRARY_FAILED, errno, std::strerror(errno));
        return nullptr;
    }
    char path[32];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", held);
    void *library = platform_library_open_why(path, why);
    if (library == nullptr)
        close(held);
    return library;
}

void platform_library_preload(const char *folder, const char *const *names) noexcept
{
    if (folder == nullptr || names == nullptr)
        return;
    try {
        for (; *names != nullptr; ++names) {
            std::string path = std::string(folder) + "/" + *names;
            if (access(path.c_str(), F_OK) == 0)
                dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
        }
    } catch (const std::bad_alloc &) {
        // The load that needs them reports what is missing.
    }
}

void platform_library_search_restrict(void) noexcept {}
