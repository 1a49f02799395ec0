#ifndef LOG_DETAIL_FALLBACK_HPP
#define LOG_DETAIL_FALLBACK_HPP
// The fallback file's rules, per system.

#include <cstdint>

namespace ub::detail {

// Opens the fallback file at path (log_fallback_path()'s form on this
// system) for appending, under the rules of a place where every user may
// write; the descriptor, or -1 when it cannot be opened or is refused.
// *size, when not null, receives the file's size as opened.
int open_fallback(const char *path, int64_t *size);

} // namespace ub::detail

#endif
