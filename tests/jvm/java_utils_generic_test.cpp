// The generic native callback, the dispatcher calls, and log events relayed
// from Java threads through the test library into vesk_cb.
#include "jvm/java_utils.h"

#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/service_config.h"
#include "host/veskserver.h"
#include "jvm_env.h"
#include "test_support.h"

namespace {

using jvm_testing::vm;
using testing_support::StderrCapture;

// What the recording handler was given, copied during the call.
struct Seen {
    int32_t long_count = -1;
    std::vector<int32_t> longs;
    uint32_t text_count = 0;
    std::vector<std::string> texts; // "<NULL>" for a null pointer
    std::vector<int32_t> blob_lengths;
    std::vector<std::string> blobs;
} seen;

// The handler cannot tell the number of blobs on its own (an empty blob
// also has length 0); each test says how many it sends.
size_t blobs_sent = 0;

int32_t record(int32_t long_count, int32_t *longs, uint32_t text_count, char **texts,
               int32_t *blob_lengths, char **blobs)
{
    seen = Seen{};
    seen.long_count = long_count;
    seen.longs.assign(longs, longs + long_count);
    seen.text_count = text_count;
    for (uint32_t i = 0; i < text_count + 2; ++i)
        seen.texts.push_back(texts[i] != nullptr ? texts[i] : "<NULL>");
    for (size_t i = 0; i < blobs_sent; ++i)
        seen.blobs.emplace_back(blobs[i], static_cast<size_t>(blob_lengths[i]));
    seen.blob_lengths.assign(blob_lengths, blob_lengths + blobs_sent + 1);
    return 42;
}

class GenericCallback : public ::testing::Test {
protected:
    void SetUp() override
    {
        blobs_sent = 0;
        vm()->AttachCurrentThread(reinterpret_cast<void **>(&env_), nullptr);
        string_class_ = env_->FindClass("java/lang/String");
        bytes_class_ = env_->FindClass("[B");
    }
    void TearDown() override { vm()->DetachCurrentThread(); }

    jobjectArray strings(std::initializer_list<const char *> items)
    {
        jobjectArray array =
            env_->NewObjectArray(static_cast<jsize>(items.size()), string_class_, nullptr);
        jsize i = 0;
        for (const char *item : items) {
            if (item != nullptr)
                env_->SetObjectArrayElement(array, i, env_->NewStringUTF(item));
            ++i;
        }
        return array;
    }

    JNIEnv *env_ = nullptr;
    jclass string_class_ = nullptr;
    jclass bytes_class_ = nullptr;
};

TEST_F(GenericCallback, AllArraysNull)
{
    EXPECT_EQ(ub_JVM_generic_callback(env_, nullptr, nullptr, nullptr, nullptr, record), 42);
    EXPECT_EQ(seen.long_count, 0);
    EXPECT_EQ(seen.text_count, 0u);
    EXPECT_EQ(seen.texts, (std::vector<std::string>{"<NULL>", "<NULL>"}));
    EXPECT_EQ(seen.blob_lengths, std::vector<int32_t>{0});
}

TEST_F(GenericCallback, NullStringBecomesEmptyAndTheListEndsWithTwoNulls)
{
    jobjectArray texts = strings({"first", nullptr, "third"});
    EXPECT_EQ(ub_JVM_generic_callback(env_, nullptr, nullptr, texts, nullptr, record), 42);
    EXPECT_EQ(seen.text_count, 3u);
    EXPECT_EQ(seen.texts, (std::vector<std::string>{"first", "", "third", "<NULL>", "<NULL>"}));
}

TEST_F(GenericCallback, LongsArriveAsTheirLow32Bits)
{
    jlong values[] = {(1LL << 32) + 5, -1, INT64_MIN, 0x7fffffff};
    jlongArray longs = env_->NewLongArray(4);
    env_->SetLongArrayRegion(longs, 0, 4, values);
    EXPECT_EQ(ub_JVM_generic_callback(env_, nullptr, longs, nullptr, nullptr, record), 42);
    EXPECT_EQ(seen.long_count, 4);
    EXPECT_EQ(seen.longs, (std::vector<int32_t>{5, -1, 0, 0x7fffffff}));
    EXPECT_EQ(static_cast<uint32_t>(seen.longs[1]), 0xffffffffu);
}

TEST_F(GenericCallback, BlobsAreCopiedWithTheirLengths)
{
    jobjectArray blobs = env_->NewObjectArray(3, bytes_class_, nullptr);
    jbyteArray first = env_->NewByteArray(3);
    const jbyte data[] = {'x', 0, 'z'};
    env_->SetByteArrayRegion(first, 0, 3, data);
    env_->SetObjectArrayElement(blobs, 0, first);
    env_->SetObjectArrayElement(blobs, 1, env_->NewByteArray(0));
    // Element 2 stays null: it arrives as an empty blob.
    blobs_sent = 3;
    EXPECT_EQ(ub_JVM_generic_callback(env_, nullptr, nullptr, nullptr, blobs, record), 42);
    EXPECT_EQ(seen.blob_lengths, (std::vector<int32_t>{3, 0, 0, 0}));
    ASSERT_EQ(seen.blobs.size(), 3u);
    EXPECT_EQ(seen.blobs[0], std::string("x\0z", 3));
}

TEST_F(GenericCallback, NullHandlerIsNotCalled)
{
    EXPECT_EQ(ub_JVM_generic_callback(env_, nullptr, nullptr, nullptr, nullptr, nullptr), -1);
}

TEST(JavaUtilsDispatch, FillParamsPutsTheOperationFirst)
{
    char *texts[] = {const_cast<char *>("a"), const_cast<char *>("b")};
    char *params[4] = {};
    ub_JVM_fill_params("sum", 2, texts, params);
    EXPECT_STREQ(params[0], "method");
    EXPECT_STREQ(params[1], "sum");
    EXPECT_EQ(params[2], texts[0]); // the caller's pointers, not copies
    EXPECT_EQ(params[3], texts[1]);
}

class JavaUtilsGeneric : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(ub_JVM_callNewObjectMethod(vm(), 0, nullptr, "vesk/test/Dispatcher", 0, nullptr,
                                             &dispatcher_),
                  UB_JVM_OK);
        ASSERT_EQ(
            ub_JVM_callNewObjectMethod(vm(), 0, nullptr, "vesk/test/Target", 0, nullptr, &plain_),
            UB_JVM_OK);
    }
    void TearDown() override
    {
        ub_JVM_unrefObjectMethod(vm(), dispatcher_);
        ub_JVM_unrefObjectMethod(vm(), plain_);
        vm()->DetachCurrentThread();
    }

    jobject dispatcher_ = nullptr;
    jobject plain_ = nullptr; // has neither dispatcher method
};

