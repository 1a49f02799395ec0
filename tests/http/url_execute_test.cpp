#include "http/url.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "http_test_server.h"
#include "log/verbose.h"
#include "test_support.h"

namespace {

using http_test::received;
using http_test::Request;
using http_test::server_url;

struct UrlDeleter {
    void operator()(url *record) const { url_free(record); }
};
using UrlPtr = std::unique_ptr<url, UrlDeleter>;

// A request's result, its body as a string, and whether the body was NULL.
struct Reply {
    int result = 0;
    std::string body;
    bool null_body = true;
};

Reply take(int result, char *body)
{
    Reply reply;
    reply.result = result;
    reply.null_body = body == nullptr;
    if (body != nullptr && result > 0)
        reply.body.assign(body, static_cast<size_t>(result));
    std::free(body);
    return reply;
}

char **list(std::vector<const char *> &entries)
{
    return const_cast<char **>(entries.data());
}

// Each test logs into its own current directory.
class UrlExecute : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        std::filesystem::create_directory("log");
        verbose_limit_set(0);
        first_ = received().size();
    }

    UrlPtr at(const std::string &target) { return UrlPtr(url_new(server_url(target).c_str())); }

    Reply get(url *record, url_progress_function progress = nullptr, void *data = nullptr)
    {
        char *body = reinterpret_cast<char *>(1); // must come back set
        int result = url_execute_get(record, &body, progress, data);
        return take(result, body);
    }

    Reply post(url *record, std::vector<const char *> params)
    {
        char *body = nullptr;
        int result = url_execute_post(record, list(params), &body, nullptr, nullptr);
        return take(result, body);
    }

    // Requests the server received since the test started.
    std::vector<Request> requests() const
    {
        std::vector<Request> all = received();
        return {all.begin() + static_cast<long>(first_), all.end()};
    }

    std::string log_text() const
    {
        return testing_support::read_file(testing_support::todays_log(dir()));
    }

private:
    size_t first_ = 0;
};

TEST_F(UrlExecute, GetReturnsTheBodyWhateverTheStatus)
{
    UrlPtr missing = at("/missing?q=1");
    Reply reply = get(missing.get());
    EXPECT_EQ(reply.result, 12);
    EXPECT_EQ(reply.body, "no such page");

    Reply empty = get(at("/empty").get());
    EXPECT_EQ(empty.result, 0);
    EXPECT_TRUE(empty.null_body);

    std::vector<Request> seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_EQ(seen[0].target, "/missing?q=1");
    EXPECT_EQ(seen[0].body, "");
}

TEST_F(UrlExecute, BodiesArriveWhole)
{
    // Several writes, zero bytes inside, and several MiB.
    EXPECT_EQ(get(at("/chunks").get()).body, "first second third");
    Reply zeros = get(at("/zeros").get());
    EXPECT_EQ(zeros.result, 6);
    EXPECT_EQ(zeros.body, std::string("a\0b\0\0c", 6));

    constexpr size_t size = 5 * 1024 * 1024 + 3;
    std::string expected(size, '\0');
    for (size_t i = 0; i < size; ++i)
        expected[i] = static_cast<char>(((i % 65521) * 31 + 7) % 256);
    Reply big = get(at("/big?n=" + std::to_string(size)).get());
    EXPECT_EQ(big.result, static_cast<int>(size));
    EXPECT_TRUE(big.body == expected);
}

TEST_F(UrlExecute, FormBodyArrivesByteForByte)
{
    UrlPtr record = at("/form");
    Reply reply = post(record.get(), {"a", "b c", "d", "e", nullptr});
    EXPECT_EQ(reply.body, "ok");
    // A list whose first entry is NULL sends a GET.
    post(record.get(), {nullptr, "ignored", nullptr});

    std::vector<Request> seen = requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, "a=b%20c&d=e&");
    EXPECT_EQ(seen[0].header("Content-Length"), "12");
    EXPECT_EQ(seen[0].header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(seen[1].method, "GET");
    EXPECT_FALSE(seen[1].has_header("Content-Length"));
}

TEST(UrlMakePost, EncodesPairsUpToTheFirstNull)
{
    struct Case {
        std::vector<const char *> params;
        const char *body;
    };
    const Case cases[] = {
        {{"a", "b c", "d", "e", nullptr}, "a=b%20c&d=e&"},
        {{"a", "b c", "d", nullptr}, "a=b%20c&d="},
        {{"k", "", nullptr}, "k=&"},
        {{"x.y", "1+1=2", nullptr, "z"}, "x%2Ey=1%2B1%3D2&"},
        {{nullptr, "v", nullptr}, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body != nullptr ? c.body : "(null)");
        std::vector<const char *> params = c.params;
        char *body = reinterpret_cast<char *>(1);
        int32_t length = url_make_post(list(params), &body);
        EXPECT_STREQ(body, c.body);
        EXPECT_EQ(length, c.body != nullptr ? static_cast<int32_t>(std::strlen(c.body)) : 0);
        std::free(body);
    }
    char *body = nullptr;
    EXPECT_EQ(url_make_post(nullptr, &body), 0);
    EXPECT_EQ(body, nullptr);
    EXPECT_EQ(url_make_post(nullptr, nullptr), -1);
}

