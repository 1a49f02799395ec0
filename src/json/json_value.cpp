// The value model: constructors, containers, getters, release and the
// parameter-list conversions.
#include "json/json.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "json/detail/json_internal.hpp"

namespace ub::detail {

const char json_empty_text[] = "";

} // namespace ub::detail

namespace {

using ub::detail::json_as_container;
using ub::detail::json_empty_text;
using ub::detail::json_is_container;
using ub::detail::json_record_give;
using ub::detail::json_record_take;

const char *const type_names[] = {"INTEGER", "NUMBER", "BOOLEAN", "STRING",   "ARRAY",
                                  "OBJECT",  "NULL",   "POINTER", "DATETIME", "NULL"};

bool holds_text(int32_t type)
{
    return (type >= JSON_TYPE_INTEGER && type <= JSON_TYPE_STRING) || type == JSON_TYPE_NULL ||
           type == JSON_TYPE_NULL2;
}

// A text value with its own malloc'd copy of text, so that callers may take
// the text out of the value or replace it with one of their own.
json_value *text_value(int32_t type, const char *text)
{
    if (text == nullptr)
        return nullptr;
    char *copy = strdup(text);
    if (copy == nullptr)
        return nullptr;
    json_value *value = ub::detail::json_text_value_adopt(type, copy);
    if (value == nullptr)
        std::free(copy);
    return value;
}

// Bytes of an item array of capacity slots; 0 when that does not fit a
// size_t (a 32-bit build asked for more than a quarter of its addresses).
size_t items_bytes(int32_t capacity)
{
    auto slots = static_cast<size_t>(capacity);
    return slots > SIZE_MAX / sizeof(void *) ? 0 : slots * sizeof(void *);
}

json_value *container_new(int32_t type, int32_t capacity)
{
    if (capacity <= 0)
        capacity = 1;
    size_t bytes = items_bytes(capacity);
    if (bytes == 0)
        return nullptr;
    auto *container = static_cast<json_container *>(json_record_take(sizeof(json_container)));
    if (container == nullptr)
        return nullptr;
    container->items = static_cast<void **>(std::malloc(bytes));
    if (container->items == nullptr) {
        json_record_give(container, sizeof(json_container));
        return nullptr;
    }
    container->type = type;
    container->count = 0;
    container->capacity = capacity;
    return reinterpret_cast<json_value *>(container);
}

// Reallocates the item array to capacity slots; false, with the record
// unchanged, when that cannot be had.
bool resize_items(json_container *container, int32_t capacity)
{
    size_t bytes = items_bytes(capacity);
    if (bytes == 0)
        return false;
    auto *items = static_cast<void **>(std::realloc(container->items, bytes));
    if (items == nullptr)
        return false;
    container->items = items;
    container->capacity = capacity;
    return true;
}

// Room for one more entry: the capacity doubles once count reaches half of
// it, so a container starting at 1 sees 2, 4, 8 at counts 1, 2, 3. A
// container emptied by json_array_free or json_object_free gets its item
// array back at the capacity it kept, so reuse does not grow it further.
bool grow_for_one(json_container *container)
{
    if (container->items == nullptr && !resize_items(container, std::max(container->capacity, 1)))
        return false;
    if (container->count < container->capacity / 2)
        return true;
    if (container->capacity > INT32_MAX / 2)
        return false;
    return resize_items(container, container->capacity * 2);
}

// Index of the first member called name, or -1.
int32_t member_index(const json_container *object, const char *name)
{
    if (object->items == nullptr)
        return -1;
    for (int32_t i = 0; i < object->count; ++i) {
        auto *member = static_cast<const json_member *>(object->items[i]);
        // The first byte settles most comparisons without a call.
        if (member->name[0] == name[0] && std::strcmp(member->name, name) == 0)
            return i;
    }
    return -1;
}

void remove_slot(json_container *container, int32_t index)
{
    std::memmove(container->items + index, container->items + index + 1,
                 sizeof(void *) * static_cast<size_t>(container->count - index - 1));
    --container->count;
}

void member_free(json_member *member)
{
    json_value_free(member->value);
    std::free(member->name);
    json_record_give(member, sizeof(json_member));
}

json_member *member_new(const char *name, json_value *value)
{
    auto *member = static_cast<json_member *>(json_record_take(sizeof(json_member)));
    if (member == nullptr)
        return nullptr;
    member->name = strdup(name);
    if (member->name == nullptr) {
        json_record_give(member, sizeof(json_member));
        return nullptr;
    }
    member->value = value;
    return member;
}

void release_value(void *value)
{
    json_value_free(static_cast<json_value *>(value));
}

void release_member(void *member)
{
    member_free(static_cast<json_member *>(member));
}

// Releases every entry of a container and then its item array.
void release_items(json_container *container, void (*release)(void *))
{
    for (int32_t i = 0; i < container->count; ++i)
        release(container->items[i]);
    std::free(container->items);
}

// The standard leading-integer reading of a text, kept within int32_t so
// that an out-of-range number cannot overflow.
int32_t leading_int(const char *text)
{
    long number = std::strtol(text, nullptr, 10);
    if (number > INT32_MAX)
        return INT32_MAX;
    if (number < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(number);
}

// The text of an INTEGER, NUMBER, BOOLEAN or STRING; NULL for any other
// value.
const char *scalar_text(const json_value *value)
{
    if (value == nullptr || value->type < JSON_TYPE_INTEGER || value->type > JSON_TYPE_STRING)
        return nullptr;
    return value->payload.text;
}

// The inner release shared by arrays and objects: entries and item array,
// leaving an empty container that a later json_value_free cannot release
// twice.
void release_container(json_value *value, int32_t type, void (*release)(void *))
{
    if (value == nullptr || value->type != type)
        return;
    json_container *container = json_as_container(value);
    if (container->items == nullptr)
        return;
    release_items(container, release);
    container->items = nullptr;
    container->count = 0;
}

const json_container *object_of(const json_value *value)
{
    if (value == nullptr || value->type != JSON_TYPE_OBJECT)
        return nullptr;
    return json_as_container(value);
}

} // namespace

json_value *json_value_new(unsigned int type, const void *text) noexcept
{
    if (type > JSON_TYPE_NULL2)
        return nullptr;
    auto kind = static_cast<int32_t>(type);
    if (holds_text(kind))
        return text_value(kind, static_cast<const char *>(text));
    // A container is already a value: it comes back as given, unread.
    if (kind == JSON_TYPE_ARRAY || kind == JSON_TYPE_OBJECT)
        return static_cast<json_value *>(const_cast<void *>(text));
    if (kind == JSON_TYPE_DATETIME && text == nullptr)
        return nullptr;
    auto *value = static_cast<json_value *>(json_record_take(sizeof(json_value)));
    if (value == nullptr)
        return nullptr;
    value->type = kind;
    if (kind == JSON_TYPE_POINTER) {
        value->payload.pointer = const_cast<void *>(text);
    } else {
        int32_t seconds;
        std::memcpy(&seconds, text, sizeof seconds);
        value->payload.seconds = seconds;
    }
    return value;
}

json_value *json_string_new(const char *text) noexcept
{
    return json_value_new(JSON_TYPE_STRING, text);
}

json_value *json_integer_new(int32_t n) noexcept
{
    char text[30];
    std::snprintf(text, sizeof text, "%d", n);
    return json_value_new(JSON_TYPE_INTEGER, text);
}

json_value *json_number_new(double x) noexcept
{
    // Large magnitudes print more than 29 characters; snprintf cuts them.
    char text[30];
    std::snprintf(text, sizeof text, "%lf", x);
    return json_value_new(JSON_TYPE_NUMBER, text);
}

json_value *json_unixtime_new(int32_t seconds) noexcept
{
    return json_value_new(JSON_TYPE_DATETIME, &seconds);
}

json_value *json_array_new(int32_t capacity) noexcept
{
    return container_new(JSON_TYPE_ARRAY, capacity);
}

json_value *json_object_new(int32_t capacity) noexcept
{
    return container_new(JSON_TYPE_OBJECT, capacity);
}

int32_t json_array_add(json_value *array, json_value *value) noexcept
{
    if (array == nullptr || array->type != JSON_TYPE_ARRAY || value == nullptr)
        return JSON_ERR_NULL;
    json_container *container = json_as_container(array);
    if (!grow_for_one(container))
        return JSON_ERR_NOMEM;
    container->items[container->count++] = value;
    return container->count;
}

json_value *json_array_remove(json_value *array, int32_t index) noexcept
{
    if (array == nullptr || array->type != JSON_TYPE_ARRAY)
        return nullptr;
    json_container *container = json_as_container(array);
    if (container->items == nullptr || index < 0 || index >= container->count)
        return nullptr;
    auto *removed = static_cast<json_value *>(container->items[index]);
    remove_slot(container, index);
    return removed;
}

json_value *json_array_index(const json_value *array, int32_t index) noexcept
{
    if (array == nullptr || array->type != JSON_TYPE_ARRAY)
        return nullptr;
    const json_container *container = json_as_container(array);
    if (container->items == nullptr || index < 0 || index >= container->count)
        return nullptr;
    return static_cast<json_value *>(container->items[index]);
}

int32_t json_array_length(const json_value *container) noexcept
{
    return json_is_container(container) ? json_as_container(container)->count : 0;
}

int32_t json_object_length(const json_value *container) noexcept
{
    return json_array_length(container);
}

int32_t json_object_add(json_value *object, const char *name, json_value *value) noexcept
{
    if (object == nullptr || object->type != JSON_TYPE_OBJECT || name == nullptr ||
        value == nullptr)
        return JSON_ERR_NULL;
    json_container *container = json_as_container(object);
    int32_t index = member_index(container, name);
    if (index >= 0) {
        auto *member = static_cast<json_member *>(container->items[index]);
        // Setting a member to the value it already holds must not free it.
        if (member->value != value) {
            json_value_free(member->value);
            member->value = value;
        }
        return container->count;
    }
    if (!grow_for_one(container))
        return JSON_ERR_NOMEM;
    json_member *member = member_new(name, value);
    if (member == nullptr)
        return JSON_ERR_NOMEM;
    container->items[container->count++] = member;
    return container->count;
}

json_value *ub::detail::json_text_value_adopt(int32_t type, char *text)
{
    auto *value = static_cast<json_value *>(json_record_take(sizeof(json_value)));
    if (value != nullptr) {
        value->type = type;
        value->payload.text = text;
    }
    return value;
}

json_value *ub::detail::json_container_open(int32_t type)
{
    auto *container = static_cast<json_container *>(json_record_take(sizeof(json_container)));
    if (container == nullptr)
        return nullptr;
    container->type = type;
    container->items = nullptr;
    container->count = 0;
    container->capacity = 2;
    return reinterpret_cast<json_value *>(container);
}

namespace {

// The capacity that adding count entries one by one to an open container
// grows it to; -1 when that does not fit 32 bits.
int32_t grown_capacity(const json_value *container, int32_t count)
{
    int32_t capacity = json_as_container(container)->capacity;
    while (count > 0 && count - 1 >= capacity / 2) {
        if (capacity > INT32_MAX / 2)
            return -1;
        capacity *= 2;
    }
    return capacity;
}

} // namespace

void **ub::detail::json_container_items(json_value *value, int32_t count)
{
    int32_t capacity = grown_capacity(value, count);
    size_t bytes = capacity < 0 ? 0 : items_bytes(capacity);
    auto *items = bytes == 0 ? nullptr : static_cast<void **>(std::malloc(bytes));
    if (items == nullptr)
        return nullptr;
    json_container *container = json_as_container(value);
    container->items = items;
    container->count = count;
    container->capacity = capacity;
    return items;
}

json_member *ub::detail::json_member_adopt(char *name, json_value *value)
{
    auto *member = static_cast<json_member *>(json_record_take(sizeof(json_member)));
    if (member != nullptr) {
        member->name = name;
        member->value = value;
    }
    return member;
}

void ub::detail::json_release_entries(int32_t type, void *const *entries, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (type == JSON_TYPE_OBJECT)
            member_free(static_cast<json_member *>(entries[i]));
        else
            json_value_free(static_cast<json_value *>(entries[i]));
    }
}

