// The loopback server the HTTP tests talk to: started once per test
// program (with libcurl's global initialisation), stopped at its end.
#ifndef TESTS_HTTP_HTTP_TEST_SERVER_H
#define TESTS_HTTP_HTTP_TEST_SERVER_H

#include <map>
#include <string>
#include <vector>

namespace http_test {

// One request as the server received it; header names as sent.
struct Request {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;
    std::string body;

    bool has_header(const std::string &name) const { return headers.count(name) != 0; }
    // The header's value, "" when it is missing.
    std::string header(const std::string &name) const
    {
        auto found = headers.find(name);
        return found != headers.end() ? found->second : std::string();
    }
};

// "http://127.0.0.1:<port>" followed by target.
std::string server_url(const std::string &target);

// Every request recorded so far, in the order they arrived.
std::vector<Request> received();

// A loopback port nothing listens on.
int closed_port();

} // namespace http_test

#endif
