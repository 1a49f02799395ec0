#include "host/veskserver.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/crash.h"
#include "host/detail/class_path.hpp"
#include "host/detail/notice.hpp"
#include "host/readiness.h"
#include "host/service_config.h"
#include "log/verbose.h"
#include "util/vesk_utils.h"

namespace {

// The process's JVM: set once by vesk_init and never released.
JavaVM *jvm = nullptr;

// Slots of the parameter list: the words, every option row and every pair
// of conf/server.ini, and room for the terminating NULL; 0 when they are
// more than an int counts.
int list_slots(int argc, int pair_count)
{
    long long slots = static_cast<long long>(argc) + 2 * configs_len + 2 + 2LL * pair_count;
    return slots <= INT_MAX ? static_cast<int>(slots) : 0;
}

// Appends each option row's name and current value; the count of slots used.
int copy_options(char **list)
{
    int used = 0;
    for (const ub_option *row = configs; row->name != nullptr; ++row) {
        list[used++] = const_cast<char *>(row->name);
        list[used++] = const_cast<char *>(row->value);
    }
    return used;
}

// Merges count words taken as name, value pairs (an odd last word is left
// out): an equal key gets the new value in place, any other name is
// appended. The count of slots used afterwards.
int merge_pairs(char **list, int used, char *const *words, int count)
{
    for (int k = 0; k + 1 < count; k += 2) {
        int j = 0;
        while (j < used && std::strcmp(list[j], words[k]) != 0)
            j += 2;
        if (j < used) {
            list[j + 1] = words[k + 1];
        } else {
            list[used++] = words[k];
            list[used++] = words[k + 1];
        }
    }
    return used;
}

void log_params(char *const *list, int used)
{
    verbose_in(&logger, VERBOSE_INFO, "Init Params:\n");
    for (int j = 0; j + 1 < used; j += 2)
        verbose_in(&logger, VERBOSE_INFO, "\t'%s' = '%s'\n", list[j], list[j + 1]);
}

// The options of conf/jvm.options, owned.
using FileOptions = std::unique_ptr<char *[], decltype(&config_list_free)>;

JavaVM *init_jvm(char *const *list, ub_JVM_exit_hook exit_hook, char *const *file_options);

// A FATAL line of the launch, in the log and on standard error, where a
// service manager keeps it whatever VERBOSITY says.
void tell_fatal(const char *line)
{
    ub::detail::tell_line(VERBOSE_FATAL, line);
}

// A class name as Java writes it: dots between the package names.
std::string dotted(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '.');
    return name;
}

// What a failed entry call's text says of a class: "" when it names no
// missing class; else the message of the first NoClassDefFoundError or
// ClassNotFoundException in it, up to its cause.
std::string class_message(const std::string &failure)
{
    size_t at = std::string::npos;
    size_t length = 0;
    for (const char *marker :
         {"java.lang.NoClassDefFoundError: ", "java.lang.ClassNotFoundException: "}) {
        size_t found = failure.find(marker);
        if (found < at) {
            at = found;
            length = std::strlen(marker);
        }
    }
    if (at == std::string::npos)
        return std::string();
    size_t start = at + length;
    size_t end = failure.find("; causa: ", start);
    return failure.substr(start, end == std::string::npos ? end : end - start);
}

// When the entry call failed for a class that could not be had, a FATAL
// line naming it: the entry class itself, a class it needs that the class
// path lacks, or a class whose static initialiser failed before (which is
// no missing class; its first failure says why). Any other message, such as
// a class found under another name, is left to the cause line.
void tell_missing_class(const char *failure, const char *entry_class)
{
    constexpr char not_initialised[] = "Could not initialize class ";
    try {
        std::string message = class_message(failure);
        std::string line;
        if (message.rfind(not_initialised, 0) == 0) {
            line = "Classe '" + dotted(message.substr(std::strlen(not_initialised))) +
                   "' nao pode ser usada: seu inicializador estatico falhou antes.";
        } else if (!message.empty() && message.find(' ') == std::string::npos) {
            std::string missing = dotted(message);
            std::string entry = dotted(entry_class);
            line = missing == entry
                       ? "Classe de entrada '" + entry + "' nao encontrada no CLASSPATH."
                       : "Classe '" + missing + "' nao encontrada, necessaria a '" + entry +
                             "': verifique o CLASSPATH.";
        }
        if (!line.empty())
            tell_fatal(line.c_str());
    } catch (const std::bad_alloc &) {
        // The cause line, already told, names the class too.
    }
}

