#include "jvm/java_utils.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "jvm/detail/java_text.hpp"
#include "jvm/detail/jvm_create.hpp"
#include "log/messages.hpp"

namespace {

static_assert(sizeof(jlong) == sizeof(int64_t), "a Java long is a 64-bit integer");

// Signatures of the methods the call operations reach.
constexpr char object_signature[] = "([J[Ljava/lang/String;)Ljava/lang/Object;";
constexpr char constructor_signature[] = "([J[Ljava/lang/String;)V";
constexpr char int64_signature[] = "([Ljava/lang/String;)J";
constexpr char string_signature[] = "([Ljava/lang/String;)Ljava/lang/String;";
constexpr char bytes_signature[] = "([Ljava/lang/String;)[B";

const char *shown(const char *text)
{
    return text != nullptr ? text : "(null)";
}

// How a call finds its class and its method, and what it says when the
// method is missing.
enum class Kind { Static, Instance, Constructor };

struct Callee {
    Kind kind;
    const char *class_name; // Static and Constructor
    jobject object;         // Instance
    const char *method_name;
    const char *signature;
    char **failure = nullptr; // receives the exception's text when the call fails with one
};

void report_missing_method(const Callee &callee)
{
    switch (callee.kind) {
    case Kind::Static:
        verbose_message(VESK_MSG_JVM_STATIC_METHOD_NOT_FOUND, shown(callee.class_name),
                        shown(callee.method_name));
        break;
    case Kind::Instance:
        verbose_message(VESK_MSG_JVM_METHOD_NOT_FOUND, shown(callee.method_name));
        break;
    case Kind::Constructor:
        verbose_message(VESK_MSG_JVM_CONSTRUCTOR_NOT_FOUND, shown(callee.class_name));
        break;
    }
}

// A long[] of the values, or null when there are none. An exception stays
// pending when the array cannot be made.
jlongArray make_long_array(JNIEnv *env, int count, const int64_t *values)
{
    if (count <= 0 || values == nullptr)
        return nullptr;
    jlongArray array = env->NewLongArray(count);
    if (array != nullptr)
        env->SetLongArrayRegion(array, 0, count, reinterpret_cast<const jlong *>(values));
    return array;
}

// The step that empties an output before the call, when it was asked for.
template <typename T>
auto clearing(T *output)
{
    return [output] {
        if (output != nullptr)
            *output = T{};
    };
}

// The closing step of every call: the prescribed detach, which on a native
// thread also describes and drops the exception that the lookup or the call
// left. A thread that runs Java code (a native method's caller) cannot be
// detached; there the same is done here, so that the Java caller does not
// receive an exception that the result code has already reported.
void end_call(JavaVM *jvm, JNIEnv *env)
{
    if (jvm == nullptr)
        return;
    if (jvm->DetachCurrentThread() != JNI_OK && env != nullptr && env->ExceptionCheck()) {
        env->ExceptionDescribe();
        env->ExceptionClear();
    }
}

// Causes followed in an exception's chain before the line is ended.
constexpr int max_causes = 16;

// Appends text with each line break (CR LF, LF or CR) as one blank.
void append_one_line(const char *text, std::string &line)
{
    for (const char *at = text; *at != '\0'; ++at) {
        if (*at == '\r' && at[1] == '\n')
            ++at;
        line += *at == '\r' || *at == '\n' ? ' ' : *at;
    }
}

// thrown and its causes as their toString() gives them, joined by
// "; causa: ". Runs with no exception pending and clears each one its own
// calls raise; its local references belong to the caller's frame.
std::string chain_text(JNIEnv *env, jthrowable thrown)
{
    std::string line;
    jclass throwable = env->FindClass("java/lang/Throwable");
    jmethodID to_string = throwable != nullptr
                              ? env->GetMethodID(throwable, "toString", "()Ljava/lang/String;")
                              : nullptr;
    jmethodID get_cause = to_string != nullptr
                              ? env->GetMethodID(throwable, "getCause", "()Ljava/lang/Throwable;")
                              : nullptr;
    if (get_cause == nullptr) {
        env->ExceptionClear();
        return line;
    }
    jthrowable current = thrown;
    for (int depth = 0; current != nullptr && depth < max_causes; ++depth) {
        auto text = static_cast<jstring>(env->CallObjectMethod(current, to_string));
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            break;
        }
        if (depth > 0)
            line += "; causa: ";
        char *native = text != nullptr ? ub::detail::native_text(env, text) : nullptr;
        env->DeleteLocalRef(text);
        if (native != nullptr) {
            std::unique_ptr<char, decltype(&std::free)> owned(native, &std::free);
            append_one_line(native, line);
        }
        auto cause = static_cast<jthrowable>(env->CallObjectMethod(current, get_cause));
        if (env->ExceptionCheck()) {
            env->ExceptionClear();
            cause = nullptr;
        }
        if (current != thrown)
            env->DeleteLocalRef(current);
        current = cause;
    }
    if (current != thrown)
        env->DeleteLocalRef(current);
    return line;
}

