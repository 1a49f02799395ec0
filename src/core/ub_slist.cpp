#include "core/ub_slist.h"

#include <cstdlib>

#include "log/messages.hpp"

namespace {

ub_slist *new_node(void *data, ub_slist *next)
{
    auto *node = static_cast<ub_slist *>(std::malloc(sizeof(ub_slist)));
    if (node == nullptr) {
        verbose_message(VESK_MSG_CORE_NO_MEMORY);
        return nullptr;
    }
    node->data = data;
    node->next = next;
    return node;
}

} // namespace

ub_slist *ub_slist_append(ub_slist *list, void *data) noexcept
{
    ub_slist *node = new_node(data, nullptr);
    if (node == nullptr)
        return list;
    if (list == nullptr)
        return node;
    ub_slist *last = list;
    while (last->next != nullptr)
        last = last->next;
    last->next = node;
    return list;
}

ub_slist *ub_slist_prepend(ub_slist *list, void *data) noexcept
{
    ub_slist *node = new_node(data, list);
    return node == nullptr ? list : node;
}

int32_t ub_slist_length(const ub_slist *list) noexcept
{
    int32_t count = 0;
    for (; list != nullptr; list = list->next)
        ++count;
    return count;
}

ub_slist *ub_slist_remove_data(ub_slist *list, const void *data) noexcept
{
    // A NULL data value keeps the list: returning NULL here would make the
    // usual `list = ub_slist_remove_data(list, x)` drop every node.
    if (list == nullptr || data == nullptr)
        return list;
    for (ub_slist **link = &list; *link != nullptr; link = &(*link)->next) {
        ub_slist *node = *link;
        if (node->data == data) {
            *link = node->next;
            std::free(node);
            break;
        }
    }
    return list;
}

int ub_slist_remove_all(ub_slist *list) noexcept
{
    while (list != nullptr) {
        ub_slist *next = list->next;
        std::free(list->data);
        std::free(list);
        list = next;
    }
    return 0;
}

ub_slist *ub_slist_sort(ub_slist *list, ub_slist_compare compare) noexcept
{
    if (list == nullptr || compare == nullptr)
        return list;
    int32_t count = ub_slist_length(list);
    // count - 1 full passes, no early exit; each pass walks the adjacent
    // pairs from the front and swaps a pair only when it compares above 0,
    // which keeps equal elements in their order.
    for (int32_t pass = 1; pass < count; ++pass) {
        for (ub_slist **link = &list; (*link)->next != nullptr;) {
            ub_slist *first = *link;
            ub_slist *second = first->next;
            if (compare(first->data, second->data) > 0) {
                first->next = second->next;
                second->next = first;
                *link = second;
            }
            link = &(*link)->next;
        }
    }
    return list;
}
