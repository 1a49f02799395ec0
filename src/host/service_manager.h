#ifndef HOST_SERVICE_MANAGER_H
#define HOST_SERVICE_MANAGER_H
/* The host as a service of the system's service manager (Windows): run
 * when the manager starts it, stopped through the Java side's own
 * shutdown, and registered or removed with the words install and
 * uninstall. Built for Windows; elsewhere a stand-in says there is no
 * service manager. */

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: argc and argv are main's; results are process exit statuses,
 * or VESK_SERVICE_NONE when the call does not apply and main goes on as a
 * program started from a command line. Messages are written to the
 * standard streams (and, for the service, to the day's log). */

enum {
    VESK_SERVICE_NONE = -1,         /* not a service, not a service command */
    VESK_SERVICE_STOP_SECONDS = 25, /* default bound for a stop (STOP_TIMEOUT), below the
                                        30 s an installer waits for the service to stop */
    VESK_SERVICE_RESTART_MS = 5000  /* delay before the manager restarts after a crash */
};

/* Name and display name of the service. */
#define VESK_SERVICE_NAME "vesk"
#define VESK_SERVICE_DISPLAY_NAME "VESK - Service"

/* 1 where the system has a service manager that the host works with
 * (Windows); 0 elsewhere, where the two calls below return
 * VESK_SERVICE_NONE. */
int vesk_service_supported(void) UB_NOEXCEPT;

/* Runs the process as the service when the manager started it, in the
 * folder of the executable, with the <Param> <Val> pairs of argv followed
 * by those of the start parameters (optional STOP_TIMEOUT: seconds a stop
 * may take before the host ends the process itself). The launch status
 * (2 or 3) when the launch failed, after STOPPED with it as the
 * service-specific code; never returns once the service ran and stopped,
 * nor when a failed entry call left the JVM running (the process ends on
 * the JVM's exit, or at the bound). VESK_SERVICE_NONE at once when the
 * process was started any other way; 3 when the manager started it but the
 * process could not connect to it. */
int vesk_service_run(int argc, char **argv) UB_NOEXCEPT;

/* Statuses of install and uninstall (2 and 3 are the launch's). */
enum vesk_service_status {
    VESK_SERVICE_DONE = 0,
    VESK_SERVICE_FAILED = 1,    /* any other failure, with the system's error number */
    VESK_SERVICE_DENIED = 4,    /* not an administrator */
    VESK_SERVICE_EXISTS = 5,    /* install: already installed */
    VESK_SERVICE_MISSING = 6,   /* uninstall: not installed */
    VESK_SERVICE_PENDING = 7,   /* marked for removal, which ends once it stops:
                                 uninstall did not see it stop in 60 s, or
                                 install found it so */
    VESK_SERVICE_NAME_TAKEN = 8 /* install: another service has the display name */
};

/* Carries out "install [<Param> <Val> ...]" or "uninstall" when argv[1] is
 * one of them and the system has a service manager, with a message on
 * standard output (done) or standard error: a vesk_service_status, or 3 for
 * words not in pairs (install) or any word after uninstall.
 * VESK_SERVICE_NONE otherwise. */
int vesk_service_command(int argc, char **argv) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
