// The encoding cases of vesk.test.Encoding from the native side: the bytes
// native code sends for each case, and the bytes that come back for the
// string Java holds.
#ifndef TESTS_JAVA_ENCODING_CASES_H
#define TESTS_JAVA_ENCODING_CASES_H

#include <string>
#include <vector>

namespace encoding_cases {

struct Case {
    std::string name;
    std::string sent;
    std::string back;
};

// Every case that native code can send, in the order of their names.
inline const std::vector<Case> &sent()
{
    static const std::vector<Case> cases = {
        {"ascii", "plain text", "plain text"},
        {"invalid",
         // A sequence cut short, an overlong NUL, a surrogate, a code past
         // U+10FFFF, a lone continuation byte, 0xFF and a sequence cut by
         // the terminator: each byte is a Latin-1 character.
         "\xe2\x82x \xc0\x80 \xed\xa0\xbd \xf4\x90\x80\x80 \x80 \xff \xf0\x9f\x98",
         "\xc3\xa2\xc2\x82x \xc3\x80\xc2\x80 \xc3\xad\xc2\xa0\xc2\xbd "
         "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80 \xc2\x80 \xc3\xbf \xc3\xb0\xc2\x9f\xc2\x98"},
        // Latin-1 bytes arrive as Latin-1 characters and come back as UTF-8.
        {"latin1", "a\xe7\xe3o \xe9 \xff", "a\xc3\xa7\xc3\xa3o \xc3\xa9 \xc3\xbf"},
        {"utf8-2", "a\xc3\xa7\xc3\xa3o", "a\xc3\xa7\xc3\xa3o"},
        {"utf8-3", "\xe2\x82\xac \xe4\xb8\xad", "\xe2\x82\xac \xe4\xb8\xad"},
        {"utf8-4",
         "a\xf0\x9f\x98\x80"
         "b",
         "a\xf0\x9f\x98\x80"
         "b"},
    };
    return cases;
}

// Strings only Java can hold: a NUL ends the text, a lone surrogate is U+FFFD.
inline const std::vector<Case> &java_only()
{
    static const std::vector<Case> cases = {
        {"nul", "", "a"},
        {"lone", "", "x\xef\xbf\xbdy\xef\xbf\xbdz\xef\xbf\xbd"},
    };
    return cases;
}

} // namespace encoding_cases

#endif