// Starts the Java server: the entry class's start(long[], String[]) gets the
// callback's address and 0, and all slots of the list, empty ones as nulls.
int launch_server(char **list, int slots, ub_JVM_exit_hook exit_hook, char *const *file_options)
{
    if (init_jvm(list, exit_hook, file_options) == nullptr) {
        tell_fatal("Falha ao tentar iniciar JVM.");
        return VESK_NO_JVM;
    }
    const char *entry_class = vesk_getParam(list, "ENTRY_CLASS");
    readiness_prepare(jvm, entry_class);
    ub_JVM_handler callback = vesk_cb;
    // The whole address, so that a 64-bit host hands over a usable pointer.
    int64_t longs[2] = {static_cast<int64_t>(reinterpret_cast<intptr_t>(callback)), 0};
    // The returned object lives as long as the process; it is never read.
    jobject server = nullptr;
    char *failure = nullptr;
    int called = ub_JVM_callStaticObjectMethodEx(jvm, 2, longs, entry_class, "start", slots, list,
                                                 &server, &failure);
    std::unique_ptr<char, decltype(&std::free)> cause(failure, &std::free);
    if (called != UB_JVM_OK) {
        tell_fatal("Falha ao tentar iniciar VESKServer.");
        // The exception's description on standard error is not kept by a
        // service: its cause goes to the log as well.
        if (cause != nullptr && cause.get()[0] != '\0') {
            tell_fatal(cause.get());
            tell_missing_class(cause.get(), entry_class);
        }
        return VESK_NO_SERVER;
    }
    return VESK_OK;
}

// A list element for printing; a NULL inside the counted elements prints as
// an empty text rather than reaching printf.
const char *element(char *const *texts, int index)
{
    return texts[index] != nullptr ? texts[index] : "";
}

// The options of conf/jvm.options into *options (NULL when none); false
// when the file is not trusted, which the reader has told.
bool read_jvm_options(FileOptions *options)
{
    char **read = nullptr;
    int count = config_jvm_options(&read);
    options->reset(read);
    return count != CONFIG_REFUSED;
}

// The options the host gives the JVM after its five: -Xdebug, so that the
// JIT runs although the five ask for java.compiler=NONE (an operator's
// -Xint turns it off); the entry class, dotted, as the command that jps and
// jcmd show; then file_options (conf/jvm.options, NULL-ended or NULL),
// which may change any of them, as the later option wins. Throws
// std::bad_alloc.
std::vector<std::string> jvm_options(const char *entry_class, char *const *file_options)
{
    std::vector<std::string> options = {"-Xdebug"};
    if (entry_class[0] != '\0')
        options.push_back("-Dsun.java.command=" + dotted(entry_class));
    for (char *const *option = file_options; option != nullptr && *option != nullptr; ++option)
        options.emplace_back(*option);
    return options;
}

// vesk_init, with the JVM's exit hook and the options of conf/jvm.options.
JavaVM *init_jvm(char *const *list, ub_JVM_exit_hook exit_hook, char *const *file_options)
{
    if (jvm != nullptr)
        return jvm;
    const char *class_path = vesk_getParam(list, "CLASSPATH");
    const char *library_path = vesk_getParam(list, "LIBRARY_PATH");
    const char *stack = vesk_getParam(list, "STACK");
    verbose_in(&logger, VERBOSE_INFO, "CLASSPATH=%s\n", class_path);
    verbose_in(&logger, VERBOSE_INFO, "LIBRARY_PATH=%s\n", library_path);
    verbose_in(&logger, VERBOSE_INFO, "STACK=%s\n", stack);
    try {
        std::string expanded = ub::detail::expand_class_path(class_path);
        ub::detail::warn_class_path(expanded);
        std::string libraries = ub::detail::trusted_library_path(library_path);
        std::vector<std::string> options =
            jvm_options(vesk_getParam(list, "ENTRY_CLASS"), file_options);
        std::vector<const char *> texts;
        for (const std::string &option : options)
            texts.push_back(option.c_str());
        crash_prepare(texts.data(), static_cast<int>(texts.size()));
        jvm = ub_loadJVM_with_options(expanded.c_str(), libraries.c_str(), stack, exit_hook,
                                      static_cast<int>(texts.size()), texts.data());
        if (jvm != nullptr)
            crash_jvm_created();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    return jvm;
}

} // namespace

int vesk_start(int argc, char **argv) noexcept
{
    return vesk_start_with_exit_hook(argc, argv, nullptr);
}

