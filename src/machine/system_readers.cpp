// Readers of the processor, system, identifier and host name through the
// platform layer, for the machine description.
#include "machine/detail/system_readers.hpp"

#include <cstdio>
#include <cstring>

#include "log/messages.hpp"
#include "machine/detail/machine_paths.hpp"
#include "platform/platform.h"

namespace {

// Room for the texts of the description, terminator included.
constexpr size_t text_size = 256;

const char *vendor_text(uint16_t architecture)
{
    switch (architecture) {
    case PLATFORM_ARCH_X86: return "x86";
    case PLATFORM_ARCH_ARM: return "ARM";
    case PLATFORM_ARCH_IA64: return "Intel Itanium-based";
    case PLATFORM_ARCH_AMD64: return "x64 (AMD or Intel)";
    default: return "desconhecido";
    }
}

const char *model_text(uint32_t processor_type)
{
    switch (processor_type) {
    case 386: return "INTEL_386";
    case 486: return "INTEL_486";
    case PLATFORM_CPU_INTEL_PENTIUM: return "INTEL_PENTIUM";
    case PLATFORM_CPU_INTEL_IA64: return "INTEL_IA64";
    case PLATFORM_CPU_AMD_X8664: return "AMD_X8664";
    default: return "ARM(?)";
    }
}

} // namespace

namespace ub::detail {

void machine_add_processor(json_value *object) noexcept
{
    platform_cpu_info cpu{};
    platform_cpu_info_get(&cpu);
    machine_add(object, "cores", json_integer_new(static_cast<int32_t>(cpu.count)));
    machine_add(object, "vendor", json_string_new(vendor_text(cpu.architecture)));
    machine_add(object, "model", json_string_new(model_text(cpu.processor_type)));
}

void machine_add_system(json_value *object) noexcept
{
    // Halves of the text, so that "name (release)" always fits.
    char name[text_size / 2];
    char release[text_size / 2 - 4];
    platform_os_text(name, sizeof name, release, sizeof release);
    char so[text_size];
    std::snprintf(so, sizeof so, "%s (%s)", name, release);
    machine_add(object, "so", json_string_new(so));
}

void machine_add_identifier(json_value *object) noexcept
{
    char guid[text_size];
    unsigned long error = 0;
    if (platform_hw_profile_guid(machine_paths().machine_id, guid, sizeof guid, &error) != 0) {
        verbose_message(VESK_MSG_MACHINE_NO_HW_PROFILE, error);
        return;
    }
    guid[std::strlen(guid) - 1] = '\0'; // the GUID without its braces
    machine_add(object, "id", json_string_new(guid + 1));
}

void machine_add_hostname(json_value *object) noexcept
{
    char host[text_size];
    if (platform_hostname(host, sizeof host) == 0)
        machine_add(object, "hostname", json_string_new(host));
}

} // namespace ub::detail
