// How the host tells the operator what it cannot use or why it stops: on
// standard error at once (a service's journal, with the line's priority),
// and in the day's log at the same level once logger is set.
#ifndef HOST_DETAIL_NOTICE_HPP
#define HOST_DETAIL_NOTICE_HPP

#include "host/service_config.h"
#include "log/verbose.h"

namespace ub::detail {

// Tells line, a text without its line feed, at level.
inline void tell_line(int level, const char *line) noexcept
{
    verbose_console(level, "%s\n", line);
    verbose_in(&logger, level, "%s\n", line);
}

} // namespace ub::detail

#endif
