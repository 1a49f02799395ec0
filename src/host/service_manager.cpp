#include "host/service_manager.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "host/crash.h"
#include "host/service_config.h"
#include "host/veskserver.h"
#include "log/trust.h"
#include "log/verbose.h"
#include "platform/platform.h"
#include "util/vesk_utils.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the manager is told to wait for the next progress report.
constexpr uint32_t progress_hint_ms = 5000;

// The service's state, shared by the manager's threads, the JVM's exit hook
// and the main thread. Made once and never destroyed: the JVM ends the
// process while other threads may still wait on it.
struct Service {
    std::mutex lock;
    std::condition_variable changed;
    int argc = 0;
    char **argv = nullptr;
    int stop_seconds = VESK_SERVICE_STOP_SECONDS;
    bool launched = false;       // RUNNING was reported
    bool stop_requested = false; // the manager asked for a stop
    bool stopped = false;        // STOPPED was reported: nothing more goes out
    bool ending = false;         // the process ends elsewhere: the JVM or the bound
    bool jvm_left = false;       // a failed entry call left the JVM running
    int status = VESK_OK;        // the failed launch's status
};

Service &service = *new Service;

// Whether count words (the command line's after the program, or the start
// parameters) are as the launch takes them: none, a single one (ignored, as
// on the command line), or pairs.
bool in_pairs(int count)
{
    return count <= 1 || count % 2 == 0;
}

// The program name, then the pairs of the process's words, then those of
// the start parameters (later pairs win when the list is merged).
std::vector<char *> service_words(int argc, char **argv)
{
    std::vector<char *> words{service.argv[0]};
    if (service.argc - 1 > 1)
        words.insert(words.end(), service.argv + 1, service.argv + service.argc);
    if (argc - 1 > 1)
        words.insert(words.end(), argv + 1, argv + argc);
    return words;
}

// The bound of a stop: the last STOP_TIMEOUT pair, whole seconds from 1 to
// 86400; the default, with a warning, for anything else.
int stop_seconds(const std::vector<char *> &words)
{
    const char *given = nullptr;
    for (size_t k = 1; k + 1 < words.size(); k += 2) {
        if (std::strcmp(words[k], "STOP_TIMEOUT") == 0)
            given = words[k + 1];
    }
    if (given == nullptr)
        return VESK_SERVICE_STOP_SECONDS;
    long seconds = 0;
    const char *at = given;
    for (; *at >= '0' && *at <= '9' && seconds <= 86400; ++at)
        seconds = seconds * 10 + (*at - '0');
    if (at == given || *at != '\0' || seconds < 1 || seconds > 86400) {
        verbose_in(&logger, VERBOSE_WARN, "STOP_TIMEOUT invalido ('%s'); usando %d s.\n", given,
                   VESK_SERVICE_STOP_SECONDS);
        return VESK_SERVICE_STOP_SECONDS;
    }
    return static_cast<int>(seconds);
}

// Called by the JVM, on its own thread, once the shutdown hooks ran and just
// before it ends the process. STOPPED must reach the manager first, or it
// counts a crash. An exit the manager did not ask for is a clean stop only
// with the statuses of one (0, or the status a stop asks for); any other is
// left unreported, so that the manager restarts the service as after a crash.
void JNICALL jvm_exiting(jint status)
{
    std::lock_guard<std::mutex> guard(service.lock);
    service.ending = true;
    if (service.stopped)
        return;
    if (!service.stop_requested)
        verbose_in(&logger, VERBOSE_INFO, "O lado Java encerrou o processo com o status %d.\n",
                   static_cast<int>(status));
    if (service.stop_requested || status == 0 || status == VESK_STOP_STATUS) {
        platform_service_report(PLATFORM_SERVICE_STOPPED, 0, 0);
        service.stopped = true;
    }
    service.changed.notify_all();
}

