// Fixed-size records for the JSON tree. A parse makes one record per value
// and member, so they come from free lists rather than one malloc each:
// taking and giving back is a pointer swap, and records sit together.
#include <cstdint>
#include <cstdlib>
#include <mutex>

#include "json/detail/json_internal.hpp"

namespace {

constexpr bool plain_malloc = JSON_MALLOC_RECORDS != 0;
constexpr size_t slab_bytes = 64 * 1024;
// The slab's first bytes link it into the chain of all slabs.
constexpr size_t slab_header = 16;
constexpr int classes = 2; // 16 and 24 bytes
// Records a thread's list may gather from releases before they are handed
// over to all threads.
constexpr size_t surplus = 16 * 1024;

struct FreeRecord {
    FreeRecord *next;
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

// Shared by all threads, under lock: every slab, kept for the life of the
// process because a record of one thread's slab may live on in a tree that
// another thread holds; and the lists of threads that have ended, which
// the next thread to run short takes over, so memory does not grow with
// the number of threads that come and go.
std::mutex shared_lock;
void *slabs = nullptr;
FreeRecord *orphans[classes] = {};

// Appends list to the orphans of its class; the lock is held.
void orphan(int size_class, FreeRecord *list)
{
    if (list == nullptr)
        return;
    FreeRecord *tail = list;
    while (tail->next != nullptr)
        tail = tail->next;
    tail->next = orphans[size_class];
    orphans[size_class] = list;
}

// A thread's free lists. Plain data, so that it can still be read after the
// thread's teardown has handed its records over (ended set): a tree
// released later in that teardown gives its records straight to the
// orphans.
struct Lists {
    FreeRecord *head[classes];
    size_t held[classes]; // records known to be in each list
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
            orphan(c, lists.head[c]);
            lists.head[c] = nullptr;
        }
        lists.ended = true;
    }
};

thread_local ThreadEnd thread_end;

// Fills the empty list of size_class from the orphans, or else from a new
// slab; false when memory runs out. The lock is held.
bool refill(FreeRecord **head, int size_class)
{
    if (orphans[size_class] != nullptr) {
        *head = orphans[size_class];
        orphans[size_class] = nullptr;
        return true;
    }
    auto *slab = static_cast<unsigned char *>(std::malloc(slab_bytes));
    if (slab == nullptr)
        return false;
    *reinterpret_cast<void **>(slab) = slabs;
    slabs = slab;
    size_t size = class_size(size_class);
    FreeRecord *list = nullptr;
    for (size_t at = slab_header; at + size <= slab_bytes; at += size) {
        auto *record = reinterpret_cast<FreeRecord *>(slab + at);
        record->next = list;
        list = record;
    }
    *head = list;
    return true;
}

} // namespace

void *ub::detail::json_record_take(size_t size) noexcept
{
    if constexpr (plain_malloc)
        return std::malloc(size);
    int size_class = class_of(size);
    if (lists.ended) {
        std::lock_guard<std::mutex> hold(shared_lock);
        FreeRecord *&spare = orphans[size_class];
        if (spare == nullptr && !refill(&spare, size_class))
            return nullptr;
        FreeRecord *record = spare;
        spare = record->next;
        return record;
    }
    FreeRecord *&head = lists.head[size_class];
    if (head == nullptr) {
        // Touching thread_end registers the hand-over for this thread.
        static_cast<void>(&thread_end);
        std::lock_guard<std::mutex> hold(shared_lock);
        if (!refill(&head, size_class))
            return nullptr;
        lists.held[size_class] = 0;
    }
    FreeRecord *record = head;
    head = record->next;
    if (lists.held[size_class] > 0)
        --lists.held[size_class];
    return record;
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
    auto *free_record = static_cast<FreeRecord *>(record);
    if (lists.ended) {
        std::lock_guard<std::mutex> hold(shared_lock);
        free_record->next = orphans[size_class];
        orphans[size_class] = free_record;
        return;
    }
    FreeRecord *&head = lists.head[size_class];
    if (head == nullptr)
        static_cast<void>(&thread_end);
    free_record->next = head;
    head = free_record;
    // A thread that releases what others build hands its surplus over, so
    // that the builders take it instead of carving new slabs.
    if (++lists.held[size_class] >= surplus) {
        std::lock_guard<std::mutex> hold(shared_lock);
        orphan(size_class, head);
        head = nullptr;
        lists.held[size_class] = 0;
    }
}
