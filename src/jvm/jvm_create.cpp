// The JVM's entry looked up in the JVM's library when the JVM starts. The
// platform layer names the places in order (JAVA_HOME first, then where the
// system keeps its Java, then the JDK the host was built with); the first
// library that loads and exports the entry is used. Every place that fails
// goes to the day's log with its reason, and the one used is logged too, so
// that an operator sees which Java runs.
#include "jvm/detail/jvm_create.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "log/verbose.h"
#include "platform/platform.h"

namespace {

using CreateJavaVM = decltype(&JNI_CreateJavaVM);

void *find_entry()
{
    std::unique_ptr<char, decltype(&std::free)> paths(platform_jvm_library_paths(VESK_BUILD_JAVA_HOME),
                                                      &std::free);
    if (paths == nullptr)
        return nullptr;
    for (const char *path = paths.get(); *path != '\0'; path += std::strlen(path) + 1) {
        char reason[512];
        void *library = platform_library_open_reason(path, reason, sizeof reason);
        if (library == nullptr) {
            verbose(stdout, "JVM nao carregada de (%s): %s\n", path, reason);
            continue;
        }
        void *entry = platform_library_symbol(library, "JNI_CreateJavaVM");
        if (entry == nullptr) {
            verbose(stdout, "Metodo '%s' nao localizado em '%s'.\n", "JNI_CreateJavaVM", path);
            continue;
        }
        verbose(stdout, "JVM carregada de (%s)\n", path);
        return entry;
    }
    return nullptr;
}

} // namespace

namespace ub::detail {

jint create_java_vm(JavaVM **jvm, void **env, void *args) noexcept
{
    void *entry = find_entry();
    if (entry == nullptr)
        return JNI_ERR;
    return reinterpret_cast<CreateJavaVM>(entry)(jvm, env, args);
}

} // namespace ub::detail