// The manager's STOP or SHUTDOWN, on the dispatcher's thread.
void request_stop(void *)
{
    std::lock_guard<std::mutex> guard(service.lock);
    // Once the process ends by itself (the Java side exited unreported),
    // nothing would complete a stop.
    if (service.stop_requested || service.stopped || service.ending || !service.launched)
        return;
    service.stop_requested = true;
    verbose_in(&logger, VERBOSE_INFO, "Parada pedida pelo gerenciador de servicos.\n");
    platform_service_report(PLATFORM_SERVICE_STOP_PENDING, 0,
                            static_cast<uint32_t>(service.stop_seconds) * 1000 + 1000);
    service.changed.notify_all();
}

// Reports START_PENDING every second while the launch runs on another thread.
class StartProgress {
public:
    StartProgress()
    {
        try {
            ticker_ = std::thread([this] { run(); });
        } catch (const std::system_error &) {
            // One report then, with a longer hint.
            std::lock_guard<std::mutex> guard(service.lock);
            platform_service_report(PLATFORM_SERVICE_START_PENDING, 0, 60000);
        }
    }

    ~StartProgress()
    {
        {
            std::lock_guard<std::mutex> guard(service.lock);
            done_ = true;
        }
        service.changed.notify_all();
        if (ticker_.joinable())
            ticker_.join();
    }

    StartProgress(const StartProgress &) = delete;
    StartProgress &operator=(const StartProgress &) = delete;

private:
    void run()
    {
        std::unique_lock<std::mutex> guard(service.lock);
        while (!done_ && !service.stopped) {
            platform_service_report(PLATFORM_SERVICE_START_PENDING, 0, progress_hint_ms);
            service.changed.wait_for(guard, std::chrono::seconds(1));
        }
    }

    std::thread ticker_;
    bool done_ = false;
};

// Once a stop was asked: the JVM is asked to exit on a thread of the host's
// (the call does not return), and STOP_PENDING goes out every second until
// the JVM's exit hook reports STOPPED, or the bound ends the process.
void stop_service(std::unique_lock<std::mutex> &guard)
{
    const int seconds = service.stop_seconds;
    guard.unlock();
    try {
        std::thread(vesk_stop).detach();
    } catch (const std::system_error &) {
        verbose_in(&logger, VERBOSE_ERROR, "Falha ao tentar pedir a parada ao lado Java.\n");
    }
    guard.lock();
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        Clock::time_point now = Clock::now();
        if (service.stopped || now >= deadline)
            break;
        service.changed.wait_for(
            guard, std::min<Clock::duration>(std::chrono::seconds(1), deadline - now));
        if (service.stopped)
            break;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        platform_service_report(PLATFORM_SERVICE_STOP_PENDING, 0,
                                static_cast<uint32_t>(std::max<int64_t>(left.count(), 0)) + 1000);
    }
    if (service.stopped)
        return;
    verbose_in(&logger, VERBOSE_INFO,
               "Parada nao concluida em %d s; processo encerrado pelo host.\n", seconds);
    service.ending = true;
    service.stopped = true;
    platform_service_report(PLATFORM_SERVICE_STOPPED, PLATFORM_SERVICE_EXIT_TIMEOUT, 0);
    platform_exit_now(VESK_STOP_STATUS);
}

void fail_service(int status)
{
    std::lock_guard<std::mutex> guard(service.lock);
    // The JVM's exit hook may have reported first (the Java side ended the
    // process while its start failed): one STOPPED only.
    if (service.stopped)
        return;
    service.status = status;
    service.stopped = true;
    platform_service_report(PLATFORM_SERVICE_STOPPED, status, 0);
}

