#ifndef HOST_READINESS_H
#define HOST_READINESS_H
/* What the host tells the service manager that started it (systemd's notify
 * protocol): ready once the Java server's start returned, stopping as soon as
 * the JVM begins to shut down, and a status line for the operator. */

#include <jni.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: the launch calls readiness_prepare, and main then
 * readiness_ready and readiness_watch, all on the host's main thread. Where
 * no manager listens (no notification socket; always on Windows, whose
 * service reports its own states) the first report finds none, and nothing
 * more is sent or installed. Nothing is returned: a failure is logged at
 * WARN and the launch goes on. Once the stop was reported nothing else is. */

/* Reports "STATUS=Iniciando: <entry class>" (dotted, control characters as
 * '?'), keeps the name for the running line, and, when a manager took that
 * report, installs in jvm a shutdown hook (a class of its own, defined in
 * the system class loader) that reports "STOPPING=1" with
 * "STATUS=Parando" however the JVM stops. Call it once the JVM is created
 * and before the entry class's start. NULL arguments: nothing. */
void readiness_prepare(JavaVM *jvm, const char *entry_class) UB_NOEXCEPT;

/* Reports "READY=1" with "STATUS=Em execucao: <entry class>": call it once
 * the entry class's start returned. */
void readiness_ready(void) UB_NOEXCEPT;

/* Reports the status line when it changed since the last one sent:
 * "Limite diario do log atingido em dd/mm/yyyy: linhas descartadas ate a
 * meia-noite" while the log dropped lines today (verbose_budget_spent_day,
 * local time), the running line otherwise. Call it about once a second. */
void readiness_watch(void) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
