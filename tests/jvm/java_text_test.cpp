// Texts crossing the bridge: native bytes of every kind arrive in Java as
// the expected strings (compared in Java), and Java's strings come back as
// standard UTF-8 through the call wrappers and the generic callback.
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
    int result = ub_JVM_callStaticStringMethod(vm(), encoding_class, method,
                                               static_cast<int>(args.size()),
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

std::vector<std::string> handed;

int32_t keep_texts(int32_t, int32_t *, uint32_t text_count, char **texts, int32_t *, char **)
{
    handed.assign(texts, texts + text_count);
    return static_cast<int32_t>(text_count);
}

TEST(JavaText, TheGenericCallbackHandsStandardUtf8)
{
    std::vector<encoding_cases::Case> all = encoding_cases::sent();
    all.insert(all.end(), encoding_cases::java_only().begin(), encoding_cases::java_only().end());
    std::vector<const char *> names;
    std::vector<std::string> expected;
    for (const encoding_cases::Case &item : all) {
        names.push_back(item.name.c_str());
        expected.push_back(item.back);
    }
    ub_JVM_handler handler = keep_texts;
    int64_t longs[] = {static_cast<int64_t>(reinterpret_cast<intptr_t>(handler))};
    jobject result = nullptr;
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(vm(), 1, longs, encoding_class, "relay",
                                            static_cast<int>(names.size()),
                                            const_cast<char *const *>(names.data()), &result),
              UB_JVM_OK);
    EXPECT_EQ(jvm_testing::string_of(result), std::to_string(all.size()));
    ub_JVM_unrefObjectMethod(vm(), result);
    vm()->DetachCurrentThread();
    EXPECT_EQ(handed, expected);
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
    EXPECT_EQ(err.text().rfind("Classe 'no/Cla\xe7o' nao encontrada.\n", 0), 0u);
}

} // namespace