TEST_F(UrlExecute, MissingArgumentsAndUnreachableServers)
{
    char *body = nullptr;
    EXPECT_EQ(url_execute_get(nullptr, &body, nullptr, nullptr), URL_NULL_ARGUMENT);
    UrlPtr record = at("/hello");
    EXPECT_EQ(url_execute_post(record.get(), nullptr, nullptr, nullptr, nullptr),
              URL_NULL_ARGUMENT);
    EXPECT_EQ(url_execute_upload(record.get(), nullptr, nullptr, &body, nullptr, nullptr),
              URL_NULL_ARGUMENT);

    std::string text = "http://127.0.0.1:" + std::to_string(http_test::closed_port()) + "/x";
    UrlPtr closed(url_new(text.c_str()));
    Reply reply = get(closed.get());
    EXPECT_EQ(reply.result, URL_TRANSFER_FAILED);
    EXPECT_TRUE(reply.null_body);
    EXPECT_NE(log_text().find(": (7) Couldn't connect to server - '" + text + "'\n"),
              std::string::npos)
        << log_text();
}

// With a sink set, a failed transfer's line reaches it and neither the log
// nor standard error; without one, it is in the log again.
TEST_F(UrlExecute, DiagnosticSinkTakesTheFailureLine)
{
    std::string text = "http://127.0.0.1:" + std::to_string(http_test::closed_port()) + "/x";
    UrlPtr closed(url_new(text.c_str()));
    std::vector<std::string> got;
    {
        testing_support::StderrCapture err;
        verbose_set_sink(testing_support::record_diagnostic, &got);
        Reply reply = get(closed.get());
        verbose_set_sink(nullptr, nullptr);
        EXPECT_EQ(reply.result, URL_TRANSFER_FAILED);
        EXPECT_EQ(err.text(), "");
    }
    EXPECT_EQ(got,
              std::vector<std::string>{"HTTP 2 (7) Couldn't connect to server - '" + text + "'\n"});
    EXPECT_TRUE(std::filesystem::is_empty("log"));

    EXPECT_EQ(get(closed.get()).result, URL_TRANSFER_FAILED);
    EXPECT_NE(log_text().find(": (7) Couldn't connect to server - '" + text + "'\n"),
              std::string::npos);
    EXPECT_EQ(got.size(), 1u);
}

TEST_F(UrlExecute, ResponseHeadersNameTheFile)
{
    const struct {
        const char *target;
        std::string filename;
    } cases[] = {
        {"/name-quoted", "report.pdf"},
        // Without the closing quote the copy runs to the line's end, less its last byte.
        {"/name-open", "report.pdf\r"},
        {"/name-long", std::string(URL_FILENAME_SIZE - 1, 'n')},
        {"/hello", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.target);
        UrlPtr record = at(c.target);
        get(record.get());
        EXPECT_EQ(record->filename, c.filename);
    }
}

TEST_F(UrlExecute, UploadSendsFilesBeforeFieldsWithoutExpect)
{
    testing_support::write_file("one.txt", "first file");
    testing_support::write_file("two.bin", std::string("\x00\x01\x02", 3));
    std::vector<const char *> files = {"doc", "one.txt", "blob", "two.bin", nullptr};
    std::vector<const char *> fields = {"title", "a b", "count", "2", nullptr};
    UrlPtr record = at("/upload");
    char *body = nullptr;
    int result =
        url_execute_upload(record.get(), list(fields), list(files), &body, nullptr, nullptr);
    EXPECT_EQ(take(result, body).body, "ok");

    std::vector<Request> seen = requests();
    ASSERT_EQ(seen.size(), 1u);
    const Request &upload = seen[0];
    EXPECT_EQ(upload.method, "POST");
    EXPECT_EQ(upload.header("Content-Type").rfind("multipart/form-data; boundary=", 0), 0u);
    EXPECT_FALSE(upload.has_header("Expect"));
    const std::string &parts = upload.body;
    size_t doc = parts.find("name=\"doc\"; filename=\"one.txt\"");
    size_t blob = parts.find("name=\"blob\"; filename=\"two.bin\"");
    size_t title = parts.find("name=\"title\"\r\n\r\na b\r\n");
    size_t count = parts.find("name=\"count\"\r\n\r\n2\r\n");
    ASSERT_NE(count, std::string::npos) << parts;
    EXPECT_LT(doc, blob);
    EXPECT_LT(blob, title);
    EXPECT_LT(title, count);
    EXPECT_NE(parts.find("\r\n\r\nfirst file\r\n"), std::string::npos);
    EXPECT_NE(parts.find(std::string("\r\n\r\n\x00\x01\x02\r\n", 9)), std::string::npos);

    // A file that cannot be read fails the transfer.
    std::vector<const char *> gone = {"doc", "missing.txt", nullptr};
    EXPECT_EQ(url_execute_upload(record.get(), nullptr, list(gone), &body, nullptr, nullptr),
              URL_TRANSFER_FAILED);
    EXPECT_EQ(body, nullptr);
}

