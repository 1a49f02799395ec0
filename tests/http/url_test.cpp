#include "http/url.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "test_support.h"
#include "util/vesk_utils.h"

namespace {

using testing_support::StderrCapture;

struct UrlDeleter {
    void operator()(url *record) const { url_free(record); }
};
using UrlPtr = std::unique_ptr<url, UrlDeleter>;

struct ParseCase {
    const char *text;
    const char *protocol, *user, *pass, *host, *port, *path, *file, *query;
    const char *messages; // standard error, in the order of the steps
};

const char *no_pass = nullptr;

TEST(Url, SplitsTextsIntoPartsAndReportsMissingOnes)
{
    const ParseCase cases[] = {
        {"http://alice:s3:cr@example:81/dir/a.txt?x=1", "http", "alice", "s3:cr", "example", "81",
         "dir/a.txt", "a.txt", "x=1", ""},
        {"https://example/x", "https", "", "", "example", "443", "x", "x", "", ""},
        {"ftp://example/dir/", "ftp", "", "", "example", "21", "dir/", "", "", ""},
        {"http://example/", "http", "", "", "example", "80", "", "", "", ""},
        {"http://u@example/a.txt", "http", "u", no_pass, "example", "80", "a.txt", "a.txt", "", ""},
        {"http://example/p?m=a@b/c", "http", "example/p?m=a", no_pass, "b", "80", "c", "c", "", ""},
        {"http://example/a?b?c", "http", "", "", "example", "80", "a", "a", "b?c", ""},
        {"host:80/x", "", "", "", "host", "80", "x", "x", "", "|URL| protocolo invalido.\n"},
        {"http://example:81", "http", "", "", "example", "", "", "", "",
         "|URL| port indeterminado.\n"},
        {"http://example:/x", "http", "", "", "example", "", "/x", "x", "",
         "|URL| port indeterminado.\n"},
        {"gopher://example/", "gopher", "", "", "example", "", "", "", "",
         "|URL| porta default indeterminada.\n"},
        {"HTTP://example/", "HTTP", "", "", "example", "", "", "", "",
         "|URL| porta default indeterminada.\n"},
        {"http://:80/x", "http", "", "", "", "80", "x", "x", "", "|URL| host invalido.\n"},
        // Ends right after the host: nothing past the end is read.
        {"http://example", "http", "", "", "", "", "", "", "",
         "|URL| host invalido.\n|URL| port indeterminado.\n"},
        {"a:/", "", "", "", "a", "", "/", "", "",
         "|URL| protocolo invalido.\n|URL| port indeterminado.\n"},
        {"", "", "", "", "", "", "", "", "",
         "|URL| protocolo invalido.\n|URL| host invalido.\n|URL| port indeterminado.\n"},
    };
    for (const ParseCase &c : cases) {
        SCOPED_TRACE(c.text);
        StderrCapture err;
        UrlPtr record(url_new(c.text));
        std::string messages = err.text();
        ASSERT_NE(record, nullptr);
        EXPECT_STREQ(record->text, c.text);
        EXPECT_STREQ(url_get_protocol(record.get()), c.protocol);
        EXPECT_STREQ(url_get_user(record.get()), c.user);
        EXPECT_STREQ(url_get_pass(record.get()), c.pass);
        EXPECT_STREQ(url_get_host(record.get()), c.host);
        EXPECT_STREQ(url_get_port(record.get()), c.port);
        EXPECT_STREQ(url_get_path(record.get()), c.path);
        EXPECT_STREQ(url_get_file(record.get()), c.file);
        EXPECT_STREQ(url_get_query(record.get()), c.query);
        EXPECT_STREQ(record->filename, "");
        EXPECT_EQ(messages, c.messages);
    }
}

TEST(Url, NullTextsAndRecords)
{
    EXPECT_EQ(url_new(nullptr), nullptr);
    url_free(nullptr);
    EXPECT_EQ(url_get_host(nullptr), nullptr);
}

TEST(Url, MakeChoosesTheProtocolByPort)
{
    UrlPtr secure(url_make("example", "443", "a/b.txt"));
    EXPECT_STREQ(secure->text, "https://example:443/a/b.txt");
    EXPECT_STREQ(secure->file, "b.txt");
    UrlPtr plain(url_make("example", "444", ""));
    EXPECT_STREQ(plain->text, "http://example:444/");

    // The text is cut to 2047 characters.
    std::string path(3000, 'p');
    UrlPtr cut(url_make("h", "80", path.c_str()));
    EXPECT_EQ(std::strlen(cut->text), 2047u);
    EXPECT_EQ(std::strlen(cut->path), 2047u - std::strlen("http://h:80/"));

    StderrCapture err;
    UrlPtr empty(url_make(nullptr, nullptr, nullptr));
    EXPECT_STREQ(empty->text, "http://:/");
    EXPECT_EQ(err.text(), "|URL| host invalido.\n|URL| port indeterminado.\n");
}

TEST(Char2http, KeepsLettersAndDigitsAndEncodesEveryOtherByte)
{
    char all[256];
    for (int byte = 1; byte <= 0xFF; ++byte)
        all[byte - 1] = static_cast<char>(byte);
    all[255] = '\0';
    std::string expected;
    for (int byte = 1; byte <= 0xFF; ++byte) {
        bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                     (byte >= '0' && byte <= '9');
        char piece[4];
        std::snprintf(piece, sizeof piece, plain ? "%c" : "%%%02X", byte);
        expected += piece;
    }
    char *encoded = char2http(all);
    EXPECT_EQ(encoded, expected);
    // The two bytes after the terminator are part of the zeroed result.
    size_t length = std::strlen(encoded);
    EXPECT_EQ(encoded[length + 1], '\0');
    EXPECT_EQ(encoded[length + 2], '\0');
    std::free(encoded);

    char *sample = char2http("a b-c\xE9");
    EXPECT_STREQ(sample, "a%20b%2Dc%E9");
    std::free(sample);
    EXPECT_EQ(char2http(nullptr), nullptr);
}

} // namespace