// The pending exception and its causes on one line, as chain_text gives
// them: a malloc'd text, or NULL when no exception is pending or no text
// can be had. The exception is pending again afterwards, unchanged, so that
// what reports it later (a description, the detach) shows what it showed.
char *describe_pending(JNIEnv *env)
{
    if (!env->ExceptionCheck())
        return nullptr;
    jthrowable thrown = env->ExceptionOccurred();
    env->ExceptionClear();
    char *text = nullptr;
    if (env->PushLocalFrame(8) == JNI_OK) {
        try {
            std::string line = chain_text(env, thrown);
            text = static_cast<char *>(std::malloc(line.size() + 1));
            if (text != nullptr)
                std::memcpy(text, line.c_str(), line.size() + 1);
        } catch (const std::bad_alloc &) {
            env->ExceptionClear();
        }
        env->PopLocalFrame(nullptr);
    } else {
        env->ExceptionClear();
    }
    env->Throw(thrown);
    env->DeleteLocalRef(thrown);
    return text;
}

// Attaches the calling thread and finds a class with lookup: 0, or -1 when
// the attach fails, or -2 (after report and the exception's description)
// when no class is found; failure, when given, then receives the text of
// the lookup's exception. The exception the lookup left is always cleared.
template <typename Lookup, typename Report>
int attach_and_lookup(JavaVM *jvm, JNIEnv **env, jclass *cls, Lookup lookup, Report report,
                      char **failure = nullptr)
{
    JNIEnv *attached = nullptr;
    if (jvm == nullptr ||
        jvm->AttachCurrentThread(reinterpret_cast<void **>(&attached), nullptr) < 0) {
        verbose_message(VESK_MSG_JVM_ATTACH_FAILED);
        return UB_JVM_ATTACH_FAILED;
    }
    if (env != nullptr)
        *env = attached;
    jclass found = lookup(attached);
    if (cls != nullptr)
        *cls = found;
    int result = UB_JVM_ATTACHED;
    if (found == nullptr) {
        if (failure != nullptr)
            *failure = describe_pending(attached);
        report();
        attached->ExceptionDescribe();
        result = UB_JVM_CLASS_NOT_FOUND;
    }
    attached->ExceptionClear();
    return result;
}

// Attaches the calling thread and finds the class named class_name, as
// ub_JVM_attach_and_find_class does; failure as attach_and_lookup takes it.
int attach_and_find_class(JavaVM *jvm, const char *class_name, JNIEnv **env, jclass *cls,
                          char **failure)
{
    return attach_and_lookup(
        jvm, env, cls,
        [class_name](JNIEnv *attached) {
            ub::detail::JavaName name(class_name, ub::detail::JavaName::Kind::Class);
            return name.get() != nullptr ? attached->FindClass(name.get()) : nullptr;
        },
        [class_name] { verbose_message(VESK_MSG_JVM_CLASS_NOT_FOUND, shown(class_name)); },
        failure);
}