TEST_F(JavaUtilsGeneric, StringMethodSendsMethodAndOperationFirst)
{
    char *texts[] = {const_cast<char *>("1"), const_cast<char *>("2")};
    char *text = ub_JVM_genericStringMethod(vm(), dispatcher_, "sum", 2, texts);
    EXPECT_STREQ(text, "longs=null texts=[method, sum, 1, 2]");
    std::free(text);
}

TEST_F(JavaUtilsGeneric, BytesMethodDeliversTheLength)
{
    char *texts[] = {const_cast<char *>("x")};
    char *bytes = nullptr;
    uint32_t length = ub_JVM_genericBytesMethod(vm(), dispatcher_, "get", 1, texts, &bytes);
    EXPECT_EQ(std::string(bytes, length), "longs=null texts=[method, get, x]");
    EXPECT_EQ(bytes[length], '\0');
    std::free(bytes);
}

TEST_F(JavaUtilsGeneric, FailuresAreReportedWithTheirCode)
{
    StderrCapture err;
    EXPECT_EQ(ub_JVM_genericStringMethod(vm(), dispatcher_, "null", 0, nullptr), nullptr);
    EXPECT_EQ(ub_JVM_genericStringMethod(vm(), plain_, "x", 0, nullptr), nullptr);
    char *bytes = reinterpret_cast<char *>(0x1);
    EXPECT_EQ(ub_JVM_genericBytesMethod(vm(), plain_, "x", 0, nullptr, &bytes), 0u);
    EXPECT_EQ(bytes, nullptr);
    bytes = reinterpret_cast<char *>(0x1);
    EXPECT_EQ(ub_JVM_genericBytesMethod(vm(), nullptr, "x", 0, nullptr, &bytes), 0u);
    EXPECT_EQ(bytes, reinterpret_cast<char *>(0x1)); // class not found: left alone
    EXPECT_EQ(jvm_testing::without_uncaught(err.text()),
              "Error call callStringMethod -4\n"
              "metodo 'callStringMethod' nao encontrado.\n"
              "Error call callStringMethod -3\n"
              "metodo 'callBytesMethod' nao encontrado.\n"
              "Error call callBytesMethod -3\n"
              "Classe nao encontrada.\n"
              "Error call callBytesMethod -2\n");
}

class JavaRelay : public testing_support::TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        std::filesystem::create_directory("log");
        saved_ = logger;
        logger.verbosity = VERBOSE_INFO;
        log_component_set_tag(&logger, "VESK");
    }
    void TearDown() override
    {
        logger = saved_;
        TempDirTest::TearDown();
    }

    log_component saved_{};
};

// Eight Java threads relay 2,000 events each at once: every line arrives
// whole, once, and the writer's result reaches Java as a positive count.
TEST_F(JavaRelay, ConcurrentEventsFromJavaThreadsArriveWhole)
{
    ub_JVM_handler callback = vesk_cb;
    int64_t longs[] = {static_cast<int64_t>(reinterpret_cast<intptr_t>(callback))};
    char *texts[] = {const_cast<char *>("8"), const_cast<char *>("2000")};
    jobject failures = nullptr;
    ASSERT_EQ(ub_JVM_callStaticObjectMethod(vm(), 1, longs, "vesk/test/RelayStorm", "run", 2, texts,
                                            &failures),
              UB_JVM_OK);
    EXPECT_EQ(jvm_testing::string_of(failures), "0");
    ub_JVM_unrefObjectMethod(vm(), failures);
    vm()->DetachCurrentThread();

    std::vector<std::string> lines =
        testing_support::read_lines(testing_support::todays_log(dir()));
    ASSERT_EQ(lines.size(), 16000u);
    std::regex shape(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d: )"
                     R"(Storm\|INFO\|t(\d)\|event-(\d+)-of-t\1-x{40})");
    std::set<std::string> distinct;
    for (const std::string &line : lines) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
        distinct.insert(match[1].str() + "/" + match[2].str());
    }
    EXPECT_EQ(distinct.size(), 16000u);
}

} // namespace
