#include "host/readiness.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "host/detail/stop_hook_class.hpp"
#include "host/service_config.h"
#include "log/verbose.h"
#include "platform/platform.h"

namespace {

// Room for the entry class in a status line, and for a whole report.
constexpr size_t entry_size = 256;
constexpr size_t report_size = 512;

// What was reported, shared by the main thread and the shutdown hook's
// thread, which take turns under the lock so that nothing follows STOPPING.
// Made once and never destroyed: the hook may run while the process exits.
struct Reports {
    std::mutex lock;
    bool listening = false;     // the manager took the first report
    bool stopping = false;      // STOPPING=1 went out
    char entry[entry_size] = "";
    char status[report_size] = ""; // the last status line sent
};

Reports &reports = *new Reports;

// Sends "STATUS=<status>" after the lines of head (when not empty), under
// the lock, and keeps status as the last one sent. A socket that does not
// take the report is told in the log. platform_notify_manager's result.
int send_status(const char *head, const char *status)
{
    char state[report_size + 32];
    std::snprintf(state, sizeof state, "%s%sSTATUS=%s", head, head[0] != '\0' ? "\n" : "", status);
    int sent = platform_notify_manager(state);
    if (sent < 0)
        verbose_in(&logger, VERBOSE_WARN, "Falha ao tentar avisar o gerenciador de servicos.\n");
    std::snprintf(reports.status, sizeof reports.status, "%s", status);
    return sent;
}

void running_status(char (&status)[report_size])
{
    std::snprintf(status, sizeof status, "Em execucao: %s", reports.entry);
}

// The entry class as Java spells it, cut between two UTF-8 characters to fit
// (the manager takes only UTF-8), control characters as '?' so that a name
// cannot add lines to a report.
void keep_entry(const char *entry_class)
{
    size_t length = std::strlen(entry_class);
    if (length >= entry_size) {
        length = entry_size - 1;
        while (length > 0 && (static_cast<unsigned char>(entry_class[length]) & 0xC0) == 0x80)
            --length;
    }
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(entry_class[i]);
        reports.entry[i] = c < 0x20 || c == 0x7F ? '?' : c == '/' ? '.' : entry_class[i];
    }
    reports.entry[length] = '\0';
}

// Today as yyyymmdd by the local clock; 0 when the clock cannot tell.
int32_t today()
{
    struct tm local {};
    if (platform_localtime(std::time(nullptr), &local) != 0)
        return 0;
    return (local.tm_year + 1900) * 10000 + (local.tm_mon + 1) * 100 + local.tm_mday;
}

// StopHook.stopping(), on the JVM's shutdown hook thread: no JNI is used.
void JNICALL stopping(JNIEnv *, jclass) noexcept
{
    std::lock_guard<std::mutex> hold(reports.lock);
    if (reports.stopping)
        return;
    reports.stopping = true;
    send_status("STOPPING=1", "Parando");
}

constexpr char hook_class_name[] = "vesk/readiness/StopHook";
constexpr char no_arguments[] = "()V";
constexpr char system_loader_signature[] = "()Ljava/lang/ClassLoader;";
constexpr char runtime_signature[] = "()Ljava/lang/Runtime;";
constexpr char add_hook_signature[] = "(Ljava/lang/Thread;)V";

// The calling thread's env, attached for the guard's life when it was not.
class AttachedEnv {
public:
    explicit AttachedEnv(JavaVM *jvm) noexcept : jvm_(jvm)
    {
        void *env = nullptr;
        jint got = jvm->GetEnv(&env, JNI_VERSION_1_6);
        if (got == JNI_EDETACHED) {
            attached_ = jvm->AttachCurrentThread(&env, nullptr) == JNI_OK;
            got = attached_ ? JNI_OK : JNI_ERR;
        }
        env_ = got == JNI_OK ? static_cast<JNIEnv *>(env) : nullptr;
    }

    ~AttachedEnv()
    {
        if (attached_)
            jvm_->DetachCurrentThread();
    }

    AttachedEnv(const AttachedEnv &) = delete;
    AttachedEnv &operator=(const AttachedEnv &) = delete;

    JNIEnv *get() const { return env_; }

private:
    JavaVM *jvm_;
    JNIEnv *env_ = nullptr;
    bool attached_ = false;
};

