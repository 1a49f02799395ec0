#include "jvm_env.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "host/veskserver.h"
#include "test_support.h"

namespace jvm_testing {

namespace {

JavaVM *shared_vm = nullptr;
std::string shared_output;

// Creates the JVM once for the whole test program; a JVM cannot be created
// again after it is destroyed, so TearDown leaves it alone.
class JvmEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        char *list[] = {const_cast<char *>("CLASSPATH"),
                        const_cast<char *>(VESK_TEST_JAR),
                        const_cast<char *>("LIBRARY_PATH"),
                        const_cast<char *>(VESK_TEST_NATIVES_DIR),
                        const_cast<char *>("STACK"),
                        const_cast<char *>("8"),
                        nullptr};
        // In an empty folder of its own: the host reads conf/jvm.options
        // from the folder it starts in.
        std::filesystem::path previous = std::filesystem::current_path();
        std::string folder = (std::filesystem::temp_directory_path() / "vesk-jvm-XXXXXX").string();
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        std::filesystem::current_path(folder);
        StdoutCapture capture;
        shared_vm = vesk_init(list);
        shared_output = capture.text();
        std::filesystem::current_path(previous);
        std::filesystem::remove(folder);
        ASSERT_NE(shared_vm, nullptr) << shared_output;
    }
};

[[maybe_unused]] ::testing::Environment *const environment =
    ::testing::AddGlobalTestEnvironment(new JvmEnvironment);

} // namespace

JavaVM *vm()
{
    return shared_vm;
}

const std::string &creation_output()
{
    return shared_output;
}

bool attached()
{
    void *env = nullptr;
    return shared_vm->GetEnv(&env, JNI_VERSION_1_6) == JNI_OK;
}

Attached::Attached()
{
    shared_vm->AttachCurrentThread(reinterpret_cast<void **>(&env_), nullptr);
}

Attached::~Attached()
{
    shared_vm->DetachCurrentThread();
}

std::string without_uncaught(const std::string &text)
{
    std::string kept;
    bool in_report = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        if (line.rfind("Exception in thread ", 0) == 0)
            in_report = true;
        else if (line.rfind("\tat ", 0) != 0 && line.rfind("Caused by", 0) != 0 &&
                 line.rfind("\t...", 0) != 0)
            in_report = false;
        if (!in_report)
            kept += line;
        start = end;
    }
    return kept;
}

std::string string_of(jobject string)
{
    Attached thread;
    const char *chars = thread.env()->GetStringUTFChars(static_cast<jstring>(string), nullptr);
    std::string text = chars != nullptr ? chars : "<no text>";
    if (chars != nullptr)
        thread.env()->ReleaseStringUTFChars(static_cast<jstring>(string), chars);
    return text;
}

} // namespace jvm_testing
