// Fixed-size records for the JSON tree. A parse makes one record per value
// and member, so they come from free lists rather than one malloc each:
// taking and giving back is a pointer swap, and records sit together.
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>

#include "json/detail/json_internal.hpp"

namespace {

constexpr bool plain_malloc = JSON_MALLOC_RECORDS != 0;
constexpr size_t slab_bytes = 64 * 1024;
constexpr int classes = 2; // 16 and 24 bytes
// Records a thread gathers from releases before it hands them over, as one
// batch, to all threads.
constexpr size_t batch_records = 16 * 1024;

// A free record. The first record of a batch also links the next batch.
struct FreeRecord {
    FreeRecord *next;
    FreeRecord *next_batch;
};

static_assert(sizeof(json_value) <= 16 && sizeof(json_member) <= 16 &&
              sizeof(json_container) <= 24 && sizeof(FreeRecord) <= 16);

int class_of(size_t size)
{
    return size <= 16 ? 0 : 1;
}

size_t class_size(int size_class)
{
    return size_class == 0 ? 16 : 24;
}

// Batches of free records shared by all threads, under lock: what threads
// released beyond a batch, and the lists of threads that have ended. A slab
// is never returned to the system, since a record of it may live on in a
// tree that any thread holds; its records come back here instead, so memory
// stays at the most that was ever in use.
std::mutex shared_lock;
FreeRecord *batches[classes] = {};

// Puts list, if any, on the shared batches; the lock is held.
void share(int size_class, FreeRecord *list)
{
    if (list == nullptr)
        return;
    list->next_batch = batches[size_class];
    batches[size_class] = list;
}

// Takes one shared batch, or else carves a new slab; NULL when memory runs
// out. The lock is held.
FreeRecord *take_batch(int size_class)
{
    if (FreeRecord *batch = batches[size_class]) {
        batches[size_class] = batch->next_batch;
        return batch;
    }
    auto *slab = static_cast<unsigned char *>(std::malloc(slab_bytes));
    if (slab == nullptr)
        return nullptr;
    size_t size = class_size(size_class);
    FreeRecord *list = nullptr;
    for (size_t at = 0; at + size <= slab_bytes; at += size)
        list = ::new (slab + at) FreeRecord{list, nullptr};
    return list;
}

// A thread's free lists: records to take, and those it released since its
// last hand-over. Plain data, so that it can still be read after the
// thread's teardown has handed its records over (ended set): a tree
// released later in that teardown gives its records straight to the shared
// batches.
struct Lists {
    FreeRecord *spare[classes];
    FreeRecord *released[classes];
    size_t released_count[classes];
    bool ended;
};

thread_local Lists lists;

// Hands the thread's lists over when the thread ends.
struct ThreadEnd {
    ThreadEnd() = default;
    ThreadEnd(const ThreadEnd &) = delete;
    ThreadEnd &operator=(const ThreadEnd &) = delete;
    ~ThreadEnd()
    {
        std::lock_guard<std::mutex> hold(shared_lock);
        for (int c = 0; c < classes; ++c) {
            share(c, lists.spare[c]);
            share(c, lists.released[c]);
            lists.spare[c] = lists.released[c] = nullptr;
        }
        lists.ended = true;
    }
};

thread_local ThreadEnd thread_end;

// The first record of list, which is not empty.
FreeRecord *pop(FreeRecord *&list)
{
    FreeRecord *record = list;
    list = record->next;
    return record;
}

} // namespace

void *ub::detail::json_record_take(size_t size) noexcept
{
    if constexpr (plain_malloc)
        return std::malloc(size);
    int size_class = class_of(size);
    if (lists.ended) {
        std::lock_guard<std::mutex> hold(shared_lock);
        FreeRecord *batch = take_batch(size_class);
        if (batch == nullptr)
            return nullptr;
        FreeRecord *record = pop(batch);
        share(size_class, batch);
        return record;
    }
    // The records released last are the likeliest still in the cache.
    if (lists.released[size_class] != nullptr) {
        --lists.released_count[size_class];
        return pop(lists.released[size_class]);
    }
    FreeRecord *&spare = lists.spare[size_class];
    if (spare == nullptr) {
        // Touching thread_end registers the hand-over for this thread.
        static_cast<void>(&thread_end);
        std::lock_guard<std::mutex> hold(shared_lock);
        spare = take_batch(size_class);
        if (spare == nullptr)
            return nullptr;
    }
    return pop(spare);
}

void ub::detail::json_record_give(void *record, size_t size) noexcept
{
    if constexpr (plain_malloc) {
        std::free(record);
        return;
    }
    if (record == nullptr)
        return;
    int size_class = class_of(size);
    if (lists.ended) {
        std::lock_guard<std::mutex> hold(shared_lock);
        share(size_class, ::new (record) FreeRecord{nullptr, nullptr});
        return;
    }
    FreeRecord *&released = lists.released[size_class];
    if (released == nullptr)
        static_cast<void>(&thread_end);
    released = ::new (record) FreeRecord{released, nullptr};
    // A thread that releases what others build hands a full batch over, so
    // that the builders take it instead of carving new slabs.
    if (++lists.released_count[size_class] >= batch_records) {
        std::lock_guard<std::mutex> hold(shared_lock);
        share(size_class, released);
        released = nullptr;
        lists.released_count[size_class] = 0;
    }
}
