// Where the JVM's library may be on POSIX: $JAVA_HOME, the system's default
// Java, then the JDK the host was built with.
#include "jvm/detail/jvm_places.hpp"

#include <cstdlib>

namespace ub::detail {

std::vector<JvmPlace> jvm_library_places(const char *build_java_home)
{
    static const char library[] = "/lib/server/libjvm.so";
    std::vector<JvmPlace> places;
    auto add = [&places](bool named, const char *home) {
        if (home != nullptr && home[0] != '\0')
            places.push_back({named, std::string(home) + library});
    };
    add(true, std::getenv("JAVA_HOME"));
    add(false, "/usr/lib/jvm/default-java");
    add(false, build_java_home);
    return places;
}

const char *const jvm_runtime_libraries[] = {nullptr};

} // namespace ub::detail
