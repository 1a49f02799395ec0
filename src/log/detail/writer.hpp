// What the day's writer shares with its budget and the diagnostics router:
// the append of a line to an open file, and the writing of a line to the
// day's file or the fallback file.
#ifndef LOG_DETAIL_WRITER_HPP
#define LOG_DETAIL_WRITER_HPP

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include "log/detail/line.hpp"

namespace ub::detail {

// What became of a line.
enum class Outcome { written, dropped, not_opened, not_written };

// Whether a file ends in a piece of a line cut short by a failed write:
// the key of the file that does (a day, yyyymmdd), or 0. The next text
// written to that file starts on a line of its own, so a cut line never
// runs into the next one.
extern std::atomic<int32_t> day_cut;
extern std::atomic<int32_t> fallback_cut;
constexpr int32_t fallback_key = 1;

// Writes lead and then text (lead may be empty), after a line feed when
// the file (key) ends in a cut line; all go out in one write. A partial
// write leaves a cut line behind, and a write that put nothing out leaves a
// pending one in place.
int append_line(int fd, std::atomic<int32_t> &cut, int32_t key, const Line &lead, const Line &text);

// Writes one line (tag NULL for none; continuations as verbose_block) to
// the day's file, or to the fallback file when that cannot be opened; the
// result as vverbose's.
int write_line(const char *tag, bool continuations, const char *format, va_list args);

} // namespace ub::detail

#endif
