// The fallback log file on POSIX: in /tmp, where every user may write.
#include "log/fallback.h"

const char *log_fallback_path(void) noexcept
{
    return "/tmp/ubrontex.log";
}
