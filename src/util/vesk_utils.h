#ifndef UTIL_VESK_UTILS_H
#define UTIL_VESK_UTILS_H
/* Small routines shared by the host and the support library, one header per
 * topic, all of them through this one: the parameter list and the sleep
 * (vesk_params.h), the library loader (ub_libloader.h), the version, clock,
 * hex dump and percent-encoding texts (vesk_diagnostics.h) and the
 * configuration text helpers (config_text.h). */

#include "util/config_text.h"
#include "util/ub_libloader.h"
#include "util/vesk_diagnostics.h"
#include "util/vesk_params.h"

#endif
