// libcurl as the HTTP client reaches it: the few functions it calls,
// resolved from the library loaded at the first transfer, so that a program
// that makes none (the vesk host, until a native module asks) never maps it.
#ifndef HTTP_DETAIL_CURL_API_HPP
#define HTTP_DETAIL_CURL_API_HPP

#include <curl/curl.h>

namespace ub::detail {

// The functions resolved from the loaded library; curl/curl.h gives only
// their types and the constants.
struct CurlApi {
    decltype(&curl_global_init) global_init;
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_perform) easy_perform;
    decltype(&curl_easy_strerror) easy_strerror;
    decltype(&curl_slist_append) slist_append;
    decltype(&curl_slist_free_all) slist_free_all;
    // The legacy form interface, deprecated but what the upload offers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    decltype(&curl_formadd) formadd;
    decltype(&curl_formfree) formfree;
#pragma GCC diagnostic pop
};

// libcurl's functions, the library loaded and initialised for the process
// (curl_global_init) by the first call, once, whatever threads call at the
// same time; the table lives as long as the process. NULL when the library
// cannot be loaded or lacks a function, after a log line saying why (at
// every call, the load being tried once).
const CurlApi *curl_api() noexcept;

} // namespace ub::detail

#endif
