// The JVM bridge against the fixture classes: creation options, the static
// entry call, every call wrapper and the attach/detach contract.
#include "jvm/java_utils.h"

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/veskserver.h"
#include "log/verbose.h"
#include "jvm_env.h"
#include "test_support.h"

namespace {

using jvm_testing::attached;
using jvm_testing::string_of;
using jvm_testing::vm;
using testing_support::StderrCapture;

// Text arrays as the bridge takes them; nullptr stays a null element.
struct Texts {
    Texts(std::initializer_list<const char *> items)
    {
        for (const char *item : items)
            slots.push_back(const_cast<char *>(item));
    }
    int count() const { return static_cast<int>(slots.size()); }
    char *const *data() const { return slots.data(); }
    std::vector<char *> slots;
};

// A global reference's string, released afterwards.
std::string take_string(jobject object)
{
    std::string text = string_of(object);
    ub_JVM_unrefObjectMethod(vm(), object);
    vm()->DetachCurrentThread();
    return text;
}

const jobject untouched = reinterpret_cast<jobject>(0x1);

// The shared JVM comes from vesk_init without an entry class: the host adds
// -Xdebug alone.
TEST(JavaUtilsLoad, ListsTheOptionsAndAsksTheGivenStack)
{
    std::string expected = std::string("Parametros JVM\n"
                                       "\t-Djava.compiler=NONE\n"
                                       "\t-Djava.class.path=") +
                           VESK_TEST_JAR + "\n\t-Djava.library.path=" + VESK_TEST_NATIVES_DIR +
                           "\n\t-Xss8m\n\t-XX:-CreateCoredumpOnCrash\n\t-Xdebug\nInicia JVM\n";
    EXPECT_EQ(jvm_testing::creation_output().substr(0, expected.size()), expected);
}

TEST(JavaUtilsLoad, VeskInitGivesTheSameHandleWithoutLoadingAgain)
{
    char *list[] = {const_cast<char *>("STACK"), const_cast<char *>("abc"), nullptr};
    jvm_testing::StdoutCapture capture;
    EXPECT_EQ(vesk_init(list), vm());
    EXPECT_EQ(capture.text(), "");
}

// A JVM per process: the defaults are seen in a process of their own.
class JavaUtilsProbe : public testing_support::TempDirTest {};

TEST_F(JavaUtilsProbe, NullArgumentsTakeTheDefaults)
{
    testing_support::ChildResult result = testing_support::run_child(
        "/bin/sh", {"-c", "exec \"$0\" - - - > out.txt", VESK_JVM_PROBE}, dir());
    EXPECT_EQ(result.status, 0) << result.err_text;
    EXPECT_EQ(testing_support::read_file(dir() / "out.txt"), "Parametros JVM\n"
                                                             "\t-Djava.compiler=NONE\n"
                                                             "\t-Djava.class.path=.\n"
                                                             "\t-Djava.library.path=\n"
                                                             "\t-Xss1m\n"
                                                             "\t-XX:-CreateCoredumpOnCrash\n"
                                                             "Inicia JVM\n"
                                                             "started\n");
}

// Further options reach the JVM after the five, whole and in order, and a
// NULL among them is left out; one the JVM does not know refuses it, as the
// five would. A JVM's own warnings go to standard error, never in between.
TEST_F(JavaUtilsProbe, FurtherOptionsFollowTheFive)
{
    const std::string far = "-Dvesk.longo=" + std::string(3000, 'x');
    struct Case {
        std::vector<std::string> options;
        std::string listed; // after the five
        std::string outcome;
    };
    const Case cases[] = {
        {{"-Dvesk.a=1", "-", far, "-Xss2m"},
         "\t-Dvesk.a=1\n\t" + far + "\n\t-Xss2m\n",
         "started\n"},
        {{"-Xnao-existe"}, "\t-Xnao-existe\n", "refused\n"},
    };
    for (const Case &item : cases) {
        SCOPED_TRACE(item.listed.substr(0, 40));
        std::vector<std::string> args = {
            "-c", "exec \"$0\" \"$@\" > out.txt", VESK_JVM_PROBE, "-", "-", "-"};
        args.insert(args.end(), item.options.begin(), item.options.end());
        testing_support::ChildResult result = testing_support::run_child("/bin/sh", args, dir());
        EXPECT_EQ(result.status, item.outcome == "started\n" ? 0 : 1) << result.err_text;
        EXPECT_EQ(testing_support::read_file(dir() / "out.txt"),
                  "Parametros JVM\n\t-Djava.compiler=NONE\n\t-Djava.class.path=.\n"
                  "\t-Djava.library.path=\n\t-Xss1m\n\t-XX:-CreateCoredumpOnCrash\n" +
                      item.listed + "Inicia JVM\n" + item.outcome);
    }
}

TEST_F(JavaUtilsProbe, ClassAndLibraryPathOptionsAreNeverCut)
{
    // Well past the 2047 characters that the other option texts hold.
    std::string class_path(3000, 'c');
    std::string library_path(3000, 'l');
    testing_support::ChildResult result = testing_support::run_child(
        "/bin/sh",
        {"-c", "exec \"$0\" \"$1\" \"$2\" - > out.txt", VESK_JVM_PROBE, class_path, library_path},
        dir());
    EXPECT_EQ(result.status, 0) << result.err_text;
    std::string out = testing_support::read_file(dir() / "out.txt");
    EXPECT_NE(out.find("\t-Djava.class.path=" + class_path + "\n"), std::string::npos);
    EXPECT_NE(out.find("\t-Djava.library.path=" + library_path + "\n"), std::string::npos);
}

TEST(JavaUtilsAttach, ReportsEachFailure)
{
    JNIEnv *env = nullptr;
    jclass cls = reinterpret_cast<jclass>(0x1);
    StderrCapture err;
    EXPECT_EQ(ub_JVM_attach_and_find_class(nullptr, "java/lang/String", &env, &cls),
              UB_JVM_ATTACH_FAILED);
    EXPECT_EQ(cls, reinterpret_cast<jclass>(0x1));
    EXPECT_EQ(ub_JVM_attach_and_find_class(vm(), "no/Such", &env, &cls), UB_JVM_CLASS_NOT_FOUND);
    EXPECT_EQ(cls, nullptr);
    EXPECT_NE(env, nullptr);
    EXPECT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(ub_JVM_attach(vm(), nullptr, &env, &cls), UB_JVM_CLASS_NOT_FOUND);
    ub_JVM_dettach(vm());
    std::string text = err.text();
    EXPECT_EQ(text.rfind("Thread attach failed\nClasse 'no/Such' nao encontrada.\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("java.lang.NoClassDefFoundError: no/Such"), std::string::npos);
    EXPECT_NE(text.find("Classe nao encontrada.\n"), std::string::npos);
    EXPECT_FALSE(attached());
}

// Class names as Java writes them, dots between the package names (also in
// an array descriptor and around non-ASCII names), reach the classes their
// slashed names do; messages keep the name as it was given.
TEST(JavaUtilsAttach, DottedClassNamesFindTheSlashedClasses)
{
    const struct {
        const char *dotted;
        const char *slashed;
    } cases[] = {{"java.lang.String", "java/lang/String"},
                 {"[Ljava.lang.String;", "[Ljava/lang/String;"},
                 {"vesk/test.StaticCalls", "vesk/test/StaticCalls"}};
    for (const auto &item : cases) {
        SCOPED_TRACE(item.dotted);
        JNIEnv *env = nullptr;
        jclass cls = nullptr;
        ASSERT_EQ(ub_JVM_attach_and_find_class(vm(), item.dotted, &env, &cls), UB_JVM_ATTACHED);
        EXPECT_TRUE(env->IsSameObject(cls, env->FindClass(item.slashed)));
        ub_JVM_dettach(vm());
    }
    Texts texts{"a"};
    jobject result = nullptr;
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(vm(), 0, nullptr, "vesk.test.StaticCalls", "echo",
                                            texts.count(), texts.data(), &result),
              UB_JVM_OK);
    EXPECT_EQ(take_string(result), "longs=null texts=[a]");

    StderrCapture err;
    char *failure = nullptr;
    EXPECT_EQ(ub_JVM_callStaticObjectMethodEx(vm(), 0, nullptr, "no.Suc\xC3\xA7\xC3\xA3o", "start",
                                              0, nullptr, &result, &failure),
              UB_JVM_NO_CLASS);
    ASSERT_NE(failure, nullptr);
    const std::string thrown = "java.lang.NoClassDefFoundError: no/Suc\xC3\xA7\xC3\xA3o";
    EXPECT_EQ(std::string(failure).rfind(thrown, 0), 0u) << failure;
    std::free(failure);
    EXPECT_EQ(err.text().rfind("Classe 'no.Suc\xC3\xA7\xC3\xA3o' nao encontrada.\n", 0), 0u);
    EXPECT_FALSE(attached());
}

// A native program that sets a sink gets the bridge's own messages there and
// none on standard error, where only the JVM's description of the
// exception still goes.
TEST(JavaUtilsSink, BridgeMessagesGoToTheSinkAlone)
{
    std::vector<std::string> got;
    jobject result = untouched;
    StderrCapture err;
    verbose_set_sink(testing_support::record_diagnostic, &got);
    EXPECT_EQ(
        ub_JVM_callStaticObjectMethod(vm(), 0, nullptr, "no/Such", "start", 0, nullptr, &result),
        UB_JVM_NO_CLASS);
    EXPECT_EQ(ub_JVM_callStaticObjectMethod(vm(), 0, nullptr, "vesk/test/StaticCalls", "nope", 0,
                                            nullptr, &result),
              UB_JVM_NO_METHOD);
    verbose_set_sink(nullptr, nullptr);
    EXPECT_EQ(got, (std::vector<std::string>{
                       "JVM 2 Classe 'no/Such' nao encontrada.\n",
                       "JVM 2 metodo 'vesk/test/StaticCalls.nope' nao encontrado.\n"}));
    EXPECT_EQ(jvm_testing::without_uncaught(err.text()), "");
    EXPECT_FALSE(attached());
}

TEST(JavaUtilsArrays, BuildNothingForEmptyInput)
{
    jvm_testing::Attached thread;
    JNIEnv *env = thread.env();
    Texts texts{"a"};
    EXPECT_EQ(ub_JVM_getStringArray(env, 0, texts.data()), nullptr);
    EXPECT_EQ(ub_JVM_getStringArray(env, -1, texts.data()), nullptr);
    EXPECT_EQ(ub_JVM_getByteArray(env, nullptr, 3), nullptr);
    EXPECT_EQ(ub_JVM_getByteArray(env, "abc", 0), nullptr);
    jbyteArray bytes = ub_JVM_getByteArray(env, "a\0c", 3);
    ASSERT_NE(bytes, nullptr);
    jbyte copy[3] = {};
    env->GetByteArrayRegion(bytes, 0, 3, copy);
    EXPECT_EQ(env->GetArrayLength(bytes), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(copy), 3), std::string("a\0c", 3));
}

TEST(JavaUtilsStaticObject, PassesLongsAndTextsWithNullElements)
{
    int64_t longs[] = {1, -2, INT64_MAX};
    Texts texts{"a", nullptr, "c", nullptr};
    jobject result = nullptr;
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(vm(), 3, longs, "vesk/test/StaticCalls", "echo",
                                            texts.count(), texts.data(), &result),
              UB_JVM_OK);
    EXPECT_FALSE(attached());
    EXPECT_EQ(take_string(result), "longs=[1, -2, 9223372036854775807] texts=[a, null, c, null]");
}

