// The JVM's entry looked up in jvm.dll when the JVM starts: first in a Java
// runtime shipped beside the executable (jre\bin\server, then
// jre\bin\client), then through the system's library search (the
// executable's folder, the system folders, the current folder, PATH).
#include "jvm/detail/jvm_create.hpp"

#include <cstdio>

#include "platform/platform.h"

namespace {

using CreateJavaVM = decltype(&JNI_CreateJavaVM);

void *open_jvm_library()
{
    static const char *const bundled[] = {"jre\\bin\\server\\jvm.dll", "jre\\bin\\client\\jvm.dll"};
    char dir[PLATFORM_PATH_MAX];
    if (platform_executable_dir(dir, sizeof dir) == 0) {
        for (const char *relative : bundled) {
            char path[PLATFORM_PATH_MAX];
            int length = std::snprintf(path, sizeof path, "%s%c%s", dir, PLATFORM_PATH_SEP, relative);
            void *library = nullptr;
            if (length > 0 && static_cast<size_t>(length) < sizeof path)
                library = platform_library_open(path, nullptr);
            if (library != nullptr)
                return library;
        }
    }
    return platform_library_open("jvm.dll", nullptr);
}

} // namespace

namespace ub::detail {

jint create_java_vm(JavaVM **jvm, void **env, void *args) noexcept
{
    void *entry = platform_library_symbol(open_jvm_library(), "JNI_CreateJavaVM");
    if (entry == nullptr)
        return JNI_ERR;
    return reinterpret_cast<CreateJavaVM>(entry)(jvm, env, args);
}

} // namespace ub::detail
