#ifndef LOG_DETAIL_FALLBACK_HPP
#define LOG_DETAIL_FALLBACK_HPP
// The file that takes log lines when the daily log cannot be opened, and the
// rules of the place where it lives, per system.

#include <cstdint>

namespace ub::detail {

// Path of the fallback file: /tmp/ubrontex.log; on Windows
// %ProgramData%\VESK\ubrontex.log (C:\ProgramData when the variable names no
// drive's absolute path), read at the first call. Constant.
const char *fallback_path() noexcept;

// Opens the fallback file at path (fallback_path()'s form on this system)
// for appending. It lives where every user may write, so only what no one
// else can have laid there is taken: on POSIX a plain file of the effective
// user's own with one name, never through a link; on Windows the host's own
// folder, made private when missing, that only the system and the
// process's user may change, and in it a plain file of one name that no one
// else may change. The descriptor, or -1 when it cannot be opened or is
// refused; *size, when not null, receives the file's size as opened.
int open_fallback(const char *path, int64_t *size) noexcept;

} // namespace ub::detail

#endif
