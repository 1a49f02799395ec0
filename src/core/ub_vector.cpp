#include "core/ub_vector.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr int32_t initial_capacity = 2;

// Makes room for one more value; false when the vector cannot grow.
bool room_for_one(ub_vector *vector)
{
    return vector->count < vector->capacity || vector_resize(vector) >= 0;
}

} // namespace

ub_vector *vector_new(void) noexcept
{
    auto *vector = static_cast<ub_vector *>(std::malloc(sizeof(ub_vector)));
    if (vector == nullptr)
        return nullptr;
    vector->items = static_cast<intptr_t *>(std::calloc(initial_capacity, sizeof(intptr_t)));
    if (vector->items == nullptr) {
        std::free(vector);
        return nullptr;
    }
    vector->capacity = initial_capacity;
    vector->count = 0;
    return vector;
}

void vector_free(ub_vector *vector) noexcept
{
    if (vector == nullptr)
        return;
    std::free(vector->items);
    std::free(vector);
}

int32_t vector_resize(ub_vector *vector) noexcept
{
    if (vector == nullptr)
        return 0;
    // The doubled count must fit the 32-bit field and its bytes a size_t.
    if (vector->capacity > INT32_MAX / 2 ||
        static_cast<size_t>(vector->capacity) > SIZE_MAX / 2 / sizeof(intptr_t))
        return UB_VECTOR_NOMEM;
    int32_t capacity = vector->capacity * 2;
    auto *grown = static_cast<intptr_t *>(
        std::realloc(vector->items, static_cast<size_t>(capacity) * sizeof(intptr_t)));
    if (grown == nullptr)
        return UB_VECTOR_NOMEM;
    vector->items = grown;
    vector->capacity = capacity;
    return capacity;
}

int32_t vector_push(ub_vector *vector, intptr_t value) noexcept
{
    if (vector == nullptr)
        return 0;
    if (!room_for_one(vector))
        return UB_VECTOR_NOMEM;
    vector->items[vector->count++] = value;
    return vector->count;
}

intptr_t vector_pop(ub_vector *vector) noexcept
{
    if (vector == nullptr || vector->count <= 0)
        return 0;
    return vector->items[--vector->count];
}

intptr_t vector_get_index(const ub_vector *vector, int32_t index) noexcept
{
    if (vector == nullptr || index < 0 || index >= vector->count)
        return 0;
    return vector->items[index];
}

intptr_t vector_remove_index(ub_vector *vector, int32_t index) noexcept
{
    if (vector == nullptr || index < 0 || index >= vector->count)
        return 0;
    intptr_t removed = vector->items[index];
    std::memmove(vector->items + index, vector->items + index + 1,
                 static_cast<size_t>(vector->count - index - 1) * sizeof(intptr_t));
    --vector->count;
    return removed;
}

int32_t vector_remove(ub_vector *vector, intptr_t value) noexcept
{
    if (vector == nullptr)
        return 0;
    int32_t kept = 0;
    for (int32_t i = 0; i < vector->count; ++i) {
        if (vector->items[i] != value)
            vector->items[kept++] = vector->items[i];
    }
    int32_t removed = vector->count - kept;
    vector->count = kept;
    return removed;
}

int32_t vector_remove_all(ub_vector *vector) noexcept
{
    if (vector == nullptr)
        return 0;
    int32_t previous = vector->count;
    vector->count = 0;
    return previous;
}

int32_t vector_prepend(ub_vector *vector, intptr_t value) noexcept
{
    return vector_insert(vector, 0, value);
}

int32_t vector_insert(ub_vector *vector, int32_t index, intptr_t value) noexcept
{
    if (vector == nullptr)
        return 0;
    if (index < 0 || index > vector->count)
        return vector->count;
    if (!room_for_one(vector))
        return UB_VECTOR_NOMEM;
    std::memmove(vector->items + index + 1, vector->items + index,
                 static_cast<size_t>(vector->count - index) * sizeof(intptr_t));
    vector->items[index] = value;
    return ++vector->count;
}

int32_t vector_length(const ub_vector *vector) noexcept
{
    return vector == nullptr ? 0 : vector->count;
}

int32_t vector_iter(ub_vector *vector, vector_iter_callback callback, intptr_t user) noexcept
{
    if (vector == nullptr || callback == nullptr)
        return -1;
    // The callback may change the vector: count is read again each time,
    // and a walk that nothing stopped reports the count it ends with.
    for (int32_t index = 0; index < vector->count; ++index) {
        if (callback(vector, index, vector->items[index], user) != 0)
            return index;
    }
    return vector->count;
}
