// Where the system has no service manager of the host's (POSIX, whose init
// system starts the host as any program): the host runs from its command
// line only.
#include "host/service_manager.h"

int vesk_service_supported(void) noexcept
{
    return 0;
}

int vesk_service_run(int, char **) noexcept
{
    return VESK_SERVICE_NONE;
}

int vesk_service_command(int, char **) noexcept
{
    return VESK_SERVICE_NONE;
}
