// The system files the machine description reads, shared by its sources.
#ifndef MACHINE_DETAIL_MACHINE_PATHS_HPP
#define MACHINE_DETAIL_MACHINE_PATHS_HPP

#include "machine/w32_utils.h"

namespace ub::detail {

// The paths in use: the real files, or those set by vesk_machine_set_paths.
const vesk_machine_paths &machine_paths() noexcept;

// Adds value to object as name; releases value when it cannot be added.
void machine_add(json_value *object, const char *name, json_value *value) noexcept;

// True when object is a JSON object the description may be added to.
bool machine_is_object(const json_value *object) noexcept;

} // namespace ub::detail

#endif
