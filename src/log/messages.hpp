// The support library's messages, for the modules that write them: each row
// of log/messages.def becomes a record ub::messages::<id> of its component,
// level, route and text, and verbose_message writes one. Not installed: it
// is how the library's own sources write, not part of its interface.
#ifndef LOG_MESSAGES_HPP
#define LOG_MESSAGES_HPP

#include "log/verbose.h"

namespace ub::messages {

#define VESK_MESSAGE(id, component_, level_, route_, text_)                                        \
    struct id {                                                                                    \
        static constexpr char component[] = component_;                                            \
        static constexpr int level = VERBOSE_##level_;                                             \
        static constexpr int route = VERBOSE_ROUTE_##route_;                                       \
        static constexpr char text[] = text_;                                                      \
    };
#include "log/messages.def"
#undef VESK_MESSAGE

} // namespace ub::messages

// Writes the message id (a VESK_MSG_ row of log/messages.def) with the
// arguments its text takes, through verbose_diagnostic (its result). The
// text reaches verbose_diagnostic as a constant, so the compiler checks the
// arguments against it as against a literal format.
#define verbose_message(id, ...)                                                                   \
    verbose_diagnostic(ub::messages::id::route, ub::messages::id::level,                           \
                       ub::messages::id::component,                                                \
                       ub::messages::id::text __VA_OPT__(, ) __VA_ARGS__)

#endif
