// The collector of the machine description and the interface enumeration.
#include "machine/w32_utils.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "log/messages.hpp"
#include "machine/detail/machine_paths.hpp"
#include "platform/platform.h"

namespace {

constexpr vesk_machine_paths real_paths = {
    "/proc/cpuinfo",
    "/etc/issue",
    "/etc/machine-id",
    "/proc/sys/kernel/hostname",
};

std::atomic<const vesk_machine_paths *> current_paths{&real_paths};

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

void add_processor(json_value *object)
{
    platform_cpu_info cpu{};
    platform_cpu_info_get(&cpu);
    using ub::detail::machine_add;
    machine_add(object, "cores", json_integer_new(static_cast<int32_t>(cpu.count)));
    machine_add(object, "vendor", json_string_new(vendor_text(cpu.architecture)));
    machine_add(object, "model", json_string_new(model_text(cpu.processor_type)));
}

void add_system(json_value *object)
{
    // Halves of the text, so that "name (release)" always fits.
    char name[text_size / 2];
    char release[text_size / 2 - 4];
    platform_os_text(name, sizeof name, release, sizeof release);
    char so[text_size];
    std::snprintf(so, sizeof so, "%s (%s)", name, release);
    ub::detail::machine_add(object, "so", json_string_new(so));
}

void add_identifier(json_value *object)
{
    char guid[text_size];
    unsigned long error = 0;
    if (platform_hw_profile_guid(ub::detail::machine_paths().machine_id, guid, sizeof guid,
                                 &error) != 0) {
        verbose_message(VESK_MSG_MACHINE_NO_HW_PROFILE, error);
        return;
    }
    guid[std::strlen(guid) - 1] = '\0'; // the GUID without its braces
    ub::detail::machine_add(object, "id", json_string_new(guid + 1));
}

} // namespace

namespace ub::detail {

const vesk_machine_paths &machine_paths() noexcept
{
    return *current_paths.load(std::memory_order_acquire);
}

void machine_add(json_value *object, const char *name, json_value *value) noexcept
{
    if (value != nullptr && json_object_add(object, name, value) < 0)
        json_value_free(value);
}

bool machine_is_object(const json_value *object) noexcept
{
    return object != nullptr && json_get_type(object) == JSON_TYPE_OBJECT;
}

} // namespace ub::detail

void vesk_machine_set_paths(const vesk_machine_paths *paths) noexcept
{
    current_paths.store(paths != nullptr ? paths : &real_paths, std::memory_order_release);
}

void vesk_machine_info(json_value *object) noexcept
{
    using ub::detail::machine_add;
    if (!ub::detail::machine_is_object(object))
        return;
    char mac[VESK_MAC_BUFFER_SIZE];
    machine_add(object, "macaddress", json_string_new(vesk_mac(mac, sizeof mac)));
    // Stored as a signed 32-bit count, as every time of the system.
    machine_add(object, "unixtime", json_integer_new(static_cast<int32_t>(std::time(nullptr))));
    add_processor(object);
    add_system(object);
    add_identifier(object);
    char host[text_size];
    if (platform_hostname(host, sizeof host) == 0)
        machine_add(object, "hostname", json_string_new(host));
    json_value *ifaces = json_array_new(1);
    if (ifaces == nullptr || json_object_add(object, "ifaces", ifaces) < 0) {
        json_value_free(ifaces);
        return;
    }
    vesk_get_ifaces(vesk_machine_info_cb, ifaces);
}

int vesk_get_ifaces(vesk_iface_callback callback, void *user) noexcept
{
    // No adapter list is read on this system: the enumeration reports the
    // error number 0 and delivers no interface.
    (void)callback;
    (void)user;
    verbose_message(VESK_MSG_MACHINE_NO_ADAPTERS, 0);
    return 0;
}

char *vesk_get_local_ip(const char *name, char *ip) noexcept
{
    (void)name;
    return ip;
}

void vesk_machine_info_cb(const char *name, const char *mac, const char *ip, void *user) noexcept
{
    auto *array = static_cast<json_value *>(user);
    if (array == nullptr || json_get_type(array) != JSON_TYPE_ARRAY)
        return;
    // The list stops at the first NULL text, so a missing MAC drops the IP too.
    char *list[] = {const_cast<char *>("name"),
                    const_cast<char *>(name),
                    const_cast<char *>("macaddress"),
                    const_cast<char *>(mac),
                    const_cast<char *>("ip"),
                    const_cast<char *>(ip),
                    nullptr};
    json_value *iface = json_object_new_list(list);
    if (iface != nullptr && json_array_add(array, iface) < 0)
        json_value_free(iface);
}
