// Readers of the system's facts that vesk_machine_info adds to the
// description: each adds its members to object, or nothing when the fact
// cannot be read.
#ifndef MACHINE_DETAIL_SYSTEM_READERS_HPP
#define MACHINE_DETAIL_SYSTEM_READERS_HPP

#include "json/json.h"

namespace ub::detail {

// Adds "cores", "vendor" and "model" from the processor information.
void machine_add_processor(json_value *object) noexcept;

// Adds "so", the system's name and release as "name (release)".
void machine_add_system(json_value *object) noexcept;

// Adds "id", the machine identifier without its braces; when it cannot be
// read, reports "GetCurrentHwProfile failed with error %lx" instead.
void machine_add_identifier(json_value *object) noexcept;

// Adds "hostname" when the host name is known.
void machine_add_hostname(json_value *object) noexcept;

} // namespace ub::detail

#endif
