#ifndef PLATFORM_DETAIL_POSIX_FILES_HPP
#define PLATFORM_DETAIL_POSIX_FILES_HPP
// What the POSIX sources of the layer share.

namespace platform_posix {

// openat(folder, name, flags), again while interrupted.
int open_node_at(int folder, const char *name, int flags);

} // namespace platform_posix

#endif
