#ifndef HOST_VESKSERVER_H
#define HOST_VESKSERVER_H
/* The service host: the launch sequence that merges conf/vesk.ini and the
 * command-line pairs into one parameter list and starts the Java server. */

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Version and build time shown in the banner. */
enum {
    VESK_VERSION_MAJOR = 7,
    VESK_VERSION_MINOR = 25,
    VESK_VERSION_PATCH = 2,
    VESK_REVISION = 19797,
    VESK_BUILD_TIME = 1710509187 /* 2024-03-15 13:26:27 UTC */
};

/* Launch statuses, also the process's exit statuses. */
enum vesk_status {
    VESK_OK = 0,
    VESK_NO_JVM = 2,    /* the virtual machine could not be started (or no parameters) */
    VESK_NO_SERVER = 3  /* the entry call failed (or the words were not in pairs) */
};

/* Loads the options (config_init with the tag "VESK"), builds the parameter
 * list of argc + 38 slots from the option table and the <Param> <Val> pairs
 * of argv[1..], logs it at level INFO and launches the server. A
 * vesk_status. */
int vesk_start(int argc, char **argv) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
