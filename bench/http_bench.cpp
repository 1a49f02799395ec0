// Sequential GETs of a 1 KiB body through url_execute_get, beside a plain
// libcurl loop that also makes and cleans up one easy handle per request
// with the same options; both against a loopback server thread of this
// program that answers each request in one write. Then vesk_hexlog of
// 1 MiB beside a dump that formats every byte with snprintf.
// Run by hand: build/bench/http_bench [requests]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "http/url.h"
#include "util/vesk_utils.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Answers every connection with one 200 response of a 1 KiB body, then
// closes it. Runs until stop is set and one more connection arrives.
class LoopbackServer {
public:
    LoopbackServer()
    {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        int on = 1;
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
            listen(listener_, 128) != 0) {
            std::perror("http_bench: listen");
            std::exit(1);
        }
        getsockname(listener_, reinterpret_cast<sockaddr *>(&address), &size);
        port_ = ntohs(address.sin_port);
        response_ = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 1024\r\n"
                    "Connection: close\r\n\r\n" +
                    std::string(1024, 'b');
        thread_ = std::thread([this] { serve(); });
    }

    ~LoopbackServer()
    {
        stop_ = true;
        // Wakes the accept call with one last connection.
        int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port_));
        connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        close(fd);
        thread_.join();
        close(listener_);
    }

    int port() const { return port_; }

private:
    void serve()
    {
        char request[4096];
        while (!stop_) {
            int fd = accept(listener_, nullptr, nullptr);
            if (fd < 0)
                continue;
            std::string head;
            while (head.find("\r\n\r\n") == std::string::npos) {
                ssize_t got = read(fd, request, sizeof request);
                if (got <= 0)
                    break;
                head.append(request, static_cast<size_t>(got));
            }
            if (!stop_ && write(fd, response_.data(), response_.size()) < 0)
                std::perror("http_bench: write");
            close(fd);
        }
    }

    int listener_ = -1;
    int port_ = 0;
    std::string response_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Sink {
    char *data = nullptr;
    size_t length = 0;
};

size_t plain_write(char *data, size_t size, size_t count, void *user)
{
    auto *sink = static_cast<Sink *>(user);
    size_t block = size * count;
    char *grown = static_cast<char *>(std::realloc(sink->data, sink->length + block + 1));
    if (grown == nullptr)
        return 0;
    std::memcpy(grown + sink->length, data, block);
    sink->length += block;
    grown[sink->length] = '\0';
    sink->data = grown;
    return block;
}

size_t plain_header(char *, size_t size, size_t count, void *)
{
    return size * count;
}

// Requests per second through url_execute_get.
double run_client(url *record, int requests)
{
    auto start = Clock::now();
    for (int i = 0; i < requests; ++i) {
        char *body = nullptr;
        if (url_execute_get(record, &body, nullptr, nullptr) != 1024) {
            std::fprintf(stderr, "http_bench: client request failed\n");
            std::exit(1);
        }
        std::free(body);
    }
    return requests / seconds_since(start);
}

// Requests per second through libcurl alone, one handle per request.
double run_plain(const char *text, int requests)
{
    char filename[URL_FILENAME_SIZE] = "";
    auto start = Clock::now();
    for (int i = 0; i < requests; ++i) {
        CURL *curl = curl_easy_init();
        Sink sink;
        curl_easy_setopt(curl, CURLOPT_URL, text);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, plain_write);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, filename);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, plain_header);
        if (curl_easy_perform(curl) != CURLE_OK || sink.length != 1024) {
            std::fprintf(stderr, "http_bench: plain request failed\n");
            std::exit(1);
        }
        std::free(sink.data);
        curl_easy_cleanup(curl);
    }
    return requests / seconds_since(start);
}

// The same dump text as vesk_hexlog, with one snprintf per byte.
std::string dump_per_byte(const unsigned char *bytes, size_t length)
{
    std::string text;
    text.reserve(length * 5);
    char group[4];
    for (size_t start = 0; start < length; start += 16) {
        size_t count = std::min<size_t>(16, length - start);
        for (size_t i = 0; i < count; ++i) {
            std::snprintf(group, sizeof group, "%02X ", bytes[start + i]);
            text += group;
        }
        text.append((16 - count) * 3 + 5, ' ');
        for (size_t i = 0; i < count; ++i) {
            unsigned char byte = bytes[start + i];
            text += byte < 0x20 || byte > 0x7E ? '.' : static_cast<char>(byte);
        }
        if (start + 16 < length)
            text += '\n';
    }
    return text;
}

void bench_hexlog()
{
    constexpr size_t size = 1024 * 1024;
    std::vector<unsigned char> data(size);
    std::mt19937 random(42);
    for (unsigned char &byte : data)
        byte = static_cast<unsigned char>(random());

    char *fast = vesk_hexlog(data.data(), static_cast<int>(size));
    if (dump_per_byte(data.data(), size) != fast) {
        std::fprintf(stderr, "http_bench: the two dumps differ\n");
        std::exit(1);
    }
    std::free(fast);

    double best_fast = 1e9, best_slow = 1e9;
    for (int round = 0; round < 10; ++round) {
        auto start = Clock::now();
        std::free(vesk_hexlog(data.data(), static_cast<int>(size)));
        best_fast = std::min(best_fast, seconds_since(start));
        start = Clock::now();
        std::string slow = dump_per_byte(data.data(), size);
        best_slow = std::min(best_slow, seconds_since(start));
    }
    double mb = size / 1e6;
    std::printf("%-24s %12.1f MB/s\n%-24s %12.1f MB/s\n%-24s %12.1f\n", "vesk_hexlog",
                mb / best_fast, "snprintf per byte", mb / best_slow, "speed-up",
                best_slow / best_fast);
}

} // namespace

int main(int argc, char **argv)
{
    int requests = argc > 1 ? std::atoi(argv[1]) : 2000;
    curl_global_init(CURL_GLOBAL_ALL);
    {
        LoopbackServer server;
        std::string text = "http://127.0.0.1:" + std::to_string(server.port()) + "/bench";
        url *record = url_new(text.c_str());
        double client = 0, plain = 0;
        // Alternating rounds, best of each, so that both see the same machine load.
        for (int round = 0; round < 5; ++round) {
            plain = std::max(plain, run_plain(text.c_str(), requests));
            client = std::max(client, run_client(record, requests));
        }
        std::printf("%-24s %12.0f req/s\n%-24s %12.0f req/s\n%-24s %12.3f\n", "plain libcurl",
                    plain, "url_execute_get", client, "ratio", client / plain);
        url_free(record);
    }
    bench_hexlog();
    curl_global_cleanup();
    return 0;
}
