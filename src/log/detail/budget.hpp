// The budget of each log file: what the day's writer asks of it.
#ifndef LOG_DETAIL_BUDGET_HPP
#define LOG_DETAIL_BUDGET_HPP

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "log/detail/writer.hpp"
#include "log/verbose.h"

namespace ub::detail {

// The budget of each file. It is judged by the file's size as opened,
// which every process writing the file sees, so that no number of
// processes, nor restarts, take a day's file past it: a line that starts
// under the budget is written, up to VERBOSE_BUDGET_ROOM past it; at the
// budget, lines are dropped, and one marker line in the file says so.
constexpr int64_t budget = VERBOSE_BUDGET;

// Whether a line of size bytes, written to a file of held bytes (under the
// budget), would take it past the budget's room.
bool too_long(int64_t held, size_t size);

// Adds count to the characters written, without wrapping past INT32_MAX.
void charge(size_t count);

// Drops a line at the day's file's budget, counting it for the next day's
// report. The process's first drop of the day tells standard error and
// marks the file.
Outcome drop_for_day(int fd, int64_t held, const struct tm &local, const char *name);

// Writes the line to a day's file under its budget, led by the report of
// earlier days' drops when one is due (one write); a line that would take
// the file past the budget's room is replaced by a short line saying so.
Outcome write_day_under_budget(int fd, int64_t held, const struct tm &local, const Line &line);

// Drops a line at the fallback file's budget (it never rotates); the
// process's first drop of the day tells standard error and marks the file.
Outcome drop_for_fallback(int fd, int64_t held, const struct tm &local);

} // namespace ub::detail

#endif
