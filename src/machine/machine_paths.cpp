// The bottom of the machine description: which system files it reads, and
// how a member joins the description.
#include "machine/detail/machine_paths.hpp"

#include <atomic>

namespace {

constexpr vesk_machine_paths real_paths = {
    "/proc/cpuinfo",
    "/etc/issue",
    "/etc/machine-id",
    "/proc/sys/kernel/hostname",
};

std::atomic<const vesk_machine_paths *> current_paths{&real_paths};

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
