// Texts crossing the bridge: native bytes of every kind arrive in Java as
// the expected strings (compared in Java), and Java's strings come back as
// standard UTF-8. The generic callback's way back is seen in the launch
// test, through the relay into the log.
#include "jvm/java_utils.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "encoding_cases.h"
#include "jvm_env.h"
#include "test_support.h"

namespace {

using jvm_testing::vm;

const char encoding_class[] = "vesk/test/Encoding";

// The text a static String method of Encoding returns ("<NULL>" for none).
std::string call_text(const char *method, std::vector<const char *> args)
{
    char *text = nullptr;
    int result =
        ub_JVM_callStaticStringMethod(vm(), encoding_class, method, static_cast<int>(args.size()),
                                      const_cast<char *const *>(args.data()), &text);
    std::string kept = result == UB_JVM_OK ? text : "<NULL " + std::to_string(result) + ">";
    std::free(text);
    return kept;
}

TEST(JavaText, NativeBytesArriveAsTheExpectedStrings)
{
    std::vector<const char *> pairs;
    for (const encoding_cases::Case &item : encoding_cases::sent()) {
        pairs.push_back(item.name.c_str());
        pairs.push_back(item.sent.c_str());
    }
    pairs.push_back(nullptr);
    EXPECT_EQ(call_text("check", pairs), "ok " + std::to_string(encoding_cases::sent().size()));
}

TEST(JavaText, JavaStringsComeBackAsStandardUtf8)
{
    std::vector<encoding_cases::Case> all = encoding_cases::sent();
    all.insert(all.end(), encoding_cases::java_only().begin(), encoding_cases::java_only().end());
    for (const encoding_cases::Case &item : all) {
        SCOPED_TRACE(item.name);
        EXPECT_EQ(call_text("text", {item.name.c_str()}), item.back);
    }
}

TEST(JavaText, ClassAndMethodNamesAreReadAsTexts)
{
    // Latin-1 and UTF-8 spellings of one name, and a name outside the BMP.
    EXPECT_EQ(call_text("a\xe7\xe3o", {}), "a\xc3\xa7\xc3\xa3o");
    EXPECT_EQ(call_text("a\xc3\xa7\xc3\xa3o", {}), "a\xc3\xa7\xc3\xa3o");
    EXPECT_EQ(call_text("x\xf0\x9d\x91\xa5", {}), "x\xf0\x9d\x91\xa5");
    // A class name that is no UTF-8 is looked up like any other.
    testing_support::StderrCapture err;
    char *text = nullptr;
    EXPECT_EQ(ub_JVM_callStaticStringMethod(vm(), "no/Cla\xe7o", "text", 0, nullptr, &text),
              UB_JVM_NO_CLASS);
    EXPECT_EQ(err.text().rfind("Classe 'no/Cla\\xE7o' nao encontrada.\n", 0), 0u);
}

} // namespace
