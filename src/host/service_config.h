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

/* Reads conf/vesk.ini from the current directory into configs. When the
 * file is missing or sets no option, writes "Falha ao tentar ler: <path>" to
 * standard error and returns 1, leaving logger as it was. Otherwise sets
 * logger's threshold from VERBOSITY (atoi rule, cut to 16 bits), logs
 * "VERBOSITY=<n>" untagged, copies tag into logger and returns 0. What the
 * reader cuts or skips is told, once and in file order, on standard error,
 * and then at WARN in the log once logger is set: each line cut for its
 * length or setting nothing (not blank, no comment), each part of a cut
 * line that sets an option, and text after a CR. */
int config_init(const char *tag) UB_NOEXCEPT;

/* Reads conf/jvm.options from the current directory: one JVM option per
 * line, blanks and CRs around it removed; blank lines and lines whose first
 * non-blank character is '#' are skipped, and a line that does not start with
 * '-' is told (standard error and the log, at WARN) and skipped. *options
 * gets a malloc'd array of the options, each malloc'd, ended by NULL (free
 * it with config_list_free), or NULL when there are none. The count; 0 for
 * a missing file, silently; -1 after "Falha ao tentar ler: <path>" (standard
 * error and the log, at ERROR) when it cannot be read or memory runs out,
 * and for a NULL options. */
int config_jvm_options(char ***options) UB_NOEXCEPT;

/* Reads conf/server.ini from the current directory: NAME=value lines as
 * conf/vesk.ini's are read (the name from the first column to the first
 * "=", the value to the end of the line, nothing trimmed but a line end of
 * LF or CR LF; blank lines and '#' or ';' comment lines skipped), with any
 * name taken, in file order; what a line holds after a CR, and a line
 * without "=" or with an empty name, is told as config_jvm_options tells
 * and skipped. *pairs gets a malloc'd array name, value, name, value, ...,
 * NULL, each text malloc'd (config_list_free), or NULL when there are none.
 * The pair count; otherwise as config_jvm_options. */
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