TEST(JavaUtilsStaticObject, ZeroCountsPassNullArrays)
{
    int64_t longs[] = {7};
    Texts texts{"a"};
    jobject result = nullptr;
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(vm(), 0, longs, "vesk/test/StaticCalls", "echo", 0,
                                            texts.data(), &result),
              UB_JVM_OK);
    EXPECT_EQ(take_string(result), "longs=null texts=null");
}

TEST(JavaUtilsStaticObject, MissingClassLeavesTheResultAlone)
{
    jobject result = untouched;
    StderrCapture err;
    EXPECT_EQ(
        ub_JVM_callStaticObjectMethod(vm(), 0, nullptr, "no/Such", "start", 0, nullptr, &result),
        UB_JVM_NO_CLASS);
    EXPECT_EQ(result, untouched);
    EXPECT_EQ(err.text().rfind("Classe 'no/Such' nao encontrada.\n", 0), 0u);
    EXPECT_FALSE(attached());
}

TEST(JavaUtilsStaticObject, MissingOrMismatchedMethodIsMinusThree)
{
    for (const char *method : {"nope", "parse"}) {
        SCOPED_TRACE(method);
        jobject result = untouched;
        StderrCapture err;
        EXPECT_EQ(ub_JVM_callStaticObjectMethod(vm(), 0, nullptr, "vesk/test/StaticCalls", method,
                                                0, nullptr, &result),
                  UB_JVM_NO_METHOD);
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(jvm_testing::without_uncaught(err.text()),
                  "metodo 'vesk/test/StaticCalls." + std::string(method) + "' nao encontrado.\n");
        EXPECT_FALSE(attached());
    }
}