int32_t json_object_remove(json_value *object, const char *name) noexcept
{
    if (object == nullptr)
        return JSON_ERR_NULL;
    if (object->type != JSON_TYPE_OBJECT)
        return JSON_ERR_TYPE;
    if (name == nullptr)
        return JSON_ERR_NULL;
    json_container *container = json_as_container(object);
    int32_t index = member_index(container, name);
    if (index < 0)
        return 0;
    member_free(static_cast<json_member *>(container->items[index]));
    remove_slot(container, index);
    return 1;
}

json_value *json_object_find(const json_value *object, const char *name) noexcept
{
    const json_container *container = object_of(object);
    if (container == nullptr || name == nullptr)
        return nullptr;
    int32_t index = member_index(container, name);
    return index < 0 ? nullptr : static_cast<json_member *>(container->items[index])->value;
}

const char *json_object_get_string(const json_value *object, const char *name) noexcept
{
    return json_get_string(json_object_find(object, name));
}

int32_t json_object_get_int(const json_value *object, const char *name) noexcept
{
    return leading_int(json_object_get_string(object, name));
}

int32_t json_object_get_unixtime(const json_value *object, const char *name) noexcept
{
    return json_get_unixtime(json_object_find(object, name));
}

int32_t json_object_iter(json_value *object, json_object_iter_callback callback,
                         void *user) noexcept
{
    if (object == nullptr || callback == nullptr)
        return JSON_ERR_NULL;
    if (object->type != JSON_TYPE_OBJECT)
        return JSON_ERR_TYPE;
    json_container *container = json_as_container(object);
    if (container->items == nullptr)
        return 0;
    for (int32_t index = 0; index < container->count; ++index) {
        auto *member = static_cast<json_member *>(container->items[index]);
        if (callback(member->name, member->value, user) != 0)
            return index;
    }
    return container->count;
}

