// The parse context's layout, shared by the scanner, the grammar and the
// parse entry points; callers outside the module see it only by pointer.
#ifndef JSON_DETAIL_JSON_PARSE_CONTEXT_HPP
#define JSON_DETAIL_JSON_PARSE_CONTEXT_HPP

#include <stdint.h>

#include "json/json.h"
#include "json/json_parse.h"

// The state of one parse; every field zero at the start.
struct json_parse_context {
    json_value *result;                     // value of the latest rule; the root when done
    json_value *stack[JSON_STACK_SIZE];     // open containers, scalars, and a NULL for each
                                            // member whose value is being read
    int32_t depth;                          // entries in use in stack
    json_source source;                     // where the characters come from
    void *scanner;                          // the scanner of this parse
    int32_t source_ended;                   // the source has no more bytes: never ask again
    void **entries;                         // entries of the open containers, in order:
                                            // owned, NULL until the first
    int32_t entries_used;                   // entries in use in entries
    int32_t entries_capacity;               // room in entries
    int32_t entries_start[JSON_STACK_SIZE]; // where the entries of the container at each
                                            // stack index begin
    uint32_t *entry_tags;                   // beside each entry of an object, a hash of its
                                            // name: owned, as large as entries
    uint64_t name_bits[JSON_STACK_SIZE][4]; // for the object at each stack index, one bit
                                            // per tag seen (tag modulo 256)
};

#endif
