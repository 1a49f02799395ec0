// Helpers shared by the files of the JSON module; not part of its API.
#ifndef JSON_DETAIL_JSON_INTERNAL_HPP
#define JSON_DETAIL_JSON_INTERNAL_HPP

#include <stddef.h>
#include <stdint.h>

#include "json/json.h"

struct json_parse_context;

namespace ub::detail {

// Records of 16 or 24 bytes (values, members, containers): from per-thread
// free lists carved from 64 KiB slabs, or each its own malloc block when the
// build asks for that. NULL when memory runs out. A record may be given back
// on any thread, with the size it was taken with.
void *json_record_take(size_t size) noexcept;
void json_record_give(void *record, size_t size) noexcept;

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

// An open container of type (ARRAY or OBJECT) for the parser: capacity 2,
// no entries and no item array yet; NULL when memory runs out.
json_value *json_container_open(int32_t type);

// Gives an open container an item array for count entries, with the
// capacity that adding them one by one would reach; the caller then stores
// the entries. The array, or NULL, the container unchanged, when memory runs
// out.
void **json_container_items(json_value *container, int32_t count);

// A member holding name (malloc'd, taken over) and value; NULL when memory
// runs out, both then still the caller's.
json_member *json_member_adopt(char *name, json_value *value);

// Releases count entries of a container of type: members or values.
void json_release_entries(int32_t type, void *const *entries, int32_t count);

// The parser's steps that build a tree on the context's value stack. Each
// returns JSON_BUILT, or one of the failures, after which the value it was
// given is released and nothing refers to it.
enum json_build_result { JSON_BUILT = 0, JSON_BUILD_NOMEM = -1, JSON_BUILD_TOO_DEEP = -2 };

// Opens a container of type (ARRAY or OBJECT) on the stack.
int json_build_open(json_parse_context *context, int32_t type);

// Closes the container on top of the stack with the entries gathered for
// it; it becomes result.
int json_build_close(json_parse_context *context);

// Adds result to the open array on top of the stack.
int json_build_element(json_parse_context *context);

// Adds result to the open object under name (malloc'd, taken over in
// every case), ending the member's place on the stack; a repeated name
// keeps its first place and takes the new value.
int json_build_member(json_parse_context *context, char *name);

inline bool json_is_container(const json_value *value)
{
    return value != nullptr && (value->type == JSON_TYPE_ARRAY || value->type == JSON_TYPE_OBJECT);
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
