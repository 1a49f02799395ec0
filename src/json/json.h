#ifndef JSON_JSON_H
#define JSON_JSON_H
/* JSON trees: typed values with their constructors, container operations
 * and getters, the compact serializer and debug listing, and the parse
 * entry points of the relaxed JSON reader. */

#include <stdint.h>
#include <stdio.h>

#include "core/ub_string.h"
#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: the caller owns the root of every tree it builds or
 * receives and releases it with json_value_free. Containers own the values
 * added to them, and an add takes ownership only when it succeeds. Texts
 * given to constructors are copied, except the foreign pointer of a
 * POINTER value. Getters return pointers borrowed from the tree, or the
 * shared empty text "" (never NULL, never to be written or freed). Counts
 * and indexes are 0 or more on success; failures use json_result. */

/* Value types: the number held in json_value.type. */
enum json_type {
    JSON_TYPE_INTEGER = 0,  /* owned text of the number as written */
    JSON_TYPE_NUMBER = 1,   /* owned text of the number (fraction, exponent) as written */
    JSON_TYPE_BOOLEAN = 2,  /* owned text; parsed values hold "1" or "0" */
    JSON_TYPE_STRING = 3,   /* owned decoded text */
    JSON_TYPE_ARRAY = 4,    /* json_container of values */
    JSON_TYPE_OBJECT = 5,   /* json_container of json_member records */
    JSON_TYPE_NULL = 6,     /* owned text; parsed values hold "null" */
    JSON_TYPE_POINTER = 7,  /* foreign pointer, neither copied nor owned */
    JSON_TYPE_DATETIME = 8, /* seconds since 1970-01-01 00:00:00 UTC */
    JSON_TYPE_NULL2 = 9     /* owned text; written as nothing */
};

/* Failure results of the count- and index-returning operations. */
enum json_result {
    JSON_ERR_NULL = -1, /* NULL argument (also: wrong container for adds) */
    JSON_ERR_TYPE = -2, /* container of the wrong type */
    JSON_ERR_NOMEM = -3 /* memory ran out; nothing changed */
};

/* Payload of a value, by type. Every text (and every member name) is a
 * malloc'd copy of its own, released by json_value_free when not NULL: a
 * caller may take it out (set the pointer to NULL and free it later) or
 * replace it with another malloc'd text after freeing the old one. */
typedef union json_payload {
    char *text;      /* INTEGER, NUMBER, BOOLEAN, STRING, NULL, type 9: owned, malloc'd */
    void *pointer;   /* POINTER */
    int32_t seconds; /* DATETIME */
    void **items;    /* ARRAY, OBJECT: the container's item array */
} json_payload;

/* Every value starts with these two fields. */
typedef struct json_value {
    int32_t type;         /* a json_type */
    json_payload payload; /* meaning depends on type */
} json_value;

/* Arrays and objects: a json_value whose payload is the item array,
 * followed by the counts. Reached by casting a json_value of type 4 or 5. */
typedef struct json_container {
    int32_t type;     /* JSON_TYPE_ARRAY or JSON_TYPE_OBJECT */
    void **items;     /* owned: json_value * (array) or json_member * (object) */
    int32_t count;    /* slots in use */
    int32_t capacity; /* slots allocated, at least 1 */
} json_container;

/* One member of an object. */
typedef struct json_member {
    char *name;        /* owned malloc'd copy of the member name */
    json_value *value; /* owned value */
} json_member;

/* Callbacks of the iterators: return 0 to go on, non-zero to stop. */
typedef int (*json_object_iter_callback)(const char *name, json_value *value, void *user);
typedef int (*json_array_iter_callback)(json_value *value, void *user);

/* ---- Constructors: each returns a new value owned by the caller, or NULL
 * when memory runs out or an argument is unusable. */

/* A value of type: types 0-3, 6, 9 copy the text (NULL text gives NULL);
 * type 7 stores the pointer itself; type 8 reads the int32_t seconds at
 * the address text; types 4 and 5 return text itself, unchanged (it must
 * already be a container); types above 9 give NULL. */
json_value *json_value_new(unsigned int type, const void *text) UB_NOEXCEPT;

/* A STRING holding a copy of text. */
json_value *json_string_new(const char *text) UB_NOEXCEPT;

/* An INTEGER holding n written with "%d". */
json_value *json_integer_new(int32_t n) UB_NOEXCEPT;

