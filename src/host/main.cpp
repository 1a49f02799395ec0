// Process entry of the service host.
#include <cstdio>

#include "host/crash.h"
#include "host/readiness.h"
#include "host/service_manager.h"
#include "host/usage.h"
#include "host/veskserver.h"
#include "log/verbose.h"
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
    // --version and --help: the only single words that start nothing.
    status = vesk_usage_command(argc, argv);
    if (status != VESK_USAGE_NONE)
        return status;
    if (argc <= 1) {
        vesk_usage_write(stderr, argc > 0 && argv[0] != nullptr ? argv[0] : "vesk");
        return VESK_NO_JVM;
    }
    if (argc > 2 && argc % 2 == 0) {
        verbose_console(VERBOSE_ERROR, "Parametros devem vir em pares.\n\n");
        return VESK_NO_SERVER;
    }
    status = vesk_start(argc, argv);
    if (status != VESK_OK)
        return status;
    readiness_ready();
    // The Java server works on its own threads; this thread only keeps the
    // process alive until it is ended from outside, keeps the service
    // manager's status line current and bounds a crash report.
    for (;;) {
        ub_sleep(1000);
        readiness_watch();
        crash_watch();
    }
}