int32_t json_array_iter(json_value *array, json_array_iter_callback callback, void *user) noexcept
{
    if (array == nullptr || callback == nullptr)
        return JSON_ERR_NULL;
    if (array->type != JSON_TYPE_ARRAY)
        return JSON_ERR_TYPE;
    json_container *container = json_as_container(array);
    if (container->items == nullptr)
        return 0;
    for (int32_t index = 0; index < container->count; ++index) {
        if (callback(static_cast<json_value *>(container->items[index]), user) != 0)
            return index;
    }
    return container->count;
}

int32_t json_get_type(const json_value *value) noexcept
{
    return value == nullptr ? JSON_TYPE_NULL : value->type;
}

int32_t json_get_int(const json_value *value) noexcept
{
    const char *text = scalar_text(value);
    if (text == nullptr || value->type == JSON_TYPE_BOOLEAN)
        return 0;
    return leading_int(text);
}

double json_get_double(const json_value *value) noexcept
{
    if (value == nullptr || value->type != JSON_TYPE_NUMBER)
        return 0.0;
    return std::strtod(value->payload.text, nullptr);
}

int32_t json_get_boolean(const json_value *value) noexcept
{
    if (value == nullptr || value->type != JSON_TYPE_BOOLEAN)
        return 0;
    return leading_int(value->payload.text);
}