TEST(JavaUtilsStaticObject, NullResultOrExceptionIsMinusFourAndDetaches)
{
    for (const char *method : {"nothing", "fail"}) {
        SCOPED_TRACE(method);
        jobject result = untouched;
        // A thread attached before the call is detached all the same.
        JNIEnv *env = nullptr;
        vm()->AttachCurrentThread(reinterpret_cast<void **>(&env), nullptr);
        EXPECT_EQ(ub_JVM_callStaticObjectMethod(vm(), 0, nullptr, "vesk/test/StaticCalls", method,
                                                0, nullptr, &result),
                  UB_JVM_NULL_RESULT);
        EXPECT_EQ(result, nullptr);
        EXPECT_FALSE(attached());
    }
}

TEST(JavaUtilsStaticObject, GlobalReferenceOutlivesTheCallAndACollection)
{
    Texts texts{"kept"};
    jobject result = nullptr;
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(vm(), 0, nullptr, "vesk/test/StaticCalls", "echo",
                                            texts.count(), texts.data(), &result),
              UB_JVM_OK);
    int64_t ignored = -1;
    ASSERT_EQ(ub_JVM_callStaticInt64Method(vm(), "vesk/test/StaticCalls", "collect", 0, nullptr,
                                           &ignored),
              UB_JVM_OK);
    EXPECT_EQ(take_string(result), "longs=null texts=[kept]");
}

