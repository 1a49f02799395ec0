// The fallback log file on Windows: in the host's own folder under
// %ProgramData%, where every user may add.
#include "log/fallback.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

const char *log_fallback_path(void) noexcept
{
    static char path[4096];
    static std::once_flag made;
    std::call_once(made, [] {
        const char *base = std::getenv("ProgramData");
        size_t length = base != nullptr ? std::strlen(base) : 0;
        // Only a drive's absolute path will do; anything else is the
        // system's usual place.
        bool usable = length >= 3 && length < sizeof path - 32 && base[1] == ':' &&
                      (base[2] == '\\' || base[2] == '/');
        while (usable && length > 3 && (base[length - 1] == '\\' || base[length - 1] == '/'))
            --length;
        if (!usable) {
            base = "C:\\ProgramData";
            length = std::strlen(base);
        }
        std::snprintf(path, sizeof path, "%.*s\\VESK\\ubrontex.log", static_cast<int>(length),
                      base);
    });
    return path;
}
