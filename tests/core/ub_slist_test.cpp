#include "core/ub_slist.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<int> contents(const ub_slist *list)
{
    std::vector<int> out;
    for (; list != nullptr; list = list->next)
        out.push_back(*static_cast<const int *>(list->data));
    return out;
}

// Nodes only: the data lives in the test.
void release_nodes(ub_slist *list)
{
    while (list != nullptr) {
        ub_slist *next = list->next;
        std::free(list);
        list = next;
    }
}

int compare_calls = 0;

int32_t ascending(const void *first, const void *second)
{
    ++compare_calls;
    return *static_cast<const int *>(first) - *static_cast<const int *>(second);
}

int32_t all_equal(const void *, const void *)
{
    ++compare_calls;
    return 0;
}

// Orders by the tens only, so that stability is visible in the units.
int32_t by_tens(const void *first, const void *second)
{
    return *static_cast<const int *>(first) / 10 - *static_cast<const int *>(second) / 10;
}

TEST(UbSlist, AppendPrependAndLength)
{
    int a = 1, b = 2, c = 3;
    ub_slist *list = nullptr;
    EXPECT_EQ(ub_slist_length(list), 0);
    list = ub_slist_append(list, &b);
    ub_slist *head = list;
    EXPECT_EQ(ub_slist_append(list, &c), head);
    list = ub_slist_prepend(list, &a);
    EXPECT_EQ(contents(list), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(ub_slist_length(list), 3);
    release_nodes(list);
}

TEST(UbSlist, RemoveDataTakesOnlyTheFirstMatch)
{
    int a = 1, b = 2;
    ub_slist *list = nullptr;
    for (int *data : {&a, &b, &a, &b})
        list = ub_slist_append(list, data);
    list = ub_slist_remove_data(list, &b);
    EXPECT_EQ(contents(list), (std::vector<int>{1, 1, 2}));

    ub_slist *second = list->next;
    list = ub_slist_remove_data(list, &a);
    EXPECT_EQ(list, second);
    EXPECT_EQ(contents(list), (std::vector<int>{1, 2}));

    int absent = 9;
    EXPECT_EQ(ub_slist_remove_data(list, &absent), list);
    EXPECT_EQ(ub_slist_remove_data(nullptr, &a), nullptr);
    // A NULL data value keeps the list instead of losing it.
    EXPECT_EQ(ub_slist_remove_data(list, nullptr), list);
    EXPECT_EQ(ub_slist_length(list), 2);
    release_nodes(list);
}

TEST(UbSlist, RemoveAllReleasesNodesAndData)
{
    ub_slist *list = nullptr;
    for (int i = 0; i < 3; ++i)
        list = ub_slist_append(list, strdup("x"));
    EXPECT_EQ(ub_slist_remove_all(list), 0);
    EXPECT_EQ(ub_slist_remove_all(nullptr), 0);
}

TEST(UbSlist, SortRelinksNodes)
{
    std::vector<int> data{5, 3, 9, 1, 7, 2};
    ub_slist *list = nullptr;
    std::vector<ub_slist *> nodes;
    for (int &value : data) {
        list = ub_slist_append(list, &value);
    }
    for (ub_slist *node = list; node != nullptr; node = node->next)
        nodes.push_back(node);
    compare_calls = 0;
    list = ub_slist_sort(list, ascending);
    EXPECT_EQ(contents(list), (std::vector<int>{1, 2, 3, 5, 7, 9}));
    // Full passes without an early exit: (n - 1) passes of n - 1 pairs.
    EXPECT_EQ(compare_calls, 25);
    // Nodes moved, data did not: each node still holds its own element.
    for (size_t i = 0; i < nodes.size(); ++i)
        EXPECT_EQ(nodes[i]->data, &data[i]);
    release_nodes(list);
}

TEST(UbSlist, SortIsStableAndCheapOnOneNode)
{
    std::vector<int> data{21, 10, 22, 11, 20};
    ub_slist *list = nullptr;
    for (int &value : data)
        list = ub_slist_append(list, &value);
    list = ub_slist_sort(list, by_tens);
    EXPECT_EQ(contents(list), (std::vector<int>{10, 11, 21, 22, 20}));

    compare_calls = 0;
    ub_slist *same = ub_slist_sort(list, all_equal);
    EXPECT_EQ(same, list);
    EXPECT_EQ(contents(same), (std::vector<int>{10, 11, 21, 22, 20}));
    release_nodes(list);

    int only = 4;
    ub_slist *one = ub_slist_append(nullptr, &only);
    compare_calls = 0;
    EXPECT_EQ(ub_slist_sort(one, ascending), one);
    EXPECT_EQ(compare_calls, 0);
    EXPECT_EQ(ub_slist_sort(nullptr, ascending), nullptr);
    release_nodes(one);
}

} // namespace