TEST(JavaUtilsInt64, DeliversTheWholeLong)
{
    Texts max{"9223372036854775807"};
    int64_t value = 0;
    EXPECT_EQ(ub_JVM_callStaticInt64Method(vm(), "vesk/test/StaticCalls", "parse", max.count(),
                                           max.data(), &value),
              UB_JVM_OK);
    EXPECT_EQ(value, INT64_MAX);
    EXPECT_EQ(
        ub_JVM_callStaticInt64Method(vm(), "vesk/test/StaticCalls", "parse", 0, nullptr, &value),
        UB_JVM_OK);
    EXPECT_EQ(value, -1); // the method saw a null String[]
    // A call that threw still reports success with the JVM's value.
    value = 5;
    EXPECT_EQ(
        ub_JVM_callStaticInt64Method(vm(), "vesk/test/StaticCalls", "failLong", 0, nullptr, &value),
        UB_JVM_OK);
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(attached());
}

TEST(JavaUtilsInt64, FailuresAndTheirMessages)
{
    int64_t value = 77;
    StderrCapture err;
    EXPECT_EQ(ub_JVM_callStaticInt64Method(vm(), "no/Such", "parse", 0, nullptr, &value),
              UB_JVM_NO_CLASS);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(
        ub_JVM_callStaticInt64Method(vm(), "vesk/test/StaticCalls", "narrow", 0, nullptr, &value),
        UB_JVM_NO_METHOD);
    EXPECT_EQ(value, 0);
    std::string text = err.text();
    EXPECT_NE(text.find("metodo 'vesk/test/StaticCalls.narrow' nao encontrado.\n"),
              std::string::npos);
}

TEST(JavaUtilsString, CopiesTheReturnedText)
{
    Texts texts{"x", nullptr, "\xc3\xa7"};
    char *text = nullptr;
    ASSERT_EQ(ub_JVM_callStaticStringMethod(vm(), "vesk/test/StaticCalls", "join", texts.count(),
                                            texts.data(), &text),
              UB_JVM_OK);
    EXPECT_STREQ(text, "longs=null texts=[x, null, \xc3\xa7]");
    std::free(text);

    text = nullptr;
    ASSERT_EQ(ub_JVM_callStaticStringMethod(vm(), "vesk/test/StaticCalls", "emptyString", 0,
                                            nullptr, &text),
              UB_JVM_OK);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    std::free(text);
}

TEST(JavaUtilsString, NullOrThrowingIsMinusFour)
{
    for (const char *method : {"nullString", "failString"}) {
        SCOPED_TRACE(method);
        char *text = reinterpret_cast<char *>(0x1);
        EXPECT_EQ(
            ub_JVM_callStaticStringMethod(vm(), "vesk/test/StaticCalls", method, 0, nullptr, &text),
            UB_JVM_NULL_RESULT);
        EXPECT_EQ(text, nullptr);
        EXPECT_FALSE(attached());
    }
}

