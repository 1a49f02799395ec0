// The class and library paths as the host hands them to the JVM: folder
// wildcards expanded as the java launcher expands them, elements that others
// may change left out, and each element the JVM cannot use told.
#ifndef HOST_DETAIL_CLASS_PATH_HPP
#define HOST_DETAIL_CLASS_PATH_HPP

#include <string>

namespace ub::detail {

// class_path with each element "*", or a folder, a separator and "*",
// replaced by that folder's .jar and .JAR files in name order; one whose
// folder holds none stays as it is. An element, a wildcard's folder or one
// of its jars that someone other than the system and the effective user may
// change (log/trust.h) is left out, told at WARN as "Entrada do CLASSPATH
// ignorada: ..."; a missing one stays. Throws std::bad_alloc.
std::string expand_class_path(const char *class_path);

// library_path without the elements that someone other than the system and
// the effective user may change, each told at WARN as "Entrada do
// LIBRARY_PATH ignorada: ..."; a missing one stays. Throws std::bad_alloc.
std::string trusted_library_path(const char *library_path);

// Tells, at WARN on standard error and in the host's log, each element of
// an expanded class path that the JVM cannot use: missing, unreadable by
// the process's user, or a wildcard whose folder holds no jar. Empty
// elements are left alone. Throws std::bad_alloc.
void warn_class_path(const std::string &expanded);

} // namespace ub::detail

#endif
