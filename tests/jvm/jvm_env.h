// The one JVM of a test process, created before the first test through the
// host's vesk_init and never destroyed; standard-output capture.
#ifndef TESTS_JVM_JVM_ENV_H
#define TESTS_JVM_JVM_ENV_H

#include <jni.h>

#include <string>

#include "test_support.h"

namespace jvm_testing {

// The shared JVM (class path: the fixtures jar; library path: the folder
// of the fixtures' JNI library; stack 8 MB).
JavaVM *vm();

// What the creation wrote to standard output.
const std::string &creation_output();

// Whether the calling thread is attached to the shared JVM.
bool attached();

using testing_support::StdoutCapture;

// Attaches the calling thread for the scope and detaches it at the end.
class Attached {
public:
    Attached();
    ~Attached();
    Attached(const Attached &) = delete;
    Attached &operator=(const Attached &) = delete;
    JNIEnv *env() const { return env_; }

private:
    JNIEnv *env_ = nullptr;
};

// text without the reports that the JVM writes itself when a thread
// detaches with an exception pending ("Exception in thread ..." and its
// stack lines), leaving the bridge's own messages.
std::string without_uncaught(const std::string &text);

// The text of a global or local reference to a java.lang.String.
std::string string_of(jobject string);

} // namespace jvm_testing

#endif