// The skeleton of every call operation: attach and find the class, build
// the arguments, clear the output, look the method up, call it and deliver,
// then end the call whatever happened. A failed attach leaves the outputs
// alone.
template <typename Clear, typename Invoke>
int call_java(JavaVM *jvm, const Callee &callee, int long_count, const int64_t *longs,
              int text_count, char *const *texts, Clear clear, Invoke invoke)
{
    JNIEnv *env = nullptr;
    jclass cls = nullptr;
    int attached = callee.kind == Kind::Instance
                       ? ub_JVM_attach(jvm, callee.object, &env, &cls)
                       : attach_and_find_class(jvm, callee.class_name, &env, &cls, callee.failure);
    int result = UB_JVM_NO_CLASS;
    if (attached == UB_JVM_ATTACHED) {
        // The detach cannot release the call's local references on a thread
        // that runs Java code (a native method's caller), so they live in a
        // frame of their own, popped before returning.
        bool framed = env->PushLocalFrame(8) == JNI_OK;
        jlongArray long_array = framed ? make_long_array(env, long_count, longs) : nullptr;
        jobjectArray string_array = framed && !env->ExceptionCheck()
                                        ? ub_JVM_getStringArray(env, text_count, texts)
                                        : nullptr;
        clear();
        if (!framed || env->ExceptionCheck()) {
            // Out of memory while building the arguments: nothing was called.
            result = UB_JVM_NULL_RESULT;
        } else {
            jmethodID method = nullptr;
            ub::detail::JavaName name(callee.method_name);
            if (name.get() != nullptr) {
                method = callee.kind == Kind::Static
                             ? env->GetStaticMethodID(cls, name.get(), callee.signature)
                             : env->GetMethodID(cls, name.get(), callee.signature);
            }
            if (method == nullptr) {
                report_missing_method(callee);
                result = UB_JVM_NO_METHOD;
            } else {
                result = invoke(env, cls, method, long_array, string_array);
            }
        }
        if (callee.failure != nullptr && *callee.failure == nullptr)
            *callee.failure = describe_pending(env);
        if (framed)
            env->PopLocalFrame(nullptr);
        env->DeleteLocalRef(cls);
    }
    end_call(jvm, env);
    return result;
}

// Hands the returned object to the caller as a global reference. A call
// that threw returned null; the exception is checked before any other JNI
// call, as JNI requires after a call into Java.
int deliver_object(JNIEnv *env, jobject returned, jobject *result)
{
    if (env->ExceptionCheck() || returned == nullptr)
        return UB_JVM_NULL_RESULT;
    if (result != nullptr) {
        jobject global = env->NewGlobalRef(returned);
        if (global == nullptr)
            return UB_JVM_NULL_RESULT;
        *result = global;
    }
    return UB_JVM_OK;
}

// Copies the returned string into a malloc'd UTF-8 text.
int deliver_text(JNIEnv *env, jobject returned, char **result)
{
    if (env->ExceptionCheck() || returned == nullptr)
        return UB_JVM_NULL_RESULT;
    char *copy = ub::detail::native_text(env, static_cast<jstring>(returned));
    if (copy == nullptr)
        return UB_JVM_NULL_RESULT;
    if (result != nullptr)
        *result = copy;
    else
        std::free(copy);
    return UB_JVM_OK;
}

// Copies the returned byte[] into a malloc'd buffer with a zero byte after
// the data, so that text payloads can be read as C strings.
int deliver_bytes(JNIEnv *env, jobject returned, char **bytes, uint32_t *length)
{
    if (env->ExceptionCheck() || returned == nullptr)
        return UB_JVM_NULL_RESULT;
    jbyteArray array = static_cast<jbyteArray>(returned);
    jsize size = env->GetArrayLength(array);
    char *copy = static_cast<char *>(std::malloc(static_cast<size_t>(size) + 1));
    if (copy == nullptr)
        return UB_JVM_NULL_RESULT;
    if (size > 0) {
        jbyte *elements = env->GetByteArrayElements(array, nullptr);
        if (elements == nullptr) {
            std::free(copy);
            return UB_JVM_NULL_RESULT;
        }
        std::memcpy(copy, elements, static_cast<size_t>(size));
        env->ReleaseByteArrayElements(array, elements, 0);
    }
    copy[size] = '\0';
    if (length != nullptr)
        *length = static_cast<uint32_t>(size);
    if (bytes != nullptr)
        *bytes = copy;
    else
        std::free(copy);
    return UB_JVM_OK;
}

// A JVM that was not created, and the message that says so.
// The hook that the next JVM gets as its "abort" option, or NULL.
std::atomic<ub_JVM_abort_hook> abort_hook{nullptr};

