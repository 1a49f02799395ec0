#include "host/veskserver.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/readiness.h"
#include "host/service_config.h"
#include "log/verbose.h"
#include "platform/platform.h"
#include "util/vesk_utils.h"

namespace {

// The process's JVM: set once by vesk_init and never released.
JavaVM *jvm = nullptr;

// Slots of the parameter list: the words, every option row as a pair, and
// room for the terminating NULL.
int list_slots(int argc)
{
    return argc + 2 * configs_len + 2;
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

// Merges the pairs argv[1..]: an equal key gets the new value in place, any
// other name is appended. The count of slots used afterwards.
int merge_words(char **list, int used, int argc, char **argv)
{
    for (int k = 1; k + 1 < argc; k += 2) {
        int j = 0;
        while (j < used && std::strcmp(list[j], argv[k]) != 0)
            j += 2;
        if (j < used) {
            list[j + 1] = argv[k + 1];
        } else {
            list[used++] = argv[k];
            list[used++] = argv[k + 1];
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

JavaVM *init_jvm(char *const *list, ub_JVM_exit_hook exit_hook);

// libcurl's global state, set up once per process before the JVM starts any
// thread, so that native modules of the Java side may use the HTTP client
// without doing it themselves. Kept for the life of the process. A failure
// is logged and the launch goes on: only HTTP transfers need it, and each
// one then tries again through curl_easy_init.
void init_curl()
{
    static const CURLcode status = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (status != CURLE_OK)
        verbose_in(&logger, VERBOSE_ERROR, "Falha ao tentar iniciar libCurl: %s\n",
                   curl_easy_strerror(status));
}

// Starts the Java server: the entry class's start(long[], String[]) gets the
// callback's address and 0, and all slots of the list, empty ones as nulls.
int launch_server(char **list, int slots, ub_JVM_exit_hook exit_hook)
{
    init_curl();
    if (init_jvm(list, exit_hook) == nullptr) {
        verbose_in(&logger, VERBOSE_FATAL, "Falha ao tentar iniciar JVM.\n");
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
        verbose_in(&logger, VERBOSE_FATAL, "Falha ao tentar iniciar VESKServer.\n");
        // Standard error, where the exception is described too, is not kept
        // by a service: its cause goes to the log as well.
        if (cause != nullptr && cause.get()[0] != '\0')
            verbose_in(&logger, VERBOSE_FATAL, "%s\n", cause.get());
        return VESK_NO_SERVER;
    }
    return VESK_OK;
}

// Whether a class path element stands for every jar of a folder: "*" alone,
// or a folder, a separator and "*", unless a file of that very name exists.
bool is_wildcard(const std::string &element)
{
    size_t length = element.size();
    if (length == 0 || element[length - 1] != '*')
        return false;
    if (length > 1 && element[length - 2] != PLATFORM_PATH_SEP && element[length - 2] != '/')
        return false;
    platform_file_status status;
    return platform_file_stat(element.c_str(), &status) != 0;
}

bool is_jar_name(const char *name)
{
    size_t length = std::strlen(name);
    return length >= 4 &&
           (std::strcmp(name + length - 4, ".jar") == 0 || std::strcmp(name + length - 4, ".JAR") == 0);
}

// The .jar and .JAR files of the folder that a wildcard element names, each
// as the element's folder part followed by its name, in name order (the
// JVM then searches them in a stable order); none when it cannot be read.
std::vector<std::string> folder_jars(const std::string &element)
{
    std::string folder = element.substr(0, element.size() - 1);
    std::vector<std::string> jars;
    platform_dir *dir = platform_dir_open(folder.empty() ? "." : folder.c_str());
    for (const char *name = platform_dir_read(dir); name != nullptr; name = platform_dir_read(dir)) {
        if (is_jar_name(name))
            jars.push_back(folder + name);
    }
    platform_dir_close(dir);
    std::sort(jars.begin(), jars.end());
    return jars;
}

// The class path as the java launcher reads it: each wildcard element is
// replaced by its folder's jars; one whose folder holds none stays as it is.
std::string expand_class_path(const char *class_path)
{
    std::string expanded;
    for (const char *start = class_path;;) {
        const char *end = std::strchr(start, PLATFORM_PATH_LIST_SEP);
        std::string element(start, end != nullptr ? static_cast<size_t>(end - start)
                                                  : std::strlen(start));
        std::vector<std::string> jars;
        if (is_wildcard(element))
            jars = folder_jars(element);
        if (jars.empty())
            jars.push_back(element);
        for (const std::string &jar : jars) {
            if (start != class_path || &jar != &jars.front())
                expanded += PLATFORM_PATH_LIST_SEP;
            expanded += jar;
        }
        if (end == nullptr)
            return expanded;
        start = end + 1;
    }
}

constexpr char tool_options[] = "JAVA_TOOL_OPTIONS";
constexpr char command_property[] = "-Dsun.java.command=";

// Whether name can stand in JAVA_TOOL_OPTIONS as one word: the JVM splits
// the variable at blanks and reads quotes there.
bool fits_tool_options(const char *name)
{
    if (name[0] == '\0')
        return false;
    for (const char *at = name; *at != '\0'; ++at) {
        unsigned char c = static_cast<unsigned char>(*at);
        if (c <= ' ' || c == 0x7F || c == '"' || c == '\'')
            return false;
    }
    return true;
}

// Names the entry class to jps and jcmd while the JVM is created. The JVM
// takes that name from the sun.java.command property as it starts, and the
// host's own options are fixed, so the property rides on JAVA_TOOL_OPTIONS,
// which the JVM reads at creation. An operator's own sun.java.command is
// left alone.
//
// The constructor runs before the JVM exists, while the host's main thread
// is the process's only one (vesk_init asks the same of other callers).
// The destructor puts the variable back once the JVM is created and before
// the server's start is called, so that the server's child processes do
// not inherit the name; the JVM's own threads run by then (an agent's too,
// which saw the added option if it read the environment during creation).
// glibc changes the environment under a lock that readers do not take.
// Where the variable was set, the restore is setenv, which stores one
// pointer into the variable's slot and never frees the old text: a reader
// sees the old value or the new. Where it was not, the restore is unsetenv,
// which moves the slots after it down one place; setenv had put it last,
// so unless something added a variable during the creation, that move is
// one store of the terminator, and otherwise a reader walking the
// environment at that instant could miss one variable added after it. That
// is why the restore comes before any server code, while only the JVM's
// threads run.
class CommandName {
public:
    explicit CommandName(const char *entry_class) noexcept
    {
        if (!fits_tool_options(entry_class) || platform_env_get(tool_options, &saved_) != 0)
            return;
        if (saved_ != nullptr && std::strstr(saved_, command_property) != nullptr)
            return;
        try {
            std::string options = saved_ != nullptr && saved_[0] != '\0'
                                      ? std::string(saved_) + " " + command_property
                                      : std::string(command_property);
            // Java's own spelling: dots between the package names.
            size_t start = options.size();
            options += entry_class;
            std::replace(options.begin() + static_cast<std::ptrdiff_t>(start), options.end(), '/',
                         '.');
            changed_ = platform_env_set(tool_options, options.c_str()) == 0;
        } catch (const std::bad_alloc &) {
            // The JVM starts without the name, as it would without the host.
        }
    }

    ~CommandName()
    {
        if (changed_)
            platform_env_set(tool_options, saved_);
        std::free(saved_);
    }

    CommandName(const CommandName &) = delete;
    CommandName &operator=(const CommandName &) = delete;

private:
    char *saved_ = nullptr; // the variable as it was, NULL when it was not set
    bool changed_ = false;
};

// A list element for printing; a NULL inside the counted elements prints as
// an empty text rather than reaching printf.
const char *element(char *const *texts, int index)
{
    return texts[index] != nullptr ? texts[index] : "";
}

// vesk_init, with the JVM's exit hook.
JavaVM *init_jvm(char *const *list, ub_JVM_exit_hook exit_hook)
{
    if (jvm != nullptr)
        return jvm;
    const char *class_path = vesk_getParam(list, "CLASSPATH");
    const char *library_path = vesk_getParam(list, "LIBRARY_PATH");
    const char *stack = vesk_getParam(list, "STACK");
    verbose_in(&logger, VERBOSE_INFO, "CLASSPATH=%s\n", class_path);
    verbose_in(&logger, VERBOSE_INFO, "LIBRARY_PATH=%s\n", library_path);
    verbose_in(&logger, VERBOSE_INFO, "STACK=%s\n", stack);
    std::string expanded;
    try {
        expanded = expand_class_path(class_path);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    CommandName command(vesk_getParam(list, "ENTRY_CLASS"));
    jvm = ub_loadJVM_with_exit_hook(expanded.c_str(), library_path, stack, exit_hook);
    return jvm;
}

} // namespace

int vesk_start(int argc, char **argv) noexcept
{
    return vesk_start_with_exit_hook(argc, argv, nullptr);
}

int vesk_start_with_exit_hook(int argc, char **argv, ub_JVM_exit_hook exit_hook) noexcept
{
    config_init("VESK");
    if (argc < 1 || argv == nullptr)
        argc = 1;
    // The texts belong to the option table and argv; only the array is ours.
    char **list = static_cast<char **>(std::calloc(static_cast<size_t>(list_slots(argc)),
                                                   sizeof(char *)));
    if (list == nullptr) {
        verbose_in(&logger, VERBOSE_FATAL, "Falha ao tentar iniciar VESKServer.\n");
        return VESK_NO_SERVER;
    }
    int used = merge_words(list, copy_options(list), argc, argv);
    log_params(list, used);
    // The entry call copies the texts into Java strings; the list ends here.
    int status = launch_server(list, list_slots(argc), exit_hook);
    std::free(list);
    return status;
}

JavaVM *vesk_init(char *const *list) noexcept
{
    return init_jvm(list, nullptr);
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
    verbose_in(&logger, VERBOSE_ERROR, result == VESK_STOP_REFUSED
                                           ? "O lado Java recusou a parada.\n"
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
    case 2:
        return verbose_block(stdout, "%s\n", element(texts, 1));
    case 4:
        return verbose_block(stdout, "%s|%s\n", element(texts, 1), element(texts, 3));
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
