#ifndef PLATFORM_PLATFORM_H
#define PLATFORM_PLATFORM_H
/* The operating-system layer: the only module that knows which system it
 * runs on. Everything else reaches files, the clock and the process through
 * its functions, one header per concern; this one brings them all.
 *
 * Conventions: texts are zero-terminated and borrowed; results are 0 on
 * success and -1 on failure unless a function says otherwise. Descriptors
 * are plain ints, closed with platform_close. The layer writes no message
 * and holds no product rule: it tells what the system says, and the modules
 * above decide. */

#include "platform/dir.h"
#include "platform/file.h"
#include "platform/library.h"
#include "platform/node.h"
#include "platform/process.h"
#include "platform/service.h"
#include "platform/system.h"

#endif