JavaVM *refuse_creation()
{
    verbose_message(VESK_MSG_JVM_NOT_LOADED);
    return nullptr;
}

} // namespace

void ub_JVM_set_abort_hook(ub_JVM_abort_hook hook) noexcept
{
    abort_hook.store(hook);
}

JavaVM *ub_loadJVM(const char *class_path, const char *library_path, const char *stack) noexcept
{
    return ub_loadJVM_with_exit_hook(class_path, library_path, stack, nullptr);
}

JavaVM *ub_loadJVM_with_exit_hook(const char *class_path, const char *library_path,
                                  const char *stack, ub_JVM_exit_hook exit_hook) noexcept
{
    return ub_loadJVM_with_options(class_path, library_path, stack, exit_hook, 0, nullptr);
}

JavaVM *ub_loadJVM_with_options(const char *class_path, const char *library_path, const char *stack,
                                ub_JVM_exit_hook exit_hook, int option_count,
                                const char *const *options) noexcept
{
    if (class_path == nullptr)
        class_path = ".";
    if (library_path == nullptr)
        library_path = "";
    if (stack == nullptr)
        stack = "1";
    if (options == nullptr || option_count < 0)
        option_count = 0;

    // The JVM copies what it keeps of each option while it starts, so the
    // texts only need to outlive the creation call. The class path and the
    // library path are as long as they are (a server's jars easily pass
    // 2047 characters); the other options keep their fixed buffers.
    char compiler[UB_JVM_OPTION_SIZE];
    char stack_size[UB_JVM_OPTION_SIZE];
    char coredump[UB_JVM_OPTION_SIZE];
    std::snprintf(compiler, sizeof compiler, "-Djava.compiler=%s", "NONE");
    std::snprintf(stack_size, sizeof stack_size, "-Xss%sm", stack);
    std::snprintf(coredump, sizeof coredump, "%s", "-XX:-CreateCoredumpOnCrash");
    // The five, the further ones and the hooks are counted by a jint.
    if (option_count > INT_MAX - 7)
        return refuse_creation();
    std::string class_path_option;
    std::string library_path_option;
    std::vector<JavaVMOption> jvm_options;
    try {
        class_path_option = std::string("-Djava.class.path=") + class_path;
        library_path_option = std::string("-Djava.library.path=") + library_path;
        char *own[] = {compiler, class_path_option.data(), library_path_option.data(), stack_size,
                       coredump};
        jvm_options.reserve(std::size(own) + static_cast<size_t>(option_count) + 2);
        for (char *text : own)
            jvm_options.push_back({text, nullptr});
        // The JVM reads the texts and never writes them.
        for (int i = 0; i < option_count; ++i) {
            if (options[i] != nullptr)
                jvm_options.push_back({const_cast<char *>(options[i]), nullptr});
        }
    } catch (const std::bad_alloc &) {
        return refuse_creation();
    }

    verbose_message(VESK_MSG_JVM_OPTIONS);
    for (const JavaVMOption &option : jvm_options)
        verbose_message(VESK_MSG_JVM_OPTION, option.optionString);
    // The hooks are no options an operator chose: they stay out of the
    // listing. Room for them was reserved, so this adds without allocating.
    char exit_option[] = "exit";
    if (exit_hook != nullptr)
        jvm_options.push_back({exit_option, reinterpret_cast<void *>(exit_hook)});
    char abort_option[] = "abort";
    if (ub_JVM_abort_hook aborting = abort_hook.load(); aborting != nullptr)
        jvm_options.push_back({abort_option, reinterpret_cast<void *>(aborting)});

    JavaVMInitArgs args;
    args.version = JNI_VERSION_1_2;
    args.nOptions = static_cast<jint>(jvm_options.size());
    args.options = jvm_options.data();
    args.ignoreUnrecognized = JNI_FALSE;

    verbose_message(VESK_MSG_JVM_START);
    // The JVM writes its own diagnostics to the same streams; keep ours first.
    std::fflush(stdout);
    JavaVM *jvm = nullptr;
    JNIEnv *env = nullptr;
    jint created = ub::detail::create_java_vm(&jvm, reinterpret_cast<void **>(&env), &args);
    return created < 0 ? refuse_creation() : jvm;
}

