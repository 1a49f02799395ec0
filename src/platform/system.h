#ifndef PLATFORM_SYSTEM_H
#define PLATFORM_SYSTEM_H
/* The machine and its clock: sleeping, local time, and what the machine
 * description reports (processor, system release, identifiers). */

#include <stddef.h>
#include <stdint.h>
#include <time.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Suspends the calling thread for milliseconds ms. */
void platform_sleep_ms(uint32_t milliseconds) UB_NOEXCEPT;

/* Converts seconds since 1970-01-01 UTC to local calendar time in *out
 * (thread-safe). 0 on success, -1 when the time cannot be represented. */
int platform_localtime(time_t seconds, struct tm *out) UB_NOEXCEPT;

/* What the machine description reports. */

/* Processor architecture and type codes in Windows' numbering. */
enum platform_cpu_code {
    PLATFORM_ARCH_X86 = 0,
    PLATFORM_ARCH_ARM = 5,
    PLATFORM_ARCH_IA64 = 6,
    PLATFORM_ARCH_AMD64 = 9,
    PLATFORM_ARCH_ARM64 = 12,
    PLATFORM_ARCH_UNKNOWN = 0xFFFF,
    PLATFORM_CPU_INTEL_PENTIUM = 586,
    PLATFORM_CPU_INTEL_IA64 = 2200,
    PLATFORM_CPU_AMD_X8664 = 8664
};

/* Processor count and kind of this machine. */
typedef struct platform_cpu_info {
    uint32_t count;          /* processors online, at least 1 */
    uint16_t architecture;   /* a PLATFORM_ARCH_ code */
    uint32_t processor_type; /* a PLATFORM_CPU_ code, 0 when the kind has none */
} platform_cpu_info;

/* Fills *out. 0; -1 for NULL out. */
int platform_cpu_info_get(platform_cpu_info *out) UB_NOEXCEPT;

/* Copies the operating system's name and its release or service-pack text
 * into the two buffers (cut to fit, terminated). 0; -1 when the system
 * does not tell (both set to "") or an argument is NULL or 0. */
int platform_os_text(char *name, size_t name_size, char *release, size_t release_size) UB_NOEXCEPT;

/* Writes the hardware profile identifier as a GUID in braces
 * ("{8-4-4-4-12}", 39 bytes with the terminator) into guid. On POSIX it is
 * the 32 hexadecimal digits of id_path (normally "/etc/machine-id"), case
 * kept. 0; -1 with *error set to the system's error number when the source
 * cannot be read, or EINVAL when it is malformed or guid is too small. */
int platform_hw_profile_guid(const char *id_path, char *guid, size_t size,
                             unsigned long *error) UB_NOEXCEPT;

/* Copies this machine's host name into buffer (terminated). 0; -1 when it
 * cannot be read or does not fit. */
int platform_hostname(char *buffer, size_t size) UB_NOEXCEPT;

/* Windows only: copies the text value name of the key path key under
 * HKEY_LOCAL_MACHINE, read in the registry view of the executable's width,
 * into buffer. 0; -1 when the key or value is missing, is no text or does
 * not fit. */
int platform_registry_text(const char *key, const char *name, char *buffer,
                           size_t size) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
