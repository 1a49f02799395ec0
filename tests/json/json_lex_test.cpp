#include "json/json_parse.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "json/detail/json_parse_context.hpp"
#include "json/json.tab.h"
#include "json/json.lex.h"
#include "test_support.h"

namespace {

// The codes the scanner and the parser share.
static_assert(JSON_INTEGER == 258 && JSON_NUMBER == 259 && JSON_BOOLEAN == 260 &&
              JSON_STRING == 261 && JSON_DATETIME == 262 && JSON_NULL == 263);

// Every token of text as "NAME(value)@line" or "'c'@line" / "#code@line".
std::string tokens(const std::string &text)
{
    json_parse_context context{};
    context.source.next_char = json_mem_next_char;
    context.source.text = text.c_str();
    void *scanner = nullptr;
    EXPECT_EQ(lex_init(&context, &scanner), 0);
    std::string out;
    for (;;) {
        YYSTYPE value = nullptr;
        YYLTYPE location{};
        int code = yylex(&value, &location, scanner);
        if (code == 0)
            break;
        if (!out.empty())
            out += ' ';
        // Number and string texts are the caller's.
        switch (code) {
        case JSON_INTEGER:
            out += "INT(" + std::string(value) + ")";
            std::free(value);
            break;
        case JSON_NUMBER:
            out += "NUM(" + std::string(value) + ")";
            std::free(value);
            break;
        case JSON_BOOLEAN: out += "BOOL(" + std::string(value) + ")"; break;
        case JSON_STRING:
            out += "STR(" + std::string(value) + ")";
            std::free(value);
            break;
        case JSON_NULL: out += "NULL"; break;
        default:
            if (code > 32 && code < 127)
                out += std::string("'") + static_cast<char>(code) + "'";
            else
                out += "#" + std::to_string(code);
        }
        out += "@" + std::to_string(location.last_line);
    }
    yylex_destroy(scanner);
    return out;
}

TEST(JsonLex, TokenRules)
{
    struct Row {
        const char *input;
        const char *tokens;
    };
    const Row rows[] = {
        {"12", "INT(12)@1"},
        {"-12 007 -0", "INT(-12)@1 INT(007)@1 INT(-0)@1"},
        {"-3.25", "NUM(-3.25)@1"},
        {".5 -.25 00.10", "NUM(.5)@1 NUM(-.25)@1 NUM(00.10)@1"},
        {"2.5e3 1e5 -0.5E+2 1E-07 .5e1",
         "NUM(2.5e3)@1 NUM(1e5)@1 NUM(-0.5E+2)@1 NUM(1E-07)@1 NUM(.5e1)@1"},
        // An exponent without digits is not part of the number.
        {"1e 2E+ 1.5e-x", "INT(1)@1 'e'@1 INT(2)@1 'E'@1 '+'@1 NUM(1.5)@1 'e'@1 '-'@1 'x'@1"},
        {".e5 1.e5", "'.'@1 'e'@1 INT(5)@1 INT(1)@1 '.'@1 'e'@1 INT(5)@1"},
        {"1.", "INT(1)@1 '.'@1"},
        {"+1", "'+'@1 INT(1)@1"},
        {"- 1", "'-'@1 INT(1)@1"},
        {"TRUE true FALSE false", "BOOL(1)@1 BOOL(1)@1 BOOL(0)@1 BOOL(0)@1"},
        {"False", "'F'@1 'a'@1 'l'@1 's'@1 'e'@1"},
        {"truex", "BOOL(1)@1 'x'@1"},
        {"null NULL undefined", "NULL@1 NULL@1 NULL@1"},
        {"Null", "'N'@1 'u'@1 'l'@1 'l'@1"},
        {"'a\"b'", "STR(a\"b)@1"},
        {"\"it\\'s\"", "STR(it's)@1"},
        {"\"a\nb\" 7", "STR(a\nb)@2 INT(7)@2"},
        {"// note\n5", "INT(5)@2"},
        {"5 //", "INT(5)@1 '/'@1 '/'@1"},
        {"1|2", "INT(1)@1 INT(2)@1"},
        {"\"open", "'\"'@1 'o'@1 'p'@1 'e'@1 'n'@1"},
        {"\xff", "#255@1"},
        {"'\xff'", "STR(\xff)@1"},
        {"\r\n\t{", "'{'@2"},
        // Starts of longer tokens fall back to the longest token they hold.
        {"tru TR", "'t'@1 'r'@1 'u'@1 'T'@1 'R'@1"},
        {"undefine", "'u'@1 'n'@1 'd'@1 'e'@1 'f'@1 'i'@1 'n'@1 'e'@1"},
        {"-. -5.x", "'-'@1 '.'@1 INT(-5)@1 '.'@1 'x'@1"},
        {"//x", "'/'@1 '/'@1 'x'@1"},
        {"\"a\\\nb", "'\"'@1 'a'@1 '\\'@1 'b'@2"},
        {"'a\n\nb", "'''@1 'a'@1 'b'@3"},
        {"\"a\n\r\nb\"\n\n1", "STR(a\n\r\nb)@3 INT(1)@5"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        EXPECT_EQ(tokens(row.input), row.tokens);
    }
}

TEST(JsonLex, LineCounterBeforeAndAfterInput)
{
    json_parse_context context{};
    context.source.next_char = json_mem_next_char;
    context.source.text = "1\n\n2";
    void *scanner = nullptr;
    ASSERT_EQ(lex_init(&context, &scanner), 0);
    EXPECT_EQ(yyget_lineno(scanner), 0);
    YYSTYPE value = nullptr;
    YYLTYPE location{};
    yylex(&value, &location, scanner);
    std::free(value);
    EXPECT_EQ(yyget_lineno(scanner), 1);
    yylex(&value, &location, scanner);
    std::free(value);
    EXPECT_EQ(yyget_lineno(scanner), 3);
    EXPECT_EQ(location.first_line, 3);
    yylex_destroy(scanner);
}

std::string cleaned(const std::string &token)
{
    std::vector<char> buffer(token.begin(), token.end());
    buffer.push_back('\0');
    clean_string(buffer.data());
    return std::string(buffer.data() + 1);
}

TEST(JsonLex, CleanStringEscapes)
{
    struct Row {
        const char *token;
        const char *decoded;
    };
    const Row rows[] = {
        {"\"a\\nb\\tc\"", "a\nb\tc"},
        {"\"\\r\\b\\f\\/\\\\\\\"\\'\\q\"", "\r\b\f/\\\"'q"},
        {"\"\\\\n\"", "\\n"},
        {"\"\\u0041\\u00e9\"", "A\xc3\xa9"},
        {"\"\\u0085|\\u007F|\\u009f\"", " | | "},
        {"\"\\u00A0\\u00bf\\u00C0\\u00ff\"", "\xc2\xa0\xc2\xbf\xc3\x80\xc3\xbf"},
        {"\"\\u07FF\\u0800\\u20AC\\uFFFF\"", "\xdf\xbf\xe0\xa0\x80\xe2\x82\xac\xef\xbf\xbf"},
        {"\"\\uD801\\uDC37\\udbff\\udfff\"", "\xf0\x90\x90\xb7\xf4\x8f\xbf\xbf"},
        // Lone surrogates become U+FFFD; the escape after one is read anew.
        {"\"\\uD801x\\uDC37\\uD801\\u0041\\uD801\"", "\xef\xbf\xbdx\xef\xbf\xbd\xef\xbf\xbd"
                                                     "A\xef\xbf\xbd"},
        {"\"\\uD801\\u0000x\"", "\xef\xbf\xbd"},
        // Other bytes than hexadecimal digits are not refused.
        {"\"\\u00GG\"", "\xc4\x90"},
        {"\"ab\\u0000cd\"", "ab"},
        {"\"\\u7\"", "u7"},
        {"\"x\\u00e\"", "xu00e"},
        {"\"\xff\xfe\"", "\xff\xfe"},
        {"''", ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.token);
        EXPECT_EQ(cleaned(row.token), row.decoded);
    }
}

TEST(JsonLex, CleanStringStaysInsideShortTexts)
{
    // Exactly sized heap copies: the sanitizer build sees any overrun.
    for (const char *token : {"\"\\u\"", "\"\\u1\"", "\"\\", "\"a\\", "\"", ""}) {
        SCOPED_TRACE(token);
        size_t size = std::strlen(token) + 1;
        char *copy = static_cast<char *>(std::malloc(size));
        std::memcpy(copy, token, size);
        clean_string(copy);
        EXPECT_LE(std::strlen(copy), size - 1);
        std::free(copy);
    }
    clean_string(nullptr);
}

struct SourceLog {
    int calls = 0;
    int calls_after_end = 0;
    bool ended = false;
    int length = 0;
};
SourceLog source_log;

// Memory input that may hold zero bytes, counting every call.
int32_t logged_next_char(json_source *source)
{
    ++source_log.calls;
    if (source_log.ended)
        ++source_log.calls_after_end;
    if (source->position >= source_log.length) {
        source_log.ended = true;
        return -1;
    }
    return static_cast<unsigned char>(source->text[source->position++]);
}

TEST(JsonInput, FillsBlocksAndNeverAsksPastTheEnd)
{
    source_log = SourceLog{};
    source_log.length = 7;
    json_parse_context context{};
    context.source.next_char = logged_next_char;
    context.source.text = "ab\0cd\xff!";
    char buffer[8];
    int count = -1;

    json_input(buffer, &count, 2, &context);
    EXPECT_EQ(count, 2);
    // A zero byte is data like any other.
    json_input(buffer, &count, 8, &context);
    ASSERT_EQ(count, 5);
    EXPECT_EQ(std::string(buffer, 5), std::string("\0cd\xff!", 5));
    json_input(buffer, &count, 8, &context);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(source_log.calls, 8);
    EXPECT_EQ(source_log.calls_after_end, 0);
    EXPECT_EQ(context.source.position, 7);
}

TEST(JsonInput, MemorySourceStopsAtTheTerminator)
{
    json_source source{};
    source.text = "\xff";
    EXPECT_EQ(json_mem_next_char(&source), 255);
    EXPECT_EQ(json_mem_next_char(&source), -1);
    EXPECT_EQ(source.position, 1);

    // The last 32-bit index ends the text without reading there (or
    // wrapping to a negative index); a file's count stops there too.
    source.position = INT32_MAX;
    EXPECT_EQ(json_mem_next_char(&source), -1);
    EXPECT_EQ(source.position, INT32_MAX);
    FILE *file = std::tmpfile();
    std::fputs("ab", file);
    std::rewind(file);
    source.file = file;
    EXPECT_EQ(json_fd_next_char(&source), 'a');
    EXPECT_EQ(source.position, INT32_MAX);
    std::fclose(file);
}

// A caller that drives the scanner and parser on a context of its own
// frees it whole, however far the parse got: open containers with their
// gathered entries, member places, a scalar root (the sanitizer build sees
// any leak or double release).
TEST(JsonParseContext, FreeReleasesWhatTheParseLeft)
{
    struct Row {
        const char *input;
        int status;
    };
    const Row rows[] = {
        {"{'a': [1, {'b': 2, 'c': [true", 1},
        {"{'a': {'b':", 1},
        {"[[[[]]", 1},
        {"'x' 7", 1},
        {"'x'", 0},
        {"{'a': [1, 'b']}", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.input);
        json_source source{};
        source.next_char = json_mem_next_char;
        source.text = row.input;
        json_parse_context *context = json_parse_context_new(&source);
        ASSERT_NE(context, nullptr);
        ASSERT_EQ(lex_init(context, &context->scanner), 0);
        int status = 0;
        {
            testing_support::StderrCapture quiet;
            status = yyparse(context);
        }
        EXPECT_EQ(status, row.status);
        EXPECT_EQ(yylex_destroy(context->scanner), 0);
        // A finished parse hands its root over and keeps nothing else of it.
        if (status == 0) {
            EXPECT_EQ(json_current(context), nullptr);
            json_value_free(context->result);
            context->result = nullptr;
        }
        json_parse_context_free(context);
    }
    EXPECT_EQ(json_parse_context_new(nullptr), nullptr);
    json_parse_context_free(nullptr);
    EXPECT_EQ(yylex_destroy(nullptr), 0);
}

} // namespace
