// Process entry of the service host.
#include <cstdio>

#include "host/service_manager.h"
#include "host/veskserver.h"
#include "options/getopts.h"
#include "util/vesk_utils.h"

int main(int argc, char **argv)
{
    // Windows: a start by the service manager, then the words install and
    // uninstall; elsewhere, and for any other start, the host as a program.
    // The service comes first, so that its kept pairs are never taken for
    // a command.
    int status = vesk_service_run(argc, argv);
    if (status == VESK_SERVICE_NONE)
        status = vesk_service_command(argc, argv);
    if (status != VESK_SERVICE_NONE)
        return status;
    const char *program = argc > 0 && argv[0] != nullptr ? argv[0] : "vesk";
    if (argc <= 1) {
        ub_help_header2(program, "VESK - Service", VESK_VERSION_MAJOR, VESK_VERSION_MINOR,
                        VESK_VERSION_PATCH, VESK_REVISION, VESK_BUILD_TIME);
        std::fprintf(stderr, "Uso:\n");
        std::fprintf(stderr, "\t$ %s <Param 1> <Val 1> ... <Param N> <Val N>\n", program);
        std::fprintf(stderr, "\n");
        return VESK_NO_JVM;
    }
    if (argc > 2 && argc % 2 == 0) {
        std::fprintf(stderr, "Parametros devem vir em pares.\n\n");
        return VESK_NO_SERVER;
    }
    status = vesk_start(argc, argv);
    if (status != VESK_OK)
        return status;
    // The Java server works on its own threads; this thread only keeps the
    // process alive until it is ended from outside.
    for (;;)
        ub_sleep(1000);
}
