// libcurl loaded at the first transfer, as the JVM's library is loaded when
// the JVM starts: the executable carries no link to it, and starts whether
// or not the machine has it. The library's name (VESK_CURL_LIBRARY) is the
// one the build chose for the system: its soname on Linux, the DLL that
// ships beside vesk.exe on Windows.
#include "http/detail/curl_api.hpp"

#include <cstdio>

#include "log/messages.hpp"
#include "platform/platform.h"
#include "util/library_reason.h"

namespace {

using ub::detail::CurlApi;

// What the one load gave: the functions, or why there are none.
struct Loaded {
    CurlApi api{};
    bool usable = false;
    char reason[512] = "";
};

// The address of name in library into target, a function-pointer member.
template <typename Function>
bool resolve(void *library, const char *name, Function &target)
{
    void *address = platform_library_symbol(library, name);
    if (address == nullptr)
        return false;
    target = reinterpret_cast<Function>(address);
    return true;
}

Loaded load()
{
    Loaded loaded;
    platform_library_why why{};
    void *library = platform_library_open_why(VESK_CURL_LIBRARY, &why);
    if (library == nullptr) {
        ub_library_reason(&why, loaded.reason, sizeof loaded.reason);
        return loaded;
    }
    CurlApi &api = loaded.api;
    const char *absent = nullptr;
    auto want = [&](const char *name, auto &target) {
        if (absent == nullptr && !resolve(library, name, target))
            absent = name;
    };
    want("curl_global_init", api.global_init);
    want("curl_easy_init", api.easy_init);
    want("curl_easy_cleanup", api.easy_cleanup);
    want("curl_easy_setopt", api.easy_setopt);
    want("curl_easy_perform", api.easy_perform);
    want("curl_easy_strerror", api.easy_strerror);
    want("curl_slist_append", api.slist_append);
    want("curl_slist_free_all", api.slist_free_all);
    want("curl_formadd", api.formadd);
    want("curl_formfree", api.formfree);
    if (absent != nullptr) {
        // Not the libcurl this client was built for: nothing of it stays.
        platform_library_close(library);
        std::snprintf(loaded.reason, sizeof loaded.reason, "%s nao localizado", absent);
        return loaded;
    }
    // curl_global_init is not safe against a concurrent first call in every
    // libcurl; here it runs once, under the guard of the caller's static.
    // A failure is logged and the transfers go on: curl_easy_init tries
    // again by itself.
    CURLcode status = api.global_init(CURL_GLOBAL_DEFAULT);
    if (status != CURLE_OK)
        verbose_message(VESK_MSG_HTTP_CURL_INIT_FAILED, api.easy_strerror(status));
    loaded.usable = true;
    return loaded;
}

} // namespace

namespace ub::detail {

const CurlApi *curl_api() noexcept
{
    // A function-local static is initialised once, the other threads of a
    // first call waiting for it.
    static const Loaded loaded = load();
    if (loaded.usable)
        return &loaded.api;
    verbose_message(VESK_MSG_HTTP_CURL_NOT_LOADED, VESK_CURL_LIBRARY, loaded.reason);
    return nullptr;
}

} // namespace ub::detail