// Defines StopHook in the system class loader, binds its native method and
// registers an instance with Runtime.addShutdownHook. The step that failed,
// for the log, with its exception still pending; nullptr when all went well.
// The caller's local frame releases the references.
const char *add_stop_hook(JNIEnv *env)
{
    auto failed = [env](const void *result) { return result == nullptr || env->ExceptionCheck(); };
    jclass loader_class = env->FindClass("java/lang/ClassLoader");
    if (failed(loader_class))
        return "ClassLoader";
    jmethodID system_loader =
        env->GetStaticMethodID(loader_class, "getSystemClassLoader", system_loader_signature);
    if (failed(system_loader))
        return "ClassLoader.getSystemClassLoader";
    jobject loader = env->CallStaticObjectMethod(loader_class, system_loader);
    if (failed(loader))
        return "ClassLoader.getSystemClassLoader";
    const auto *bytes = reinterpret_cast<const jbyte *>(ub::detail::stop_hook_class);
    jclass hook_class = env->DefineClass(hook_class_name, loader, bytes,
                                         static_cast<jsize>(ub::detail::stop_hook_class_size));
    if (failed(hook_class))
        return "DefineClass";
    JNINativeMethod natives[] = {{const_cast<char *>("stopping"), const_cast<char *>(no_arguments),
                                  reinterpret_cast<void *>(stopping)}};
    if (env->RegisterNatives(hook_class, natives, 1) != JNI_OK || env->ExceptionCheck())
        return "RegisterNatives";
    jmethodID make = env->GetMethodID(hook_class, "<init>", no_arguments);
    if (failed(make))
        return "StopHook";
    jobject hook = env->NewObject(hook_class, make);
    if (failed(hook))
        return "StopHook";
    jclass runtime_class = env->FindClass("java/lang/Runtime");
    if (failed(runtime_class))
        return "Runtime";
    jmethodID get_runtime = env->GetStaticMethodID(runtime_class, "getRuntime", runtime_signature);
    if (failed(get_runtime))
        return "Runtime.getRuntime";
    jobject runtime = env->CallStaticObjectMethod(runtime_class, get_runtime);
    if (failed(runtime))
        return "Runtime.getRuntime";
    jmethodID add_hook = env->GetMethodID(runtime_class, "addShutdownHook", add_hook_signature);
    if (failed(add_hook))
        return "Runtime.addShutdownHook";
    env->CallVoidMethod(runtime, add_hook, hook);
    return env->ExceptionCheck() ? "Runtime.addShutdownHook" : nullptr;
}

// Installs the hook once per process; a failure is logged and left behind.
void install_stop_hook(JavaVM *jvm)
{
    static bool installed = false;
    if (installed)
        return;
    AttachedEnv env(jvm);
    const char *failed_step = "AttachCurrentThread";
    if (env.get() != nullptr && env.get()->PushLocalFrame(16) == JNI_OK) {
        failed_step = add_stop_hook(env.get());
        if (env.get()->ExceptionCheck())
            env.get()->ExceptionClear();
        env.get()->PopLocalFrame(nullptr);
    } else if (env.get() != nullptr) {
        failed_step = "PushLocalFrame";
        env.get()->ExceptionClear();
    }
    installed = failed_step == nullptr;
    if (!installed)
        verbose_in(&logger, VERBOSE_WARN,
                   "Falha ao tentar instalar o aviso de parada ao gerenciador de servicos (%s).\n",
                   failed_step);
}

} // namespace

void readiness_prepare(JavaVM *jvm, const char *entry_class) noexcept
{
    if (jvm == nullptr || entry_class == nullptr)
        return;
    {
        std::lock_guard<std::mutex> hold(reports.lock);
        keep_entry(entry_class);
        char status[report_size];
        std::snprintf(status, sizeof status, "Iniciando: %s", reports.entry);
        reports.listening = send_status("", status) == 0;
    }
    // Outside the lock, which the hook takes when the JVM already stops.
    if (reports.listening)
        install_stop_hook(jvm);
}

void readiness_ready(void) noexcept
{
    std::lock_guard<std::mutex> hold(reports.lock);
    if (!reports.listening || reports.stopping)
        return;
    char status[report_size];
    running_status(status);
    send_status("READY=1", status);
}

void readiness_watch(void) noexcept
{
    std::lock_guard<std::mutex> hold(reports.lock);
    if (!reports.listening || reports.stopping)
        return;
    char status[report_size];
    int32_t spent = verbose_budget_spent_day();
    if (spent != 0 && spent == today()) {
        std::snprintf(status, sizeof status,
                      "Limite diario do log atingido em %02d/%02d/%04d: linhas descartadas ate a "
                      "meia-noite",
                      static_cast<int>(spent % 100), static_cast<int>(spent / 100 % 100),
                      static_cast<int>(spent / 10000));
    } else {
        running_status(status);
    }
    if (std::strcmp(status, reports.status) != 0)
        send_status("", status);
}
