// The machine and its clock: the POSIX side.
#include "platform/system.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/utsname.h>
#include <unistd.h>

void platform_sleep_ms(uint32_t milliseconds) noexcept
{
    timespec rest{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

int platform_localtime(time_t seconds, struct tm *out) noexcept
{
    if (out == nullptr || localtime_r(&seconds, out) == nullptr)
        return -1;
    return 0;
}

namespace {

// Windows' architecture and processor-type codes for a uname machine name.
void cpu_codes(const char *machine, uint16_t *architecture, uint32_t *processor_type)
{
    *architecture = PLATFORM_ARCH_UNKNOWN;
    *processor_type = 0;
    if (std::strcmp(machine, "x86_64") == 0 || std::strcmp(machine, "amd64") == 0) {
        *architecture = PLATFORM_ARCH_AMD64;
        *processor_type = PLATFORM_CPU_AMD_X8664;
    } else if (machine[0] == 'i' && machine[1] >= '3' && machine[1] <= '6' &&
               std::strcmp(machine + 2, "86") == 0) {
        *architecture = PLATFORM_ARCH_X86;
        *processor_type = PLATFORM_CPU_INTEL_PENTIUM;
    } else if (std::strcmp(machine, "ia64") == 0) {
        *architecture = PLATFORM_ARCH_IA64;
        *processor_type = PLATFORM_CPU_INTEL_IA64;
    } else if (std::strcmp(machine, "aarch64") == 0 || std::strncmp(machine, "armv8", 5) == 0 ||
               std::strcmp(machine, "arm64") == 0) {
        *architecture = PLATFORM_ARCH_ARM64;
    } else if (std::strncmp(machine, "arm", 3) == 0) {
        *architecture = PLATFORM_ARCH_ARM;
    }
}

void copy_text(char *buffer, size_t size, const char *text)
{
    std::snprintf(buffer, size, "%s", text);
}

bool is_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

int platform_cpu_info_get(platform_cpu_info *out) noexcept
{
    if (out == nullptr)
        return -1;
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    out->count = online > 0 ? static_cast<uint32_t>(online) : 1;
    utsname names{};
    if (uname(&names) != 0)
        names.machine[0] = '\0';
    cpu_codes(names.machine, &out->architecture, &out->processor_type);
    return 0;
}

int platform_os_text(char *name, size_t name_size, char *release, size_t release_size) noexcept
{
    if (name == nullptr || release == nullptr || name_size == 0 || release_size == 0)
        return -1;
    utsname names{};
    if (uname(&names) != 0) {
        name[0] = '\0';
        release[0] = '\0';
        return -1;
    }
    copy_text(name, name_size, names.sysname);
    copy_text(release, release_size, names.release);
    return 0;
}

int platform_hw_profile_guid(const char *id_path, char *guid, size_t size,
                             unsigned long *error) noexcept
{
    unsigned long ignored = 0;
    unsigned long &code = error != nullptr ? *error : ignored;
    constexpr size_t digits = 32;
    constexpr size_t guid_size = digits + 4 + 2 + 1; // dashes, braces, terminator
    if (id_path == nullptr || guid == nullptr || size < guid_size) {
        code = EINVAL;
        return -1;
    }
    FILE *file = std::fopen(id_path, "r");
    if (file == nullptr) {
        code = static_cast<unsigned long>(errno);
        return -1;
    }
    char id[digits + 2] = {};
    size_t got = std::fread(id, 1, digits + 1, file);
    std::fclose(file);
    // Exactly 32 digits, then the end or a line feed.
    bool ok = got >= digits && (got == digits || id[digits] == '\n');
    for (size_t k = 0; ok && k < digits; ++k)
        ok = is_hex_digit(id[k]);
    if (!ok) {
        code = EINVAL;
        return -1;
    }
    std::snprintf(guid, size, "{%.8s-%.4s-%.4s-%.4s-%.12s}", id, id + 8, id + 12, id + 16, id + 20);
    return 0;
}

int platform_hostname(char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0 || gethostname(buffer, size) != 0)
        return -1;
    if (std::memchr(buffer, '\0', size) == nullptr) { // cut off without a terminator
        buffer[0] = '\0';
        return -1;
    }
    return 0;
}