void ub_unloadJVM(void) noexcept
{
    // A JVM cannot be created again in the same process once destroyed, so
    // it is left running until the process ends.
}

int ub_JVM_attach_and_find_class(JavaVM *jvm, const char *class_name, JNIEnv **env,
                                 jclass *cls) noexcept
{
    return attach_and_find_class(jvm, class_name, env, cls, nullptr);
}

int ub_JVM_attach(JavaVM *jvm, jobject object, JNIEnv **env, jclass *cls) noexcept
{
    return attach_and_lookup(
        jvm, env, cls,
        // GetObjectClass must not see a null reference.
        [object](JNIEnv *attached) {
            return object != nullptr ? attached->GetObjectClass(object) : nullptr;
        },
        [] { verbose_message(VESK_MSG_JVM_OBJECT_CLASS_NOT_FOUND); });
}

void ub_JVM_dettach(JavaVM *jvm) noexcept
{
    // Refused for a thread that is running Java code (a native method's
    // caller); that thread simply stays attached.
    if (jvm != nullptr)
        jvm->DetachCurrentThread();
}

jobjectArray ub_JVM_getStringArray(JNIEnv *env, int count, char *const *texts) noexcept
{
    if (count <= 0 || env == nullptr)
        return nullptr;
    jclass string_class = env->FindClass("java/lang/String");
    if (string_class == nullptr)
        return nullptr;
    jobjectArray array = env->NewObjectArray(count, string_class, nullptr);
    env->DeleteLocalRef(string_class);
    if (array == nullptr)
        return nullptr;
    for (int i = 0; texts != nullptr && i < count; ++i) {
        if (texts[i] == nullptr)
            continue;
        jstring element = ub::detail::java_string(env, texts[i]);
        if (element != nullptr)
            env->SetObjectArrayElement(array, i, element);
        // One local reference per element would pile up on long arrays.
        env->DeleteLocalRef(element);
        if (env->ExceptionCheck()) {
            env->DeleteLocalRef(array);
            return nullptr;
        }
    }
    return array;
}

jbyteArray ub_JVM_getByteArray(JNIEnv *env, const char *bytes, int32_t length) noexcept
{
    if (env == nullptr || bytes == nullptr || length <= 0)
        return nullptr;
    jbyteArray array = env->NewByteArray(length);
    if (array != nullptr)
        env->SetByteArrayRegion(array, 0, length, reinterpret_cast<const jbyte *>(bytes));
    return array;
}

int ub_JVM_callStaticObjectMethod(JavaVM *jvm, int long_count, const int64_t *longs,
                                  const char *class_name, const char *method_name, int text_count,
                                  char *const *texts, jobject *result) noexcept
{
    return ub_JVM_callStaticObjectMethodEx(jvm, long_count, longs, class_name, method_name,
                                           text_count, texts, result, nullptr);
}

int ub_JVM_callStaticObjectMethodEx(JavaVM *jvm, int long_count, const int64_t *longs,
                                    const char *class_name, const char *method_name, int text_count,
                                    char *const *texts, jobject *result, char **failure) noexcept
{
    if (failure != nullptr)
        *failure = nullptr;
    Callee callee{Kind::Static, class_name, nullptr, method_name, object_signature, failure};
    return call_java(jvm, callee, long_count, longs, text_count, texts, clearing(result),
                     [&](JNIEnv *env, jclass cls, jmethodID method, jlongArray long_array,
                         jobjectArray string_array) {
                         jobject returned =
                             env->CallStaticObjectMethod(cls, method, long_array, string_array);
                         return deliver_object(env, returned, result);
                     });
}

int ub_JVM_callStaticInt64Method(JavaVM *jvm, const char *class_name, const char *method_name,
                                 int text_count, char *const *texts, int64_t *result) noexcept
{
    Callee callee{Kind::Static, class_name, nullptr, method_name, int64_signature};
    return call_java(
        jvm, callee, 0, nullptr, text_count, texts, clearing(result),
        [&](JNIEnv *env, jclass cls, jmethodID method, jlongArray, jobjectArray string_array) {
            // A call that threw still counts as done: the value is the JVM's.
            jlong value = env->CallStaticLongMethod(cls, method, string_array);
            if (result != nullptr)
                *result = value;
            return UB_JVM_OK;
        });
}

