// The machine description: the members of the readers and of the adapters
// gathered into one JSON object.
#include "machine/w32_utils.h"

#include <ctime>

#include "machine/detail/machine_paths.hpp"
#include "machine/detail/system_readers.hpp"

void vesk_machine_info(json_value *object) noexcept
{
    using ub::detail::machine_add;
    if (!ub::detail::machine_is_object(object))
        return;
    char mac[VESK_MAC_BUFFER_SIZE];
    machine_add(object, "macaddress", json_string_new(vesk_mac(mac, sizeof mac)));
    // Stored as a signed 32-bit count, as every time of the system.
    machine_add(object, "unixtime", json_integer_new(static_cast<int32_t>(std::time(nullptr))));
    ub::detail::machine_add_processor(object);
    ub::detail::machine_add_system(object);
    ub::detail::machine_add_identifier(object);
    ub::detail::machine_add_hostname(object);
    json_value *ifaces = json_array_new(1);
    if (ifaces == nullptr || json_object_add(object, "ifaces", ifaces) < 0) {
        json_value_free(ifaces);
        return;
    }
    vesk_get_ifaces(vesk_machine_info_cb, ifaces);
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
