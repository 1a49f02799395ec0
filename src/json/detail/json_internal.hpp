// Helpers shared by the files of the JSON module; not part of its API.
#ifndef JSON_DETAIL_JSON_INTERNAL_HPP
#define JSON_DETAIL_JSON_INTERNAL_HPP

#include "json/json.h"

namespace ub::detail {

// The shared empty text returned by lookups; never written or freed.
extern const char json_empty_text[];

// json_object_add with a name already in a malloc'd block of its own,
// which the object takes over when the call succeeds (as the new member's
// name, or released when the member exists); on failure it stays the
// caller's.
int32_t json_object_adopt(json_value *object, char *name, json_value *value);

inline bool json_is_container(const json_value *value)
{
    return value != nullptr &&
           (value->type == JSON_TYPE_ARRAY || value->type == JSON_TYPE_OBJECT);
}

// A value of type 4 or 5 is allocated as a json_container.
inline json_container *json_as_container(json_value *value)
{
    return reinterpret_cast<json_container *>(value);
}

inline const json_container *json_as_container(const json_value *value)
{
    return reinterpret_cast<const json_container *>(value);
}

} // namespace ub::detail

#endif
