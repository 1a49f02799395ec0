// Helpers shared by the files of the JSON module; not part of its API.
#ifndef JSON_DETAIL_JSON_INTERNAL_HPP
#define JSON_DETAIL_JSON_INTERNAL_HPP

#include <stddef.h>
#include <stdint.h>

#include "json/json.h"

namespace ub::detail {

// The shared empty text returned by lookups; never written or freed.
extern const char json_empty_text[];

// Decodes the body of a string token, in up to end (quotes left out), into
// out, which may be in itself: escapes resolved, the text ended at a zero
// byte. Writes the terminating zero and returns the decoded length, never
// more than end - in.
size_t json_decode_text(const char *in, const char *end, char *out);

// A new malloc'd copy of length bytes of text, zero-terminated; NULL when
// memory runs out.
char *json_copy_text(const char *text, size_t length);

// A value of a text type (INTEGER to STRING, NULL, type 9) holding text,
// a malloc'd block it takes over; NULL when memory runs out, text then
// still the caller's.
json_value *json_text_value_adopt(int32_t type, char *text);

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