int ub_JVM_callStaticStringMethod(JavaVM *jvm, const char *class_name, const char *method_name,
                                  int text_count, char *const *texts, char **result) noexcept
{
    Callee callee{Kind::Static, class_name, nullptr, method_name, string_signature};
    return call_java(
        jvm, callee, 0, nullptr, text_count, texts, clearing(result),
        [&](JNIEnv *env, jclass cls, jmethodID method, jlongArray, jobjectArray string_array) {
            jobject returned = env->CallStaticObjectMethod(cls, method, string_array);
            return deliver_text(env, returned, result);
        });
}

int ub_JVM_callStaticBytesMethod(JavaVM *jvm, const char *class_name, const char *method_name,
                                 int text_count, char *const *texts, char **bytes,
                                 uint32_t *length) noexcept
{
    Callee callee{Kind::Static, class_name, nullptr, method_name, bytes_signature};
    return call_java(
        jvm, callee, 0, nullptr, text_count, texts, clearing(bytes),
        [&](JNIEnv *env, jclass cls, jmethodID method, jlongArray, jobjectArray string_array) {
            jobject returned = env->CallStaticObjectMethod(cls, method, string_array);
            return deliver_bytes(env, returned, bytes, length);
        });
}

int ub_JVM_callNewObjectMethod(JavaVM *jvm, int long_count, const int64_t *longs,
                               const char *class_name, int text_count, char *const *texts,
                               jobject *result) noexcept
{
    Callee callee{Kind::Constructor, class_name, nullptr, "<init>", constructor_signature};
    return call_java(jvm, callee, long_count, longs, text_count, texts, clearing(result),
                     [&](JNIEnv *env, jclass cls, jmethodID method, jlongArray long_array,
                         jobjectArray string_array) {
                         jobject created = env->NewObject(cls, method, long_array, string_array);
                         return deliver_object(env, created, result);
                     });
}

int ub_JVM_callInt64Method(JavaVM *jvm, jobject object, const char *method_name, int text_count,
                           char *const *texts, int64_t *result) noexcept
{
    Callee callee{Kind::Instance, nullptr, object, method_name, int64_signature};
    return call_java(
        jvm, callee, 0, nullptr, text_count, texts, clearing(result),
        [&](JNIEnv *env, jclass, jmethodID method, jlongArray, jobjectArray string_array) {
            jlong value = env->CallLongMethod(object, method, string_array);
            if (result != nullptr)
                *result = value;
            return UB_JVM_OK;
        });
}

int ub_JVM_callStringMethod(JavaVM *jvm, jobject object, const char *method_name, int text_count,
                            char *const *texts, char **result) noexcept
{
    Callee callee{Kind::Instance, nullptr, object, method_name, string_signature};
    return call_java(
        jvm, callee, 0, nullptr, text_count, texts, clearing(result),
        [&](JNIEnv *env, jclass, jmethodID method, jlongArray, jobjectArray string_array) {
            jobject returned = env->CallObjectMethod(object, method, string_array);
            return deliver_text(env, returned, result);
        });
}

int ub_JVM_callBytesMethod(JavaVM *jvm, jobject object, const char *method_name, int text_count,
                           char *const *texts, char **bytes, uint32_t *length) noexcept
{
    Callee callee{Kind::Instance, nullptr, object, method_name, bytes_signature};
    return call_java(
        jvm, callee, 0, nullptr, text_count, texts, clearing(bytes),
        [&](JNIEnv *env, jclass, jmethodID method, jlongArray, jobjectArray string_array) {
            jobject returned = env->CallObjectMethod(object, method, string_array);
            return deliver_bytes(env, returned, bytes, length);
        });
}

void ub_JVM_unrefObjectMethod(JavaVM *jvm, jobject object) noexcept
{
    JNIEnv *env = nullptr;
    if (jvm == nullptr || jvm->AttachCurrentThread(reinterpret_cast<void **>(&env), nullptr) < 0) {
        verbose_message(VESK_MSG_JVM_ATTACH_FAILED);
        return;
    }
    // Deliberately no detach: the calling thread stays attached.
    if (object != nullptr)
        env->DeleteGlobalRef(object);
}
