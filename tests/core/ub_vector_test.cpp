#include "core/ub_vector.h"

#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct VectorDeleter {
    void operator()(ub_vector *vector) const { vector_free(vector); }
};
using VectorPtr = std::unique_ptr<ub_vector, VectorDeleter>;

std::vector<intptr_t> values(const ub_vector *vector)
{
    return std::vector<intptr_t>(vector->items, vector->items + vector->count);
}

TEST(UbVector, PushGrowsThroughPowersOfTwo)
{
    VectorPtr v(vector_new());
    EXPECT_EQ(v->capacity, 2);
    std::vector<int32_t> capacities;
    for (intptr_t i = 1; i <= 9; ++i) {
        EXPECT_EQ(vector_push(v.get(), i * 10), i);
        capacities.push_back(v->capacity);
    }
    EXPECT_EQ(capacities, (std::vector<int32_t>{2, 2, 4, 4, 8, 8, 8, 8, 16}));
    EXPECT_EQ(vector_pop(v.get()), 90);
    EXPECT_EQ(vector_length(v.get()), 8);
    EXPECT_EQ(vector_get_index(v.get(), 7), 80);
    EXPECT_EQ(vector_get_index(v.get(), 8), 0);
    EXPECT_EQ(vector_get_index(v.get(), -1), 0);
    EXPECT_EQ(vector_remove_all(v.get()), 8);
    EXPECT_EQ(v->capacity, 16);
    EXPECT_EQ(vector_pop(v.get()), 0);
    EXPECT_EQ(vector_length(v.get()), 0);
}

TEST(UbVector, HoldsWholePointers)
{
    VectorPtr v(vector_new());
    int target = 0;
    vector_push(v.get(), reinterpret_cast<intptr_t>(&target));
    EXPECT_EQ(reinterpret_cast<int *>(vector_get_index(v.get(), 0)), &target);
}

TEST(UbVector, InsertAndPrependBounds)
{
    VectorPtr v(vector_new());
    vector_push(v.get(), 1);
    vector_push(v.get(), 3);
    EXPECT_EQ(vector_insert(v.get(), 1, 2), 3);
    EXPECT_EQ(vector_insert(v.get(), 3, 4), 4); // index == count appends
    EXPECT_EQ(vector_insert(v.get(), 5, 9), 4);
    EXPECT_EQ(vector_insert(v.get(), -1, 9), 4);
    EXPECT_EQ(vector_prepend(v.get(), 0), 5);
    EXPECT_EQ(values(v.get()), (std::vector<intptr_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(v->capacity, 8);
}

TEST(UbVector, RemovalsKeepOrder)
{
    VectorPtr v(vector_new());
    for (intptr_t value : {7, 1, 7, 2, 7, 3})
        vector_push(v.get(), value);
    EXPECT_EQ(vector_remove(v.get(), 7), 3);
    EXPECT_EQ(values(v.get()), (std::vector<intptr_t>{1, 2, 3}));
    EXPECT_EQ(vector_remove(v.get(), 42), 0);
    EXPECT_EQ(vector_remove_index(v.get(), 0), 1);
    EXPECT_EQ(vector_remove_index(v.get(), 2), 0);
    EXPECT_EQ(vector_remove_index(v.get(), -1), 0);
    EXPECT_EQ(values(v.get()), (std::vector<intptr_t>{2, 3}));
}

TEST(UbVector, NullVectorChangesNothing)
{
    EXPECT_EQ(vector_push(nullptr, 1), 0);
    EXPECT_EQ(vector_pop(nullptr), 0);
    EXPECT_EQ(vector_prepend(nullptr, 1), 0);
    EXPECT_EQ(vector_insert(nullptr, 0, 1), 0);
    EXPECT_EQ(vector_remove_index(nullptr, 0), 0);
    EXPECT_EQ(vector_iter(nullptr, nullptr, 0), -1);
    vector_free(nullptr);
}

struct IterLog {
    std::vector<int32_t> indexes;
    int32_t stop_at = -1;
};

int record_index(ub_vector *, int32_t index, intptr_t, intptr_t user)
{
    auto *log = reinterpret_cast<IterLog *>(user);
    log->indexes.push_back(index);
    return index == log->stop_at;
}

int pop_while_iterating(ub_vector *vector, int32_t, intptr_t, intptr_t)
{
    vector_pop(vector);
    return 0;
}

TEST(UbVector, IterStopsAtFirstNonZero)
{
    VectorPtr v(vector_new());
    IterLog log;
    EXPECT_EQ(vector_iter(v.get(), record_index, reinterpret_cast<intptr_t>(&log)), 0);
    EXPECT_TRUE(log.indexes.empty());

    for (intptr_t i = 0; i < 5; ++i)
        vector_push(v.get(), i);
    log.stop_at = 2;
    EXPECT_EQ(vector_iter(v.get(), record_index, reinterpret_cast<intptr_t>(&log)), 2);
    EXPECT_EQ(log.indexes, (std::vector<int32_t>{0, 1, 2}));
    log = IterLog{};
    EXPECT_EQ(vector_iter(v.get(), record_index, reinterpret_cast<intptr_t>(&log)), 5);

    // The count is read again before each call, and a walk that no call
    // stopped reports the count it ends with: three calls, two values left.
    EXPECT_EQ(vector_iter(v.get(), pop_while_iterating, 0), 2);
    EXPECT_EQ(vector_length(v.get()), 2);
}

} // namespace
