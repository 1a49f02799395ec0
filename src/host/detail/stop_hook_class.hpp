// The class file of the host's shutdown hook (StopHook.java), compiled by
// the build and carried in the executable.
#ifndef HOST_DETAIL_STOP_HOOK_CLASS_HPP
#define HOST_DETAIL_STOP_HOOK_CLASS_HPP

#include <cstddef>

namespace ub::detail {

extern const unsigned char stop_hook_class[];
extern const std::size_t stop_hook_class_size;

} // namespace ub::detail

#endif
