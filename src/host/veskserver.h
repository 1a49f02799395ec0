#ifndef HOST_VESKSERVER_H
#define HOST_VESKSERVER_H
/* The service host: the launch sequence that merges conf/vesk.ini and the
 * command-line pairs into one parameter list and starts the Java server, and
 * the callback through which the Java server writes its log lines. */

#include <stdint.h>

#include "jvm/java_utils.h"
#include "platform/ub_api.h"
/* The version and build time shown in the banner (VESK_VERSION_MAJOR ...). */
#include "util/vesk_version.h"

UB_EXTERN_C_BEGIN

/* Launch statuses, also the process's exit statuses. */
enum vesk_status {
    VESK_OK = 0,
    VESK_NO_JVM = 2,       /* the virtual machine could not be started (or no parameters) */
    VESK_NO_SERVER = 3,    /* the entry call failed (or the words were not in pairs) */
    VESK_JVM_CRASHED = 134 /* the JVM crashed (see crash_prepare): 128 + SIGABRT, as
                              under the java launcher */
};

/* Loads the options (config_init with the tag "VESK"), reads conf/server.ini
 * and conf/jvm.options, and ends with VESK_NO_SERVER, after the FATAL line
 * "Falha ao tentar iniciar VESKServer.", when a reader refused the working
 * folder or a file of conf/ (CONFIG_REFUSED). Then builds the parameter
 * list of argc + 38 slots, and two more per pair of conf/server.ini
 * (config_server_pairs), from the option table, then those pairs, then the
 * <Param> <Val> pairs of argv[1..] (an equal key takes the later value in
 * place, another name is appended), logs it at level INFO, starts the JVM
 * (vesk_init; libcurl waits for the HTTP client's first transfer), tells a
 * listening service manager (readiness_prepare) and calls the static
 * start(long[], String[]) of ENTRY_CLASS with the address of vesk_cb and 0,
 * and the whole list. VESK_OK when start returned an object;
 * VESK_NO_JVM after the FATAL line "Falha ao tentar iniciar JVM.";
 * VESK_NO_SERVER after "Falha ao tentar iniciar VESKServer." (and, when a
 * Java exception failed the call, a FATAL line naming it and its causes,
 * and one naming the class that could not be had). FATAL lines go to
 * standard error too. */
int vesk_start(int argc, char **argv) UB_NOEXCEPT;

/* The exit status a stop asks of the JVM: the one SIGTERM gives on Linux. */
enum { VESK_STOP_STATUS = 143 };

/* Results of vesk_stop. */
enum vesk_stop_result {
    VESK_STOP_FAILED = -1, /* no JVM runs, or System.exit could not be called */
    VESK_STOP_REFUSED = -2 /* System.exit threw (a security manager refused it) */
};

/* Asks the running JVM to exit as SIGTERM does: System.exit(VESK_STOP_STATUS)
 * on the calling thread, which runs the Java side's shutdown hooks and ends
 * the process, so it returns only when that failed, after an ERROR line in
 * the log ("Falha ao tentar pedir a parada ao lado Java." or "O lado Java
 * recusou a parada."). Call it from a thread that may block for good. */
int vesk_stop(void) UB_NOEXCEPT;

/* vesk_start, with exit_hook (when not NULL) called by the JVM just before
 * it ends the process (see ub_loadJVM_with_exit_hook). */
int vesk_start_with_exit_hook(int argc, char **argv, ub_JVM_exit_hook exit_hook) UB_NOEXCEPT;

/* Starts the process's JVM from CLASSPATH, LIBRARY_PATH and STACK of the
 * parameter list (each logged at level INFO first), once: later calls give
 * the same handle, or try again when the first one failed. A CLASSPATH
 * element "*", or a folder followed by the separator and "*", stands for the
 * folder's .jar and .JAR files in name order, as the java launcher reads
 * it; an element the JVM cannot use is told at WARN (standard error and the
 * log). An element of either path that someone other than the system and
 * the effective user may change (log/trust.h; for a wildcard its folder,
 * then each jar) is left out, told at WARN as "Entrada do CLASSPATH
 * ignorada: ..." or "Entrada do LIBRARY_PATH ignorada: ..."; a missing one
 * is passed on. After the bridge's five options come -Xdebug (the JIT runs
 * unless an option says -Xint), -Dsun.java.command=<ENTRY_CLASS, dotted>
 * (what jps shows; none for an empty ENTRY_CLASS) and the lines of
 * conf/jvm.options (config_jvm_options), which win over the earlier ones.
 * NULL on failure, and when conf/jvm.options is refused. */
JavaVM *vesk_init(char *const *list) UB_NOEXCEPT;

/* Number of the level named exactly name (NONE 0 ... DEBUG 5); 0 for any
 * other name and for NULL. */
int getVerbosity(const char *name) UB_NOEXCEPT;

/* Writes one log event of the Java side: texts is a parameter list of
 * text_count elements with the keys class, verbosity, code and message. An
 * event whose level is NONE, unknown or above logger's threshold is dropped
 * (0). With a class the untagged line is "class|verbosity|code|message";
 * without one, the first values (at most six) in list order, separated by
 * "|". Fewer than two texts: "Mensagem inconsistente..." at level ERROR.
 * The log writer's result. Has the ub_JVM_handler shape so that native code
 * can pass it to ub_JVM_generic_callback; the longs and blobs are not read. */
int32_t vesk_cb(int32_t long_count, int32_t *longs, uint32_t text_count, char **texts,
                int32_t *blob_lengths, char **blobs) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