// The service's body, on the manager's thread: the launch, then the wait
// for a stop.
void run_service(int argc, char **argv, void *)
{
    // The manager starts services in the system folder; conf\ and log\ are
    // beside the executable.
    char folder[PLATFORM_PATH_MAX];
    if (platform_executable_dir(folder, sizeof folder) != 0 || platform_set_cwd(folder) != 0) {
        std::fprintf(stderr, "Falha ao tentar entrar na pasta do programa.\n");
        fail_service(VESK_NO_SERVER);
        return;
    }
    if (!in_pairs(service.argc - 1) || !in_pairs(argc - 1)) {
        // No log component yet: the line goes untagged.
        verbose(stderr, "Parametros devem vir em pares.\n");
        fail_service(VESK_NO_SERVER);
        return;
    }
    int status = VESK_NO_SERVER;
    std::vector<char *> words;
    try {
        words = service_words(argc, argv);
        StartProgress progress;
        status =
            vesk_start_with_exit_hook(static_cast<int>(words.size()), words.data(), jvm_exiting);
    } catch (const std::bad_alloc &) {
        verbose(stderr, "Falha ao tentar iniciar VESKServer.\n");
    }
    if (status != VESK_OK) {
        if (status == VESK_NO_SERVER) {
            std::lock_guard<std::mutex> guard(service.lock);
            service.jvm_left = true;
        }
        fail_service(status);
        return;
    }
    int seconds = stop_seconds(words);
    std::unique_lock<std::mutex> guard(service.lock);
    service.stop_seconds = seconds;
    if (service.stopped) // the Java side ended the process during its start
        return;
    service.launched = true;
    platform_service_report(PLATFORM_SERVICE_RUNNING, 0, 0);
    // Awake once a second to bound a crash report, as the host's main thread does.
    while (!service.changed.wait_for(guard, std::chrono::seconds(1),
                                     [] { return service.stop_requested || service.ending; }))
        crash_watch();
    if (service.stop_requested)
        stop_service(guard);
}

// After a failed entry call the JVM still runs, and a thread of the Java
// side may be ending the process already: returning from main would run the
// host's exit handlers beside the JVM's exit. The JVM ends the process
// instead, as a stop asks it to (its shutdown hooks run, and the request
// waits for an exit under way), within the bound of a stop.
[[noreturn]] void end_through_jvm(int status)
{
    const int seconds = service.stop_seconds;
    try {
        std::thread([status, seconds] {
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            platform_exit_now(status);
        }).detach();
    } catch (const std::system_error &) {
        // Unbounded then: the JVM's exit ends the process, or the request fails.
    }
    vesk_stop();
    platform_exit_now(status);
    for (;;)
        platform_sleep_ms(1000);
}

int print_result(const char *done, const char *action, int result, int error)
{
    switch (result) {
    case PLATFORM_SERVICE_OK: std::printf("%s\n", done); return VESK_SERVICE_DONE;
    case PLATFORM_SERVICE_REMOVED_ON_STOP:
        std::fprintf(stderr, "Servico '%s' marcado para remocao; sera removido quando parar.\n",
                     VESK_SERVICE_NAME);
        return VESK_SERVICE_PENDING;
    case PLATFORM_SERVICE_BEING_REMOVED:
        std::fprintf(stderr, "Servico '%s' esta sendo removido; tente de novo quando ele parar.\n",
                     VESK_SERVICE_NAME);
        return VESK_SERVICE_PENDING;
    case PLATFORM_SERVICE_NAME_TAKEN:
        std::fprintf(stderr, "O nome de exibicao '%s' ja e usado por outro servico.\n",
                     VESK_SERVICE_DISPLAY_NAME);
        return VESK_SERVICE_NAME_TAKEN;
    case PLATFORM_SERVICE_DENIED:
        std::fprintf(
            stderr,
            "Falha ao tentar %s o servico '%s': acesso negado; execute como administrador.\n",
            action, VESK_SERVICE_NAME);
        return VESK_SERVICE_DENIED;
    case PLATFORM_SERVICE_EXISTS:
        std::fprintf(stderr, "Servico '%s' ja esta instalado.\n", VESK_SERVICE_NAME);
        return VESK_SERVICE_EXISTS;
    case PLATFORM_SERVICE_MISSING:
        std::fprintf(stderr, "Servico '%s' nao esta instalado.\n", VESK_SERVICE_NAME);
        return VESK_SERVICE_MISSING;
    default:
        std::fprintf(stderr, "Falha ao tentar %s o servico '%s': erro %d.\n", action,
                     VESK_SERVICE_NAME, error);
        return VESK_SERVICE_FAILED;
    }
}

