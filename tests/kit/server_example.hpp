// What the tests of the server examples share: a GET, and a look into the
// day's log.
#ifndef VESK_TESTS_KIT_SERVER_EXAMPLE_HPP
#define VESK_TESTS_KIT_SERVER_EXAMPLE_HPP

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "http/url.h"
#include "test_support.h"

namespace server_example {

// The body of a GET of address, or "" when it failed.
inline std::string fetch(const std::string &address)
{
    url *target = url_new(address.c_str());
    char *body = nullptr;
    int length = url_execute_get(target, &body, nullptr, nullptr);
    std::string text = length > 0 && body != nullptr ? std::string(body, length) : "";
    std::free(body);
    url_free(target);
    return text;
}

// Whether some line of the day's log in dir matches pattern; the match.
inline bool logged(const std::filesystem::path &dir, const std::regex &pattern,
                   std::smatch *match = nullptr)
{
    std::smatch found;
    for (const std::string &line : testing_support::read_lines(testing_support::todays_log(dir))) {
        if (std::regex_search(line, found, pattern)) {
            if (match != nullptr)
                *match = found;
            return true;
        }
    }
    return false;
}

// Checks what an example server at base serves: its page, titled for
// server, and its status JSON, from a JVM with the JIT on and a heap limit
// of 64 MiB.
inline void expect_page_and_status(const std::string &base, const std::string &server)
{
    EXPECT_NE(fetch(base).find("<h1>VESK - Service: " + server + "</h1>"), std::string::npos);
    std::string status = fetch(base + "api/status");
    EXPECT_NE(status.find("\"hospedado\":true"), std::string::npos) << status;
    EXPECT_NE(status.find("\"vm\":\"mixed mode"), std::string::npos) << status;
    std::smatch heap;
    ASSERT_TRUE(std::regex_search(status, heap, std::regex(R"("heapMax":(\d+))"))) << status;
    EXPECT_LE(std::stoll(heap[1]), 64LL << 20);
    EXPECT_GT(std::stoll(heap[1]), 32LL << 20);
}

} // namespace server_example

#endif
