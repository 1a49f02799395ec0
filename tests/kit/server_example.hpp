// What the tests of the server examples share: a GET, and a look into the
// day's log.
#ifndef VESK_TESTS_KIT_SERVER_EXAMPLE_HPP
#define VESK_TESTS_KIT_SERVER_EXAMPLE_HPP

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

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

} // namespace server_example

#endif