// The service runs as LocalSystem what the folder of the executable holds
// (it works there: the program, conf\ and log\), so an install is refused
// where anyone but the system and the administrators may change that folder
// or one above it. VESK_SERVICE_DONE, or the status of a refusal told.
int judge_install_folder()
{
    char folder[PLATFORM_PATH_MAX];
    if (platform_executable_dir(folder, sizeof folder) != 0) {
        std::fprintf(stderr, "Falha ao tentar entrar na pasta do programa.\n");
        return VESK_SERVICE_FAILED;
    }
    trust_why why;
    if (trust_judge(folder, &why) == 0)
        return VESK_SERVICE_DONE;
    char text[1400];
    std::fprintf(stderr, "Instalacao recusada: %s.\n", trust_why_text(&why, text, sizeof text));
    return VESK_SERVICE_FAILED;
}

} // namespace

int vesk_service_supported(void) noexcept
{
    return 1;
}

int vesk_service_run(int argc, char **argv) noexcept
{
    if (argc < 1 || argv == nullptr)
        return VESK_SERVICE_NONE;
    service.argc = argc;
    service.argv = argv;
    switch (platform_service_dispatch(VESK_SERVICE_NAME, run_service, request_stop, nullptr)) {
    case PLATFORM_SERVICE_OK: break;
    case PLATFORM_SERVICE_NOT_A_SERVICE: return VESK_SERVICE_NONE;
    default:
        // Started by the manager, yet not connected to it: not a program
        // started from a command line either.
        std::fprintf(stderr, "Falha ao tentar executar o servico '%s'.\n", VESK_SERVICE_NAME);
        return VESK_NO_SERVER;
    }
    std::unique_lock<std::mutex> guard(service.lock);
    // STOPPED went out, and the JVM (or the bound) is ending the process:
    // returning from main now would run the exit handlers beside it.
    while (service.ending)
        service.changed.wait(guard);
    const int status = service.status;
    const bool jvm_left = service.jvm_left;
    guard.unlock();
    if (jvm_left)
        end_through_jvm(status);
    return status;
}

int vesk_service_command(int argc, char **argv) noexcept
{
    if (argc < 2 || argv == nullptr || argv[1] == nullptr)
        return VESK_SERVICE_NONE;
    bool install = std::strcmp(argv[1], "install") == 0;
    if (!install && std::strcmp(argv[1], "uninstall") != 0)
        return VESK_SERVICE_NONE;
    platform_console_attach();
    int error = 0;
    if (install) {
        if ((argc - 2) % 2 != 0) {
            std::fprintf(stderr, "Parametros devem vir em pares.\n\n");
            return VESK_NO_SERVER;
        }
        if (int refused = judge_install_folder(); refused != VESK_SERVICE_DONE)
            return refused;
        int result = platform_service_install(VESK_SERVICE_NAME, VESK_SERVICE_DISPLAY_NAME,
                                              argv + 2, argc - 2, VESK_SERVICE_RESTART_MS, &error);
        return print_result("Servico 'vesk' (VESK - Service) instalado, com inicio automatico; "
                            "inicie-o com: net start vesk",
                            "instalar", result, error);
    }
    if (argc > 2) {
        std::fprintf(stderr, "O comando uninstall nao recebe parametros.\n\n");
        return VESK_NO_SERVER;
    }
    int result = platform_service_uninstall(VESK_SERVICE_NAME, &error);
    return print_result("Servico 'vesk' removido.", "remover", result, error);
}
