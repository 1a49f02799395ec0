#include "http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <curl/curl.h>

#include <filesystem>
#include <memory>
#include <sstream>

#include "test_support.h"

namespace http_test {

namespace fs = std::filesystem;
using testing_support::read_file;

namespace {

class ServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_EQ(curl_global_init(CURL_GLOBAL_ALL), CURLE_OK);
        std::string pattern = (fs::temp_directory_path() / "vesk-http-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        fs::create_directory(records());
        fs::path port_file = dir_ / "port";
        child_ = std::make_unique<testing_support::Child>(
            VESK_PYTHON, std::vector<std::string>{VESK_HTTP_SERVER, records().string(),
                                                  port_file.string()},
            dir_, std::vector<std::string>{}, dir_ / "server.err");
        ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(port_file); }))
            << read_file(dir_ / "server.err");
        port_ = std::stoi(read_file(port_file));
    }

    void TearDown() override
    {
        child_.reset();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
        curl_global_cleanup();
    }

    fs::path records() const { return dir_ / "records"; }
    int port() const { return port_; }

private:
    fs::path dir_;
    std::unique_ptr<testing_support::Child> child_;
    int port_ = 0;
};

ServerEnvironment *const environment = dynamic_cast<ServerEnvironment *>(
    ::testing::AddGlobalTestEnvironment(new ServerEnvironment));

Request parse_record(const fs::path &head, const fs::path &body)
{
    Request request;
    std::istringstream lines(read_file(head));
    std::string line;
    std::getline(lines, line);
    size_t blank = line.find(' ');
    request.method = line.substr(0, blank);
    request.target = line.substr(blank + 1);
    while (std::getline(lines, line)) {
        size_t colon = line.find(": ");
        request.headers[line.substr(0, colon)] = line.substr(colon + 2);
    }
    request.body = read_file(body);
    return request;
}

} // namespace

std::string server_url(const std::string &target)
{
    return "http://127.0.0.1:" + std::to_string(environment->port()) + target;
}

std::vector<Request> received()
{
    std::vector<Request> requests;
    for (int n = 1;; ++n) {
        fs::path base = environment->records() / std::to_string(n);
        fs::path head = base;
        head += ".head";
        if (!fs::exists(head))
            return requests;
        fs::path body = base;
        body += ".body";
        requests.push_back(parse_record(head, body));
    }
}

int closed_port()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr *>(&address), size);
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
    close(fd);
    return ntohs(address.sin_port);
}

} // namespace http_test
