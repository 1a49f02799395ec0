// Where the JVM's library may be on Windows: %JAVA_HOME%, the runtime the
// registry names, then a runtime beside the executable. Every place is a
// full path: never a bare name through the library search, which would
// take a jvm.dll from the working folder or PATH.
#include "jvm/detail/jvm_places.hpp"

#include <cstdlib>

#include "platform/platform.h"

namespace ub::detail {

namespace {

// The RuntimeLib of the current version under HKLM\SOFTWARE\JavaSoft\<kind>;
// "" when absent.
std::string registry_runtime(const char *kind)
{
    std::string key = std::string("SOFTWARE\\JavaSoft\\") + kind;
    char version[256];
    char runtime[PLATFORM_PATH_MAX];
    if (platform_registry_text(key.c_str(), "CurrentVersion", version, sizeof version) != 0 ||
        version[0] == '\0' ||
        platform_registry_text((key + "\\" + version).c_str(), "RuntimeLib", runtime,
                               sizeof runtime) != 0)
        return std::string();
    return runtime;
}

} // namespace

std::vector<JvmPlace> jvm_library_places(const char *)
{
    std::vector<JvmPlace> places;
    auto add = [&places](bool named, const std::string &path) {
        if (!path.empty())
            places.push_back({named, path});
    };
    const char *home = std::getenv("JAVA_HOME");
    if (home != nullptr && home[0] != '\0') {
        add(true, std::string(home) + "\\bin\\server\\jvm.dll");
        // A JDK 8 keeps its runtime one level down; a newer one has no such
        // folder, so its absence is no news.
        add(false, std::string(home) + "\\jre\\bin\\server\\jvm.dll");
    }
    add(true, registry_runtime("JDK"));
    add(true, registry_runtime("JRE"));
    char dir[PLATFORM_PATH_MAX];
    if (platform_executable_dir(dir, sizeof dir) == 0) {
        add(false, std::string(dir) + "\\jre\\bin\\server\\jvm.dll");
        add(false, std::string(dir) + "\\jre\\bin\\client\\jvm.dll");
    }
    return places;
}

const char *const jvm_runtime_libraries[] = {"msvcr100.dll",     "msvcr120.dll",
                                             "vcruntime140.dll", "vcruntime140_1.dll",
                                             "msvcp140.dll",     nullptr};

} // namespace ub::detail