TEST_F(UrlExecute, AuthenticatedPostResendsItsBodyAfterAChallenge)
{
    struct Case {
        const char *user, *pass, *authorization;
    };
    const Case cases[] = {
        {"alice", "s3cret", "Basic YWxpY2U6czNjcmV0"},
        {"alice", nullptr, "Basic YWxpY2U6"},
        {nullptr, "s3cret", "Basic OnMzY3JldA=="},
    };
    UrlPtr record = at("/auth");
    std::vector<const char *> params = {"msg", "hello world", nullptr};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.authorization);
        size_t before = requests().size();
        char *body = nullptr;
        int result = url_execute_post_auth(record.get(), list(params), &body, nullptr, nullptr,
                                           c.user, c.pass);
        EXPECT_EQ(take(result, body).body, "welcome");
        std::vector<Request> seen = requests();
        ASSERT_EQ(seen.size(), before + 2); // the challenge, then the retry
        const Request &retry = seen.back();
        EXPECT_EQ(retry.method, "POST");
        EXPECT_EQ(retry.header("Authorization"), c.authorization);
        EXPECT_EQ(retry.body, "msg=hello%20world&");
    }

    // Neither given: no credentials, and the challenge's body comes back.
    size_t before = requests().size();
    char *body = nullptr;
    int result = url_execute_post_auth(record.get(), list(params), &body, nullptr, nullptr, nullptr,
                                       nullptr);
    EXPECT_EQ(take(result, body).body, "denied");
    std::vector<Request> seen = requests();
    ASSERT_EQ(seen.size(), before + 1);
    EXPECT_FALSE(seen.back().has_header("Authorization"));
}

int abort_at_once(void *calls, double, double, double, double)
{
    ++*static_cast<int *>(calls);
    return 1;
}

int keep_going(void *calls, double, double, double, double)
{
    ++*static_cast<int *>(calls);
    return 0;
}

TEST_F(UrlExecute, ProgressFunctionCanAbort)
{
    int calls = 0;
    EXPECT_EQ(get(at("/chunks").get(), keep_going, &calls).body, "first second third");
    EXPECT_GT(calls, 0);

    calls = 0;
    UrlPtr slow = at("/slow");
    Reply reply = get(slow.get(), abort_at_once, &calls);
    EXPECT_EQ(reply.result, URL_TRANSFER_FAILED);
    EXPECT_TRUE(reply.null_body);
    EXPECT_EQ(calls, 1);
    EXPECT_NE(log_text().find("(42) Operation was aborted by an application callback - '" +
                              std::string(slow->text) + "'\n"),
              std::string::npos)
        << log_text();
}

TEST_F(UrlExecute, DebugRequestTracesTheExchange)
{
    UrlPtr record = at("/hello");
    std::vector<const char *> params = {"a", "b", nullptr};
    char *body = nullptr;
    int result = url_execute_post_debug(record.get(), list(params), &body, nullptr, nullptr);
    EXPECT_EQ(take(result, body).body, "hello");

    std::string trace = log_text();
    EXPECT_NE(trace.find(": == Info: "), std::string::npos) << trace;
    // "POST /hello HTTP/1.1" opens the dump of the request header.
    size_t sent = trace.find(": => Send header  -   bytes: ");
    ASSERT_NE(sent, std::string::npos) << trace;
    EXPECT_EQ(
        trace.find("\n\t50 4F 53 54 20 2F 68 65 6C 6C 6F 20 48 54 54 50      POST /hello HTTP\n",
                   sent),
        trace.find('\n', sent))
        << trace;
    // The dump's lines are continuations of its label's line.
    std::string status_dump =
        ": <= Recv header  -   bytes: 17\n"
        "\t48 54 54 50 2F 31 2E 31 20 32 30 30 20 4F 4B 0D      HTTP/1.1 200 OK.\n"
        "\t0A " +
        std::string(15 * 3 + 5, ' ') + ".\n";
    EXPECT_NE(trace.find(status_dump), std::string::npos) << trace;
    EXPECT_NE(trace.find(": => Send data\n"), std::string::npos);
    EXPECT_NE(trace.find(": <= Recv data\n"), std::string::npos);
}

} // namespace

namespace {

// A server that stops answering part way: the transfer fails with the curl
// code in the log, and no partial body is handed out.
TEST_F(UrlExecute, ServersThatBreakOffFailWithTheirLogLine)
{
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(http_test::closed_port()) + "/x";
    const struct {
        std::string text;
        const char *logged;
    } cases[] = {
        {refused, "(7) Couldn't connect to server"},
        {server_url("/cut"), "(18) Transferred a partial file"},
        {server_url("/silent"), "(52) Server returned nothing (no headers, no data)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        UrlPtr record(url_new(c.text.c_str()));
        for (Reply reply : {get(record.get()), post(record.get(), {"k", "v", nullptr})}) {
            EXPECT_EQ(reply.result, URL_TRANSFER_FAILED);
            EXPECT_TRUE(reply.null_body);
        }
        EXPECT_NE(log_text().find(std::string(c.logged) + " - '" + c.text + "'\n"),
                  std::string::npos)
            << log_text();
    }
}

} // namespace
