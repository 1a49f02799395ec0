#ifndef HOST_SERVICE_CONFIG_H
#define HOST_SERVICE_CONFIG_H
/* The service's option table with its defaults, its log component, and the
 * loader that fills both from conf/vesk.ini. */

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

/* logger's threshold as config_init set it (0 before, and without the ini
 * file). Exported from the executable, so that native code loaded into the
 * process, such as the Java side's kit, filters with the host's own. */
int vesk_log_threshold(void) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