TEST(JavaUtilsBytes, CopiesWithATrailingZero)
{
    char *bytes = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(ub_JVM_callStaticBytesMethod(vm(), "vesk/test/StaticCalls", "binary", 0, nullptr,
                                           &bytes, &length),
              UB_JVM_OK);
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(std::string(bytes, 5), std::string("\0\1\xff\0\0", 5));
    std::free(bytes);

    bytes = nullptr;
    length = 9;
    ASSERT_EQ(ub_JVM_callStaticBytesMethod(vm(), "vesk/test/StaticCalls", "emptyBytes", 0, nullptr,
                                           &bytes, &length),
              UB_JVM_OK);
    EXPECT_EQ(length, 0u);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], '\0');
    std::free(bytes);
}

TEST(JavaUtilsBytes, NullArrayIsMinusFourAndLeavesTheLength)
{
    char *bytes = reinterpret_cast<char *>(0x1);
    uint32_t length = 99;
    EXPECT_EQ(ub_JVM_callStaticBytesMethod(vm(), "vesk/test/StaticCalls", "nullBytes", 0, nullptr,
                                           &bytes, &length),
              UB_JVM_NULL_RESULT);
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(length, 99u);

    bytes = reinterpret_cast<char *>(0x1);
    StderrCapture err;
    EXPECT_EQ(ub_JVM_callStaticBytesMethod(vm(), "no/Such", "bytes", 0, nullptr, &bytes, &length),
              UB_JVM_NO_CLASS);
    EXPECT_EQ(bytes, reinterpret_cast<char *>(0x1));
}

TEST(JavaUtilsNewObject, ConstructsAndCallsInstanceMethods)
{
    int64_t longs[] = {5};
    Texts texts{"a"};
    jobject target = nullptr;
    ASSERT_EQ(ub_JVM_callNewObjectMethod(vm(), 1, longs, "vesk/test/Target", texts.count(),
                                         texts.data(), &target),
              UB_JVM_OK);
    ASSERT_NE(target, nullptr);
    EXPECT_FALSE(attached());

    char *text = nullptr;
    ASSERT_EQ(ub_JVM_callStringMethod(vm(), target, "made", 0, nullptr, &text), UB_JVM_OK);
    EXPECT_STREQ(text, "longs=[5] texts=[a]");
    std::free(text);

    Texts number{"-4294967296"};
    int64_t value = 0;
    EXPECT_EQ(ub_JVM_callInt64Method(vm(), target, "int64", number.count(), number.data(), &value),
              UB_JVM_OK);
    EXPECT_EQ(value, -4294967296LL);

    char *bytes = nullptr;
    uint32_t length = 0;
    Texts word{"b"};
    ASSERT_EQ(
        ub_JVM_callBytesMethod(vm(), target, "bytes", word.count(), word.data(), &bytes, &length),
        UB_JVM_OK);
    EXPECT_EQ(std::string(bytes, length), "longs=null texts=[b]");
    std::free(bytes);

    EXPECT_EQ(ub_JVM_callStringMethod(vm(), target, "nullString", 0, nullptr, &text),
              UB_JVM_NULL_RESULT);
    EXPECT_EQ(ub_JVM_callStringMethod(vm(), target, "failString", 0, nullptr, &text),
              UB_JVM_NULL_RESULT);
    EXPECT_EQ(ub_JVM_callBytesMethod(vm(), target, "nullBytes", 0, nullptr, &bytes, &length),
              UB_JVM_NULL_RESULT);
    EXPECT_EQ(bytes, nullptr);

    StderrCapture err;
    value = 3;
    EXPECT_EQ(ub_JVM_callInt64Method(vm(), target, "narrow", 0, nullptr, &value), UB_JVM_NO_METHOD);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(jvm_testing::without_uncaught(err.text()), "metodo 'narrow' nao encontrado.\n");

    ub_JVM_unrefObjectMethod(vm(), target);
    EXPECT_TRUE(attached()); // the release leaves the thread attached
    vm()->DetachCurrentThread();
}

TEST(JavaUtilsNewObject, FailuresAndTheirMessages)
{
    jobject object = untouched;
    StderrCapture err;
    EXPECT_EQ(
        ub_JVM_callNewObjectMethod(vm(), 0, nullptr, "vesk/test/StaticCalls", 0, nullptr, &object),
        UB_JVM_NO_METHOD);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(jvm_testing::without_uncaught(err.text()),
              "construtor de 'vesk/test/StaticCalls' nao encontrado.\n");

    object = untouched;
    EXPECT_EQ(ub_JVM_callNewObjectMethod(vm(), 0, nullptr, "vesk/test/FailingTarget", 0, nullptr,
                                         &object),
              UB_JVM_NULL_RESULT);
    EXPECT_EQ(object, nullptr);
    EXPECT_FALSE(attached());
}

