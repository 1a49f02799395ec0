#ifndef HOST_SERVICE_CONFIG_H
#define HOST_SERVICE_CONFIG_H
/* The service's option table with its defaults, its log component, the
 * loader that fills both from conf/vesk.ini, and the readers of the other
 * two files of conf/: the JVM's options and the server's own. */

#include "log/verbose.h"
#include "options/getopts.h"
#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Rows of configs: 17 options and the terminating row. */
enum { configs_len = 18 };

/* The service's options, their defaults and help; filled by config_init and
 * alive for the whole process. */
extern ub_option configs[configs_len];

/* The service's log component: threshold from VERBOSITY, tag from
 * config_init; 0 and empty until then. */
extern log_component logger;

/* What the readers below return, instead of reading, when the working
 * folder, conf/ or their file may be changed by someone other than the
 * system and the effective user (log/trust.h judges it): they have told
 * "VESKServer nao iniciado: <file> nao e confiavel: <why>." at FATAL. */
enum config_result { CONFIG_REFUSED = -2 };

/* Reads conf/vesk.ini from the current directory into configs, from the
 * very file judged, after judging the working folder; CONFIG_REFUSED when
 * either is not trusted (a missing conf/ or file is no refusal). When the
 * file is missing or sets no option, writes "Falha ao tentar ler: <path>" to
 * standard error and returns 1, leaving logger as it was. Otherwise sets
 * logger's threshold from VERBOSITY (atoi rule, cut to 16 bits), logs
 * "VERBOSITY=<n>" untagged, copies tag into logger and returns 0. What the
 * reader cuts or skips is told, once and in file order, on standard error,
 * and then at WARN in the log once logger is set: each line cut for its
 * length or setting nothing (not blank, no comment), each part of a cut
 * line that sets an option, and text after a CR. */
int config_init(const char *tag) UB_NOEXCEPT;

/* The options of conf/jvm.options, one a line, blanks around them removed;
 * blank and '#' lines skipped, lines not starting with '-' told at WARN
 * (standard error and the log) and skipped. *options: a malloc'd NULL-ended
 * array of malloc'd texts (config_list_free), NULL when none. The count; 0
 * for a missing file; CONFIG_REFUSED for a file that is not trusted (never
 * waiting on a FIFO); -1 for a NULL options, or after "Falha ao tentar ler:
 * <path>" (at ERROR) when it cannot be read or memory runs out. */
int config_jvm_options(char ***options) UB_NOEXCEPT;

/* The NAME=value pairs of conf/server.ini, lines read as conf/vesk.ini's
 * (nothing trimmed, LF or CR LF, '#' and ';' comments) but any name taken,
 * in file order; text after a CR, lines without "=" or a name told and
 * skipped as above. *pairs: name, value, ..., NULL, as *options above. The
 * pair count; otherwise as config_jvm_options. */
int config_server_pairs(char ***pairs) UB_NOEXCEPT;

/* Frees an array from config_jvm_options or config_server_pairs and its
 * texts; NULL is ignored. */
void config_list_free(char **list) UB_NOEXCEPT;

/* logger's threshold as config_init set it (0 before, and without the ini
 * file). Exported from the executable, so that native code loaded into the
 * process, such as the Java side's kit, filters with the host's own. */
int vesk_log_threshold(void) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