/* A NUMBER holding x written with "%lf" (six decimals), cut to 29
 * characters. */
json_value *json_number_new(double x) UB_NOEXCEPT;

/* A DATETIME holding seconds. */
json_value *json_unixtime_new(int32_t seconds) UB_NOEXCEPT;

/* An empty array / object with room for capacity entries (1 when capacity
 * is 0 or negative). */
json_value *json_array_new(int32_t capacity) UB_NOEXCEPT;
json_value *json_object_new(int32_t capacity) UB_NOEXCEPT;

/* ---- Containers. */

/* Appends value, which the array then owns. The new count; JSON_ERR_NULL
 * when array is NULL or not an array or value is NULL; JSON_ERR_NOMEM. */
int32_t json_array_add(json_value *array, json_value *value) UB_NOEXCEPT;

/* Takes the element at index out of the array and gives it back to the
 * caller; later elements move down. NULL for a NULL or non-array argument
 * or an index outside 0 .. count - 1. */
json_value *json_array_remove(json_value *array, int32_t index) UB_NOEXCEPT;

/* The element at index, borrowed; NULL as for json_array_remove. */
json_value *json_array_index(const json_value *array, int32_t index) UB_NOEXCEPT;

/* The count of a container of either kind; 0 for NULL or a scalar. */
int32_t json_array_length(const json_value *container) UB_NOEXCEPT;
int32_t json_object_length(const json_value *container) UB_NOEXCEPT;

/* Sets member name to value, which the object then owns. An existing
 * member keeps its place, its old value is released, and the unchanged
 * count is returned; otherwise a member is appended and the new count
 * returned. JSON_ERR_NULL for a NULL or non-object object, a NULL name or
 * value; JSON_ERR_NOMEM. */
int32_t json_object_add(json_value *object, const char *name, json_value *value) UB_NOEXCEPT;

/* Releases the first member called name; 1 when one was removed, 0 when
 * none has that name, JSON_ERR_NULL for a NULL object or name,
 * JSON_ERR_TYPE for a non-object. */
int32_t json_object_remove(json_value *object, const char *name) UB_NOEXCEPT;

/* The value of member name, borrowed; NULL when object is NULL or not an
 * object, name is NULL or no member has it. */
json_value *json_object_find(const json_value *object, const char *name) UB_NOEXCEPT;

/* json_get_string of member name; "" when it cannot be found. */
const char *json_object_get_string(const json_value *object, const char *name) UB_NOEXCEPT;

/* Leading decimal integer of json_object_get_string (0 when none; clamped
 * to the int32_t range). */
int32_t json_object_get_int(const json_value *object, const char *name) UB_NOEXCEPT;

/* json_get_unixtime of member name; 0 when it cannot be found. */
int32_t json_object_get_unixtime(const json_value *object, const char *name) UB_NOEXCEPT;

/* Calls callback(name, value, user) for each member in order, stopping at
 * the first non-zero return. The index where it stopped, or the count;
 * JSON_ERR_NULL for a NULL object or callback, JSON_ERR_TYPE for a
 * non-object. */
int32_t json_object_iter(json_value *object, json_object_iter_callback callback,
                         void *user) UB_NOEXCEPT;

/* Same for the elements of an array, with callback(value, user). */
int32_t json_array_iter(json_value *array, json_array_iter_callback callback,
                        void *user) UB_NOEXCEPT;

/* ---- Getters; each accepts NULL. */

/* The type; JSON_TYPE_NULL for NULL. */
int32_t json_get_type(const json_value *value) UB_NOEXCEPT;

/* Leading decimal integer of the text of an INTEGER, NUMBER or STRING
 * (clamped to the int32_t range); 0 for every other type. */
int32_t json_get_int(const json_value *value) UB_NOEXCEPT;

/* Floating value of a NUMBER's text; 0.0 for every other type. */
double json_get_double(const json_value *value) UB_NOEXCEPT;

/* Leading decimal integer of a BOOLEAN's text ("1" gives 1, "0" and
 * "true" give 0); 0 for every other type. */
int32_t json_get_boolean(const json_value *value) UB_NOEXCEPT;

/* The text of types 0 to 3, borrowed; "" for every other type. */
const char *json_get_string(const json_value *value) UB_NOEXCEPT;

