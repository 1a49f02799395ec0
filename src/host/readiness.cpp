#include "host/readiness.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "host/detail/stop_hook_class.hpp"
#include "host/service_config.h"
#include "jvm/java_utils.h"
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
    bool listening = false; // the manager took the first report
    bool stopping = false;  // STOPPING=1 went out
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

// The object that the static no-argument method name of owner returns (a
// local reference); nullptr, with any exception still pending, when the
// call cannot be made.
jobject static_object(JNIEnv *env, jclass owner, const char *name, const char *signature)
{
    jmethodID getter = env->GetStaticMethodID(owner, name, signature);
    if (getter == nullptr || env->ExceptionCheck())
        return nullptr;
    jobject result = env->CallStaticObjectMethod(owner, getter);
    return env->ExceptionCheck() ? nullptr : result;
}

// Defines StopHook in the system class loader, binds its native method and
// registers an instance with Runtime.addShutdownHook. The step that failed,
// for the log, with its exception still pending; nullptr when all went well.
// The caller's local frame releases the references.
const char *add_stop_hook(JNIEnv *env, jclass loader_class)
{
    auto failed = [env](const void *result) { return result == nullptr || env->ExceptionCheck(); };
    jobject loader =
        static_object(env, loader_class, "getSystemClassLoader", system_loader_signature);
    if (loader == nullptr)
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
    jobject runtime = static_object(env, runtime_class, "getRuntime", runtime_signature);
    if (runtime == nullptr)
        return "Runtime.getRuntime";
    jmethodID add_hook = env->GetMethodID(runtime_class, "addShutdownHook", add_hook_signature);
    if (failed(add_hook))
        return "Runtime.addShutdownHook";
    env->CallVoidMethod(runtime, add_hook, hook);
    return env->ExceptionCheck() ? "Runtime.addShutdownHook" : nullptr;
}

// Installs the hook once per process; a failure is logged and left behind.
// The thread is attached and detached as every bridge call does it.
void install_stop_hook(JavaVM *jvm)
{
    static bool installed = false;
    if (installed)
        return;
    JNIEnv *env = nullptr;
    jclass loader_class = nullptr;
    const char *failed_step = "ClassLoader";
    if (ub_JVM_attach_and_find_class(jvm, "java/lang/ClassLoader", &env, &loader_class) ==
        UB_JVM_ATTACHED) {
        if (env->PushLocalFrame(16) == JNI_OK) {
            failed_step = add_stop_hook(env, loader_class);
            if (env->ExceptionCheck())
                env->ExceptionClear();
            env->PopLocalFrame(nullptr);
        } else {
            failed_step = "PushLocalFrame";
            env->ExceptionClear();
        }
    }
    ub_JVM_dettach(jvm);
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