// Runs inside a native method, where the closing detach is refused: the
// object a call returned must not stay reachable once the call is over.
int32_t fresh_then_collect(int32_t, int32_t *, uint32_t, char **, int32_t *, char **)
{
    char *text = nullptr;
    if (ub_JVM_callStaticStringMethod(vm(), "vesk/test/Collectable", "fresh", 0, nullptr, &text) !=
        UB_JVM_OK)
        return -1;
    std::free(text);
    int64_t collected = -1;
    ub_JVM_callStaticInt64Method(vm(), "vesk/test/Collectable", "collected", 0, nullptr,
                                 &collected);
    return static_cast<int32_t>(collected);
}

TEST(JavaUtilsInNative, CallsLeaveNoReferenceBehind)
{
    ub_JVM_handler handler = fresh_then_collect;
    int64_t longs[] = {static_cast<int64_t>(reinterpret_cast<intptr_t>(handler))};
    jobject result = nullptr;
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(vm(), 1, longs, "vesk/test/Collectable", "inNative", 0,
                                            nullptr, &result),
              UB_JVM_OK);
    EXPECT_EQ(take_string(result), "1");
}

bool exception_pending()
{
    JNIEnv *env = nullptr;
    return vm()->GetEnv(reinterpret_cast<void **>(&env), JNI_VERSION_1_6) == JNI_OK &&
           env->ExceptionCheck();
}

// Inside a native method: a missing method and a throwing one, a thousand
// times each, every failure handled through its result code. The number
// of calls that gave the expected code with no exception left pending.
int32_t handle_failures(int32_t, int32_t *, uint32_t, char **, int32_t *, char **)
{
    int32_t handled = 0;
    for (int i = 0; i < 1000; ++i) {
        char *text = nullptr;
        handled += ub_JVM_callStaticStringMethod(vm(), "vesk/test/StaticCalls", "nope", 0, nullptr,
                                                 &text) == UB_JVM_NO_METHOD &&
                   !exception_pending();
        handled += ub_JVM_callStaticStringMethod(vm(), "vesk/test/StaticCalls", "failString", 0,
                                                 nullptr, &text) == UB_JVM_NULL_RESULT &&
                   !exception_pending();
    }
    int64_t value = 1;
    handled += ub_JVM_callStaticInt64Method(vm(), "vesk/test/StaticCalls", "failLong", 0, nullptr,
                                            &value) == UB_JVM_OK &&
               !exception_pending();
    return handled;
}

TEST(JavaUtilsInNative, HandledFailuresLeaveNoExceptionForTheJavaCaller)
{
    ub_JVM_handler handler = handle_failures;
    int64_t longs[] = {static_cast<int64_t>(reinterpret_cast<intptr_t>(handler))};
    jobject result = nullptr;
    StderrCapture err;
    // inNative would throw, and the call give -4, had the native method
    // returned with an exception pending.
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(vm(), 1, longs, "vesk/test/Collectable", "inNative", 0,
                                            nullptr, &result),
              UB_JVM_OK);
    EXPECT_EQ(take_string(result), "2001");
    // Each exception was described, as the detach describes it elsewhere.
    std::string text = err.text();
    size_t described = 0;
    for (size_t at = text.find("Exception in thread "); at != std::string::npos;
         at = text.find("Exception in thread ", at + 1))
        ++described;
    EXPECT_EQ(described, 2001u);
}

TEST(JavaUtilsInstance, NullObjectOrDetachedVmIsMinusTwo)
{
    char *text = reinterpret_cast<char *>(0x1);
    StderrCapture err;
    EXPECT_EQ(ub_JVM_callStringMethod(vm(), nullptr, "string", 0, nullptr, &text), UB_JVM_NO_CLASS);
    EXPECT_EQ(ub_JVM_callStringMethod(nullptr, nullptr, "string", 0, nullptr, &text),
              UB_JVM_NO_CLASS);
    EXPECT_EQ(text, reinterpret_cast<char *>(0x1));
    EXPECT_EQ(jvm_testing::without_uncaught(err.text()),
              "Classe nao encontrada.\nThread attach failed\n");
}

} // namespace