/* The seconds of a DATETIME; 0 for every other type. */
int32_t json_get_unixtime(const json_value *value) UB_NOEXCEPT;

/* The name of a type number ("INTEGER" ... "NULL"), constant;
 * "### tipo invalido ###" above 9. */
const char *json_type2txt(unsigned int type) UB_NOEXCEPT;

/* ---- Release. */

/* Releases value and everything it owns; NULL is ignored. */
void json_value_free(json_value *value) UB_NOEXCEPT;

/* Releases the elements / members and the item array of a container, not
 * the record, and leaves it empty without an item array. NULL is ignored. */
void json_array_free(json_value *array) UB_NOEXCEPT;
void json_object_free(json_value *object) UB_NOEXCEPT;

/* ---- Parameter lists: arrays of texts holding alternating key and value,
 * ended by a NULL key. */

/* A new object with one STRING member per pair, in list order, up to the
 * first NULL key or value; a repeated key replaces the earlier value.
 * NULL for a NULL list or when memory runs out. */
json_value *json_object_new_list(char *const *list) UB_NOEXCEPT;

/* Adds one STRING member per pair to object, up to the first NULL key or
 * value. The number of pairs added; JSON_ERR_NULL for a NULL argument,
 * JSON_ERR_TYPE for a non-object, JSON_ERR_NOMEM (pairs before it stay). */
int32_t json_object_add_list(json_value *object, char *const *list) UB_NOEXCEPT;

/* For each pair whose key names a member of object, overwrites the pair's
 * value slot with json_get_string of that member (borrowed from the tree:
 * the list must not outlive it, and the slot must not be written or
 * freed). The number of pairs; JSON_ERR_NULL, JSON_ERR_TYPE. */
int32_t json_make_list_param(const json_value *object, char **list) UB_NOEXCEPT;

/* The value of the first pair whose key is name, borrowed; "" when none,
 * NULL when list or name is NULL. */
const char *json_get_list_param(char *const *list, const char *name) UB_NOEXCEPT;

/* ---- Serializer and debug listing. */

/* The compact text form of value ("null" for NULL), caller-owned (free).
 * NULL when memory runs out. Texts and member names are escaped as
 * json_serialize_scape does; the tree is not changed. */
char *json_serialize(json_value *value) UB_NOEXCEPT;

/* Writes the text form to a file created or truncated at path. The count
 * of characters written (4 for a NULL value); -1 when the file cannot be
 * opened, JSON_ERR_NOMEM, or a negative count on a write error. */
int json_serialize_file(json_value *value, const char *path) UB_NOEXCEPT;

/* Appends the text form of value to out. 0, or JSON_ERR_NOMEM when out
 * cannot grow (out then holds a partial text). */
int json_serialize_in(json_value *value, ub_string *out) UB_NOEXCEPT;

/* Appends text escaped so that any JSON reader reads back its bytes: \"
 * and \\, controls below 0x20 as \n \t \r \b \f or \u00XX; bytes from 0x80
 * up unchanged. The number of escapes written, or JSON_ERR_NOMEM. */
int32_t json_serialize_scape(ub_string *out, const char *text) UB_NOEXCEPT;

/* Replaces each double quote of text with a space, in place (for callers
 * that want such names; the serializer escapes them instead). */
void adjust_string(char *text) UB_NOEXCEPT;

/* Prints the indented listing of value to standard output. */
void json_show_value(const json_value *value) UB_NOEXCEPT;
void json_show_value_in(const json_value *value, int depth) UB_NOEXCEPT;

/* Prints n tabs to standard output; the number printed (0 for n <= 0). */
int json_isert_tabs(int n) UB_NOEXCEPT;

/* ---- Parsing. Errors are written to standard error as "%d - %s\n" with
 * the line number and the parser's message. */

/* Reads one document from file's current position to its end (a zero byte
 * also ends it); the file stays open. The tree, caller-owned, or NULL for
 * a NULL file or any error (nothing partial is kept). */
json_value *json_parse_file(FILE *file) UB_NOEXCEPT;

/* Same for a zero-terminated text, which is neither changed nor kept. */
json_value *json_parse_mem(const char *text) UB_NOEXCEPT;

/* A copy of value made by serializing and parsing it again, so it is what
 * the text form reads back as (booleans become integers, dates strings,
 * pointers integers); NULL for NULL or when the text does not parse. */
json_value *json_clone(json_value *value) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
