#include "http_test_server.h"

#if !defined(_WIN32)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <curl/curl.h>

#include <filesystem>
#include <memory>
#include <random>
#include <sstream>

#include "test_support.h"

namespace http_test {

namespace fs = std::filesystem;
using testing_support::read_file;

namespace {

#if defined(_WIN32)
// Under wine the suite starts the Linux server itself: its folder lies on
// drive Z:, the build machine's root, so both sides name the same files.
fs::path make_work_dir()
{
    fs::path dir = fs::path(VESK_HTTP_WORK_DIR) / std::to_string(std::random_device{}());
    fs::create_directories(dir);
    return dir;
}

// The path as the Linux server names it.
std::string server_side(const fs::path &path)
{
    return path.generic_string().substr(2);
}

// Stops once its records are removed: wine can neither signal it nor
// hand it a pipe.
const char *const stop_word = "watch";
#else
fs::path make_work_dir()
{
    std::string pattern = (fs::temp_directory_path() / "vesk-http-XXXXXX").string();
    EXPECT_NE(mkdtemp(pattern.data()), nullptr);
    return pattern;
}

std::string server_side(const fs::path &path)
{
    return path.string();
}

const char *const stop_word = nullptr;
#endif

class ServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ASSERT_EQ(curl_global_init(CURL_GLOBAL_ALL), CURLE_OK);
        dir_ = make_work_dir();
        fs::create_directory(records());
        fs::path port_file = dir_ / "port";
        std::vector<std::string> args{VESK_HTTP_SERVER, server_side(records()),
                                      server_side(port_file)};
        if (stop_word != nullptr)
            args.push_back(stop_word);
        child_ = std::make_unique<testing_support::Child>(
            VESK_PYTHON, args, dir_, std::vector<std::string>{}, dir_ / "server.err");
        ASSERT_TRUE(testing_support::wait_until([&] { return fs::exists(port_file); }))
            << read_file(dir_ / "server.err");
        port_ = std::stoi(read_file(port_file));
        closed_port_ = std::stoi(read_file(port_file.string() + ".closed"));
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
    int closed_port() const { return closed_port_; }

private:
    fs::path dir_;
    std::unique_ptr<testing_support::Child> child_;
    int port_ = 0;
    int closed_port_ = 0;
};

ServerEnvironment *const environment =
    dynamic_cast<ServerEnvironment *>(::testing::AddGlobalTestEnvironment(new ServerEnvironment));

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
    request.body = testing_support::read_bytes(body);
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

#if defined(_WIN32)
// The server's: the suite has no sockets of its own under wine.
int closed_port()
{
    return environment->closed_port();
}
#else
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
#endif

} // namespace http_test