const char *json_get_string(const json_value *value) noexcept
{
    const char *text = scalar_text(value);
    return text == nullptr ? json_empty_text : text;
}

int32_t json_get_unixtime(const json_value *value) noexcept
{
    if (value == nullptr || value->type != JSON_TYPE_DATETIME)
        return 0;
    return value->payload.seconds;
}

const char *json_type2txt(unsigned int type) noexcept
{
    if (type > JSON_TYPE_NULL2)
        return "### tipo invalido ###";
    return type_names[type];
}

void json_value_free(json_value *value) noexcept
{
    if (value == nullptr)
        return;
    if (holds_text(value->type))
        std::free(value->payload.text);
    else if (value->type == JSON_TYPE_ARRAY)
        json_array_free(value);
    else if (value->type == JSON_TYPE_OBJECT)
        json_object_free(value);
    json_record_give(value, json_is_container(value) ? sizeof(json_container) : sizeof(json_value));
}

void json_array_free(json_value *array) noexcept
{
    release_container(array, JSON_TYPE_ARRAY, release_value);
}

void json_object_free(json_value *object) noexcept
{
    release_container(object, JSON_TYPE_OBJECT, release_member);
}

json_value *json_object_new_list(char *const *list) noexcept
{
    if (list == nullptr)
        return nullptr;
    json_value *object = json_object_new(2);
    if (object == nullptr)
        return nullptr;
    if (json_object_add_list(object, list) < 0) {
        json_value_free(object);
        return nullptr;
    }
    return object;
}

int32_t json_object_add_list(json_value *object, char *const *list) noexcept
{
    if (object == nullptr || list == nullptr)
        return JSON_ERR_NULL;
    if (object->type != JSON_TYPE_OBJECT)
        return JSON_ERR_TYPE;
    int32_t pairs = 0;
    for (; list[0] != nullptr && list[1] != nullptr; list += 2, ++pairs) {
        json_value *value = json_string_new(list[1]);
        if (value == nullptr)
            return JSON_ERR_NOMEM;
        if (json_object_add(object, list[0], value) < 0) {
            json_value_free(value);
            return JSON_ERR_NOMEM;
        }
    }
    return pairs;
}

int32_t json_make_list_param(const json_value *object, char **list) noexcept
{
    if (object == nullptr || list == nullptr)
        return JSON_ERR_NULL;
    if (object->type != JSON_TYPE_OBJECT)
        return JSON_ERR_TYPE;
    int32_t pairs = 0;
    // A final key without a value slot is not a pair: its slot is the end.
    for (; list[0] != nullptr && list[1] != nullptr; list += 2, ++pairs) {
        json_value *value = json_object_find(object, list[0]);
        if (value != nullptr)
            list[1] = const_cast<char *>(json_get_string(value));
    }
    return pairs;
}

const char *json_get_list_param(char *const *list, const char *name) noexcept
{
    if (list == nullptr || name == nullptr)
        return nullptr;
    for (; list[0] != nullptr && list[1] != nullptr; list += 2) {
        if (std::strcmp(list[0], name) == 0)
            return list[1];
    }
    return json_empty_text;
}