int vesk_start_with_exit_hook(int argc, char **argv, ub_JVM_exit_hook exit_hook) noexcept
{
    // Nothing is taken from a configuration that someone else may have
    // written: the readers have told why, and the server does not start.
    if (config_init("VESK") == CONFIG_REFUSED) {
        tell_fatal("Falha ao tentar iniciar VESKServer.");
        return VESK_NO_SERVER;
    }
    if (argc < 1 || argv == nullptr)
        argc = 1;
    // Kept for the process's life, as the option table's texts are; a later
    // launch's reading replaces them, once the list that held them is gone.
    static char **server_pairs = nullptr;
    config_list_free(server_pairs);
    int pair_count = config_server_pairs(&server_pairs);
    FileOptions file_options(nullptr, &config_list_free);
    if (pair_count == CONFIG_REFUSED || !read_jvm_options(&file_options)) {
        tell_fatal("Falha ao tentar iniciar VESKServer.");
        return VESK_NO_SERVER;
    }
    pair_count = std::max(pair_count, 0);
    int slots = list_slots(argc, pair_count);
    // The texts belong to the option table, server_pairs and argv; only the
    // array is ours.
    char **list =
        slots > 0 ? static_cast<char **>(std::calloc(static_cast<size_t>(slots), sizeof(char *)))
                  : nullptr;
    if (list == nullptr) {
        tell_fatal("Falha ao tentar iniciar VESKServer.");
        return VESK_NO_SERVER;
    }
    int used = merge_pairs(list, copy_options(list), server_pairs, 2 * pair_count);
    used = merge_pairs(list, used, argc > 1 ? argv + 1 : nullptr, argc - 1);
    log_params(list, used);
    // The entry call copies the texts into Java strings; the list ends here.
    int status = launch_server(list, slots, exit_hook, file_options.get());
    std::free(list);
    return status;
}

JavaVM *vesk_init(char *const *list) noexcept
{
    if (jvm != nullptr)
        return jvm;
    FileOptions file_options(nullptr, &config_list_free);
    return read_jvm_options(&file_options) ? init_jvm(list, nullptr, file_options.get()) : nullptr;
}

int vesk_stop(void) noexcept
{
    JNIEnv *env = nullptr;
    jclass system = nullptr;
    int result = VESK_STOP_FAILED;
    if (jvm != nullptr &&
        ub_JVM_attach_and_find_class(jvm, "java/lang/System", &env, &system) == UB_JVM_ATTACHED) {
        jmethodID exit = env->GetStaticMethodID(system, "exit", "(I)V");
        if (exit != nullptr) {
            env->CallStaticVoidMethod(system, exit, static_cast<jint>(VESK_STOP_STATUS));
            result = VESK_STOP_REFUSED;
        }
        if (env->ExceptionCheck())
            env->ExceptionClear();
    }
    if (jvm != nullptr)
        ub_JVM_dettach(jvm);
    verbose_in(&logger, VERBOSE_ERROR,
               result == VESK_STOP_REFUSED ? "O lado Java recusou a parada.\n"
                                           : "Falha ao tentar pedir a parada ao lado Java.\n");
    return result;
}

int getVerbosity(const char *name) noexcept
{
    static const char *const names[] = {"NONE", "FATAL", "ERROR", "WARN", "INFO", "DEBUG"};
    if (name == nullptr)
        return VERBOSE_NONE;
    for (int level = VERBOSE_NONE; level <= VERBOSE_DEBUG; ++level) {
        if (std::strcmp(name, names[level]) == 0)
            return level;
    }
    return VERBOSE_NONE;
}

int32_t vesk_cb(int32_t long_count, int32_t *longs, uint32_t text_count, char **texts,
                int32_t *blob_lengths, char **blobs) noexcept
{
    (void)long_count;
    (void)longs;
    (void)blob_lengths;
    (void)blobs;
    if (text_count <= 1 || texts == nullptr)
        return verbose_in(&logger, VERBOSE_ERROR, "Mensagem inconsistente...\n");
    const char *cls = vesk_getParam(texts, "class");
    const char *level_name = vesk_getParam(texts, "verbosity");
    int level = getVerbosity(level_name);
    // logger is set before the Java side starts and never changes after.
    if (level == VERBOSE_NONE || level > logger.verbosity)
        return 0;
    if (cls[0] != '\0') {
        return verbose_block(stdout, "%s|%s|%s|%s\n", cls, level_name, vesk_getParam(texts, "code"),
                             vesk_getParam(texts, "message"));
    }
    // No class: the values of the first pairs by position, whatever their keys.
    switch (text_count > 12 ? 12 : text_count & ~1u) {
    case 2: return verbose_block(stdout, "%s\n", element(texts, 1));
    case 4: return verbose_block(stdout, "%s|%s\n", element(texts, 1), element(texts, 3));
    case 6:
        return verbose_block(stdout, "%s|%s|%s\n", element(texts, 1), element(texts, 3),
                             element(texts, 5));
    case 8:
        return verbose_block(stdout, "%s|%s|%s|%s\n", element(texts, 1), element(texts, 3),
                             element(texts, 5), element(texts, 7));
    case 10:
        return verbose_block(stdout, "%s|%s|%s|%s|%s\n", element(texts, 1), element(texts, 3),
                             element(texts, 5), element(texts, 7), element(texts, 9));
    default:
        return verbose_block(stdout, "%s|%s|%s|%s|%s|%s\n", element(texts, 1), element(texts, 3),
                             element(texts, 5), element(texts, 7), element(texts, 9),
                             element(texts, 11));
    }
}
