// The class path as the host hands it to the JVM: folder wildcards expanded
// as the java launcher expands them, and each element judged first.
#ifndef HOST_DETAIL_CLASS_PATH_HPP
#define HOST_DETAIL_CLASS_PATH_HPP

#include <string>

namespace ub::detail {

// class_path with each element "*", or a folder, a separator and "*",
// replaced by that folder's .jar and .JAR files in name order; one whose
// folder holds none stays as it is. Throws std::bad_alloc.
std::string expand_class_path(const char *class_path);

// Tells, at WARN on standard error and in the host's log, each element of
// an expanded class path that the JVM cannot use: missing, unreadable by
// the process's user, or a wildcard whose folder holds no jar. Empty
// elements are left alone. Throws std::bad_alloc.
void warn_class_path(const std::string &expanded);

} // namespace ub::detail

#endif
