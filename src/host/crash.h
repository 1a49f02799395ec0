#ifndef HOST_CRASH_H
#define HOST_CRASH_H
/* What the host does when the JVM ends by a fatal error of its own: a
 * crash (a fault in native code, after which the JVM writes its report
 * hs_err_pid<N>.log), or a failure while it starts that JNI_CreateJavaVM
 * does not return from. The JVM alone would end with status 1, which reads
 * as System.exit(1), and leave nothing in the log. */

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Notes where the JVM may write its crash report and whether it is to dump
 * core, from its options as it reads them: JAVA_TOOL_OPTIONS, the bridge's
 * own (no core), the count options the host gives after them (NULL ones
 * skipped), _JAVA_OPTIONS; and gives the bridge the abort hook. On the
 * abort, before the JVM was created, the host says "Falha ao tentar iniciar
 * JVM." and ends with VESK_NO_JVM; after, it says FATAL "A JVM parou por um
 * erro fatal; relatorio: <path>." and ends with VESK_JVM_CRASHED, or lets
 * the JVM abort (SIGABRT, with a core dump) when its options asked for one.
 * Call it once, just before the JVM is created. */
void crash_prepare(const char *const *options, int count) UB_NOEXCEPT;

/* The JVM was created: an abort is a crash from now on. */
void crash_jvm_created(void) UB_NOEXCEPT;

/* Call it about once a second: once a crash report began to be written in
 * the working folder or at ErrorFile, ends the process with
 * VESK_JVM_CRASHED when the JVM has not ended it within ErrorLogTimeout
 * (120 s unless the options say otherwise), as the JVM does itself but not
 * while an abort hook is set; never when the options ask the JVM to wait
 * (ErrorLogTimeout 0, OnError commands, ShowMessageBoxOnError). */
void crash_watch(void) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
