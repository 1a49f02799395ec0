#ifndef JVM_DETAIL_JVM_PLACES_HPP
#define JVM_DETAIL_JVM_PLACES_HPP
// Where the JVM's library may be, per system: the one rule of the tree on
// where Java lives.

#include <string>
#include <vector>

namespace ub::detail {

// One place to look for the JVM's library.
struct JvmPlace {
    bool named;       // named by the system's configuration (JAVA_HOME, the registry),
                      // so a failure there is news; else a usual place, tried whether
                      // or not anything is there
    std::string path; // the library's full path
};

// The places to look, in the order to try them; build_java_home is the JDK
// the host was built with ("" for none). May throw std::bad_alloc.
std::vector<JvmPlace> jvm_library_places(const char *build_java_home);

// The C runtime libraries that a Java runtime keeps in its bin folder, the
// folder above its library's, to be loaded from there first (as the java
// launcher does); ended by NULL, and empty where the system needs none.
extern const char *const jvm_runtime_libraries[];

} // namespace ub::detail

#endif
