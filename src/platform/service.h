#ifndef PLATFORM_SERVICE_H
#define PLATFORM_SERVICE_H
/* The system's service manager (Windows), for the host that runs as a
 * service. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Windows only: POSIX has no service manager of this kind (an init system
 * starts the program as any other), and these functions are built for
 * Windows alone. One service per process, of its own process. */

/* Results of the service functions. */
enum platform_service_result {
    PLATFORM_SERVICE_OK = 0,
    PLATFORM_SERVICE_REMOVED_ON_STOP = 1, /* uninstall: marked for removal, still running */
    PLATFORM_SERVICE_NOT_A_SERVICE = -2,  /* the manager did not start this process */
    PLATFORM_SERVICE_DENIED = -3,         /* the manager refused: not an administrator */
    PLATFORM_SERVICE_EXISTS = -4,         /* a service of that name exists */
    PLATFORM_SERVICE_MISSING = -5,        /* no service of that name */
    PLATFORM_SERVICE_FAILED = -6,         /* any other failure */
    PLATFORM_SERVICE_BEING_REMOVED = -7,  /* install: the service of that name awaits removal */
    PLATFORM_SERVICE_NAME_TAKEN = -8      /* install: another service has the display name */
};

/* States a service reports, in Windows' numbering. */
enum platform_service_state {
    PLATFORM_SERVICE_STOPPED = 1,
    PLATFORM_SERVICE_START_PENDING = 2,
    PLATFORM_SERVICE_STOP_PENDING = 3,
    PLATFORM_SERVICE_RUNNING = 4
};

/* Exit code of a STOPPED service that ended its process after its bound
 * for stopping was reached (reported as the system's timeout error). */
#define PLATFORM_SERVICE_EXIT_TIMEOUT (-1)

/* The service's body, on a thread of the manager's: argv[0] is the service
 * name, argv[1..] the start parameters (borrowed for the call). */
typedef void (*platform_service_main_fn)(int argc, char **argv, void *context);

/* Asks the service to stop (the manager's STOP or SHUTDOWN), on the
 * dispatcher's thread; it must return at once. */
typedef void (*platform_service_stop_fn)(void *context);

/* Runs the process as the service name when the service manager started it:
 * calls main, and stop on each stop request, and returns once the service
 * reported STOPPED. PLATFORM_SERVICE_OK then; PLATFORM_SERVICE_NOT_A_SERVICE
 * at once when the process was started any other way (its parent is not the
 * manager, or the manager does not know it); PLATFORM_SERVICE_FAILED. */
int platform_service_dispatch(const char *name, platform_service_main_fn main,
                              platform_service_stop_fn stop, void *context) UB_NOEXCEPT;

/* Tells the manager the service's state: exit_code (for STOPPED) is 0, a
 * service-specific code above 0, or PLATFORM_SERVICE_EXIT_TIMEOUT;
 * wait_hint_ms (for the pending states) is how long until the next report.
 * Each pending report advances the progress checkpoint; STOP and SHUTDOWN
 * are accepted only while RUNNING. 0; -1 when not running as a service or
 * the manager refuses. Callers serialise their reports. */
int platform_service_report(int state, int32_t exit_code, uint32_t wait_hint_ms) UB_NOEXCEPT;

/* Registers the running executable as the service name (display_name),
 * started automatically at boot, with the count words as its command line
 * (each quoted as the C runtime splits it back) and, after a crash (the
 * process ended without reporting STOPPED), restarted after
 * restart_delay_ms, but not after a STOPPED with an exit code. The result
 * code; *error (when not NULL) the system's error number, 0 on success. */
int platform_service_install(const char *name, const char *display_name, char *const *words,
                             int count, uint32_t restart_delay_ms, int *error) UB_NOEXCEPT;

/* Stops the service name when it runs (waiting while it reports progress,
 * 60 s at most) and removes it. PLATFORM_SERVICE_OK;
 * PLATFORM_SERVICE_REMOVED_ON_STOP when it did not stop in time, or was
 * marked for removal already (the manager removes it once it stops); else
 * the result code, with *error (when not NULL) the system's error number. */
int platform_service_uninstall(const char *name, int *error) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
