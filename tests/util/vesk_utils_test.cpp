#include "util/vesk_utils.h"

#include <gtest/gtest.h>

namespace {

TEST(VeskUtils, FindKeyReturnsTheValueIndexOfTheFirstEqualKey)
{
    char *list[] = {const_cast<char *>("PORT"),
                    const_cast<char *>("9000"),
                    const_cast<char *>("port"),
                    const_cast<char *>("1"),
                    const_cast<char *>("PORT"),
                    const_cast<char *>("81"),
                    nullptr};
    EXPECT_EQ(vesk_findKey(list, "PORT"), 1);
    EXPECT_EQ(vesk_findKey(list, "port"), 3);
    EXPECT_EQ(vesk_findKey(list, "POR"), VESK_FIND_NOT_FOUND);
    EXPECT_EQ(vesk_findKey(list, "9000"), VESK_FIND_NOT_FOUND); // values are not keys
    EXPECT_EQ(vesk_findKey(nullptr, "PORT"), VESK_FIND_NULL_LIST);
    EXPECT_STREQ(vesk_getParam(list, "PORT"), "9000");
}

TEST(VeskUtils, AFinalKeyWithoutValueNeverMatches)
{
    char *list[] = {const_cast<char *>("A"), const_cast<char *>("1"),
                    const_cast<char *>("B"), nullptr,
                    const_cast<char *>("B"), const_cast<char *>("2")};
    EXPECT_EQ(vesk_findKey(list, "B"), VESK_FIND_NOT_FOUND);
    EXPECT_STREQ(vesk_getParam(list, "B"), "");
}

TEST(VeskUtils, GetParamGivesTheSharedEmptyTextWhenMissing)
{
    char *empty[] = {nullptr};
    const char *missing = vesk_getParam(empty, "X");
    ASSERT_NE(missing, nullptr);
    EXPECT_STREQ(missing, "");
    EXPECT_EQ(vesk_getParam(nullptr, "X"), missing);
    EXPECT_EQ(vesk_getParam(empty, nullptr), missing);
}

} // namespace
