#include "log/messages.hpp"

#include <string>
#include <vector>

#include "test_support.h"

namespace {

// A message goes out as its row says: the row's component and level reach
// the sink, and its route decides the escaping (the log's "\r" escaped,
// standard output's text as it is), with or without arguments.
TEST(Messages, WriteTheirRowsComponentLevelAndRoute)
{
    std::vector<std::string> got;
    verbose_set_sink(testing_support::record_diagnostic, &got);
    EXPECT_EQ(verbose_message(VESK_MSG_DELETE_WOULD_REMOVE, "a\rb"), 30);
    verbose_message(VESK_MSG_JVM_OPTION, "a\rb");
    verbose_message(VESK_MSG_CORE_NO_MEMORY);
    verbose_set_sink(nullptr, nullptr);
    EXPECT_EQ(got, (std::vector<std::string>{"DELETE 4 'a\\rb' a ser removido (test).\n",
                                             "JVM 4 \ta\rb\n", "CORE 2 malloc ERROR...\n"}));
}

} // namespace
