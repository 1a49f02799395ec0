// The JVM's entry looked up in the JVM's library when the JVM starts. The
// per-system rule (jvm_places) names the places in order (JAVA_HOME first, then where the
// system keeps its Java, then the JDK the host was built with); the first
// library that is trusted, loads and exports the entry is used.
//
// What goes to the day's log: a place that failed for a reason worth an
// operator's attention (a named place without the library, a library that
// is there but does not load), and then the library used, so that the log
// says which Java runs instead. A usual place with nothing in it is normal
// and stays quiet, unless no place works: then every place tried is logged.
#include "jvm/detail/jvm_create.hpp"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "jvm/detail/jvm_places.hpp"
#include "log/trust.h"
#include "log/messages.hpp"
#include "platform/platform.h"
#include "util/library_reason.h"

namespace {

using CreateJavaVM = decltype(&JNI_CreateJavaVM);

// One place that failed, and whether it is news without a total failure.
struct Failure {
    std::string path;
    std::string reason;
    bool notable;
};

void log_failures(const std::vector<Failure> &failures, bool all)
{
    for (const Failure &failure : failures) {
        if (all || failure.notable)
            verbose_message(VESK_MSG_JVM_LIBRARY_NOT_LOADED, failure.path.c_str(),
                            failure.reason.c_str());
    }
}

// Loads the C runtimes that a Java runtime keeps in its bin folder, the
// folder above that of the library held as node (...\bin\ for
// ...\bin\server\jvm.dll), so that a runtime outside the library search
// starts on a system without that C runtime installed.
void load_runtimes(int node)
{
    if (ub::detail::jvm_runtime_libraries[0] == nullptr)
        return;
    char path[PLATFORM_PATH_MAX];
    if (platform_node_path(node, path, sizeof path) != 0)
        return;
    for (int level = 0; level < 2; ++level) {
        char *separator = std::strrchr(path, PLATFORM_PATH_SEP);
        // There is no such folder for "C:\jvm.dll".
        if (separator == nullptr || std::strchr(path, PLATFORM_PATH_SEP) == separator)
            return;
        *separator = '\0';
    }
    platform_library_preload(path, ub::detail::jvm_runtime_libraries);
}

// Loads the library at path only when it is trusted (log/trust.h), from the
// very file judged, so that nothing another user could have written is
// ever mapped, not even for its constructors to run; its runtimes first.
// An untrusted library counts as there and failing, with why.
void *open_judged(const char *path, int *missing, char *reason, size_t size)
{
    trust_why why;
    int file = trust_open(path, TRUST_FILE | TRUST_ABSOLUTE, &why);
    if (file < 0) {
        *missing = why.reason == TRUST_MISSING ? 1 : 0;
        char text[1400];
        if (why.reason == TRUST_MISSING) {
            const platform_library_why absent{PLATFORM_LIBRARY_MISSING, 0, ""};
            ub_library_reason(&absent, reason, size);
        } else {
            std::snprintf(reason, size, "nao confiavel: %s",
                          trust_why_text(&why, text, sizeof text));
        }
        return nullptr;
    }
    *missing = 0; // the node holds the file
    load_runtimes(file);
    platform_library_why failed{};
    void *library = platform_library_open_node(file, &failed);
    if (library == nullptr)
        ub_library_reason(&failed, reason, size);
    platform_close(file);
    return library;
}

void *find_entry()
{
    // From here on libraries are looked for in the system's safe places only.
    platform_library_search_restrict();
    std::vector<Failure> failures;
    bool notable = false;
    try {
        for (const ub::detail::JvmPlace &place :
             ub::detail::jvm_library_places(VESK_BUILD_JAVA_HOME)) {
            const char *path = place.path.c_str();
            char reason[1400];
            int missing = 0;
            void *library = open_judged(path, &missing, reason, sizeof reason);
            void *entry = nullptr;
            if (library != nullptr) {
                entry = platform_library_symbol(library, "JNI_CreateJavaVM");
                if (entry == nullptr) {
                    // Not a JVM: its symbols must not stay where the real
                    // one's libraries would bind to them.
                    platform_library_close(library);
                    std::snprintf(reason, sizeof reason, "%s", "JNI_CreateJavaVM nao localizado");
                }
            }
            if (entry != nullptr) {
                if (notable) {
                    log_failures(failures, false);
                    verbose_message(VESK_MSG_JVM_LIBRARY_LOADED, path);
                }
                return entry;
            }
            bool news = place.named || missing == 0;
            notable = notable || news;
            failures.push_back({path, reason, news});
        }
    } catch (const std::bad_alloc &) {
        // Out of memory before the JVM even starts: the launch fails as
        // when no JVM is found, with what was gathered so far.
    }
    log_failures(failures, true);
    return nullptr;
}

} // namespace

namespace ub::detail {

jint create_java_vm(JavaVM **jvm, void **env, void *args) noexcept
{
    void *entry = find_entry();
    if (entry == nullptr)
        return JNI_ERR;
    return reinterpret_cast<CreateJavaVM>(entry)(jvm, env, args);
}

} // namespace ub::detail
