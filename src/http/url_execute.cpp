// HTTP requests over libcurl's easy interface: one handle per request,
// created and cleaned up inside the call; the response body is gathered in
// memory and handed to the caller. libcurl's functions come from the
// library loaded at the first request (http/detail/curl_api.hpp).
#include "http/url.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "http/detail/curl_api.hpp"
#include "log/messages.hpp"
#include "util/vesk_utils.h"

namespace {

using ub::detail::CurlApi;

// The easy handle; its deleter holds the functions of the loaded library,
// which every step of the request reaches through it.
struct EasyCleanup {
    const CurlApi *api = nullptr;
    void operator()(CURL *handle) const { api->easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct FreeDeleter {
    void operator()(char *text) const { std::free(text); }
};
using CharBuffer = std::unique_ptr<char, FreeDeleter>;

struct HeaderListFree {
    const CurlApi *api;
    void operator()(curl_slist *list) const { api->slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListFree>;

// Room for "user:pass", terminator included.
constexpr size_t userpwd_size = 256;

// Where the write callback gathers the response body.
struct response_sink {
    int32_t length;  // body bytes received so far
    char **out;      // the caller's text pointer, holding the body
    size_t capacity; // bytes allocated at *out
};

// The form body the read callback hands out, and where it stands.
struct request_body {
    const char *data; // encoded form body, owned by the request
    int32_t length;   // its length in bytes
    int32_t position; // bytes already handed to libcurl
};

// Sets options in order and keeps the first failure; later options are
// skipped once one has failed.
class Options {
public:
    explicit Options(const EasyHandle &handle) : handle_(handle) {}

    template <typename Value>
    Options &set(CURLoption option, Value value)
    {
        if (code_ == CURLE_OK)
            code_ = handle_.get_deleter().api->easy_setopt(handle_.get(), option, value);
        return *this;
    }

    CURLcode code() const { return code_; }

private:
    const EasyHandle &handle_;
    CURLcode code_ = CURLE_OK;
};

// libcurl's legacy form interface and progress option are deprecated but
// still what this client offers its callers; the warnings are silenced for
// these few calls only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// A multipart form: head and last threaded through the form-add calls,
// freed once at the end.
class Form {
public:
    explicit Form(const CurlApi *api) : api_(api) {}
    Form(const Form &) = delete;
    Form &operator=(const Form &) = delete;
    ~Form() { api_->formfree(head_); }

    bool add_file(const char *name, const char *path)
    {
        return api_->formadd(&head_, &last_, CURLFORM_COPYNAME, name, CURLFORM_FILE, path,
                             CURLFORM_END) == CURL_FORMADD_OK;
    }

    bool add_field(const char *name, const char *value)
    {
        return api_->formadd(&head_, &last_, CURLFORM_COPYNAME, name, CURLFORM_COPYCONTENTS, value,
                             CURLFORM_END) == CURL_FORMADD_OK;
    }

    void attach(Options &options) const { options.set(CURLOPT_HTTPPOST, head_); }

private:
    const CurlApi *api_;
    curl_httppost *head_ = nullptr;
    curl_httppost *last_ = nullptr;
};

void set_progress(Options &options, url_progress_function progress, void *progress_data)
{
    options.set(CURLOPT_PROGRESSFUNCTION, progress)
        .set(CURLOPT_PROGRESSDATA, progress_data)
        .set(CURLOPT_NOPROGRESS, 0L);
}

#pragma GCC diagnostic pop

// Writes the failure line to the log and gives the failure result.
int transfer_failed(const EasyHandle &curl, CURLcode code, const url *record)
{
    verbose_message(VESK_MSG_HTTP_TRANSFER_FAILED, static_cast<int>(code),
                    curl.get_deleter().api->easy_strerror(code), record->text);
    return URL_TRANSFER_FAILED;
}

// Appends a block to the body, which stays zero-terminated. The buffer
// grows at least twofold, so a large body is not copied once per block.
// Returning less than the block stops the transfer: only when memory runs
// out or the 32-bit length would overflow.
size_t url_write_cb(char *data, size_t size, size_t count, void *user)
{
    auto *sink = static_cast<response_sink *>(user);
    size_t block = size * count;
    if (block == 0)
        return 0;
    size_t held = static_cast<size_t>(sink->length);
    if (block > static_cast<size_t>(INT32_MAX) - held)
        return 0;
    size_t total = held + block;
    if (total + 1 > sink->capacity) {
        size_t capacity = std::max(total + 1, 2 * sink->capacity);
        char *grown = static_cast<char *>(std::realloc(*sink->out, capacity));
        if (grown == nullptr)
            return 0;
        *sink->out = grown;
        sink->capacity = capacity;
    }
    std::memcpy(*sink->out + held, data, block);
    (*sink->out)[total] = '\0';
    sink->length = static_cast<int32_t>(total);
    return block;
}

size_t url_read_cb(char *buffer, size_t size, size_t count, void *user)
{
    auto *body = static_cast<request_body *>(user);
    size_t left = static_cast<size_t>(body->length - body->position);
    size_t block = std::min(size * count, left);
    std::memcpy(buffer, body->data + body->position, block);
    body->position += static_cast<int32_t>(block);
    return block;
}

// Lets libcurl send the body again, as it must when the server answers
// the first attempt with an authentication challenge.
int url_seek_cb(void *user, curl_off_t offset, int origin)
{
    auto *body = static_cast<request_body *>(user);
    curl_off_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? body->position : body->length;
    if (offset < -base || offset > body->length - base)
        return CURL_SEEKFUNC_FAIL;
    body->position = static_cast<int32_t>(base + offset);
    return CURL_SEEKFUNC_OK;
}

// Copies the text after filename=" up to the next quote or the end of the
// line into filename, cut to URL_FILENAME_SIZE - 1 characters. The line's
// last byte (its line feed) is not looked at.
size_t url_header_cb(char *data, size_t size, size_t count, void *user)
{
    size_t length = size * count;
    if (length == 0)
        return 0;
    static constexpr char marker[] = "filename=\"";
    const char *line = data;
    const char *end = line + length - 1;
    const char *found = std::search(line, end, marker, marker + sizeof marker - 1);
    if (found != end) {
        const char *start = found + sizeof marker - 1;
        const char *quote = std::find(start, end, '"');
        size_t copied = std::min(static_cast<size_t>(quote - start), size_t{URL_FILENAME_SIZE - 1});
        auto *filename = static_cast<char *>(user);
        std::memcpy(filename, start, copied);
        filename[copied] = '\0';
    }
    return length;
}

// One log line for the label, and under it each line of the hex dump as a
// tab-led continuation, so that the dump stays with its label in the log.
void log_dump(const char *label, const char *data, size_t size)
{
    int length = static_cast<int>(std::min(size, size_t{INT_MAX}));
    CharBuffer dump(vesk_hexlog(data, length));
    std::string lines;
    try {
        for (const char *line = dump ? dump.get() : ""; *line != '\0';) {
            size_t end = std::strcspn(line, "\n");
            lines.append("\n\t").append(line, end);
            line += end + (line[end] == '\n' ? 1 : 0);
        }
    } catch (const std::bad_alloc &) {
        lines.clear();
    }
    verbose_message(VESK_MSG_HTTP_TRACE_DUMP, label, length, lines.c_str());
}

int debug_callback(CURL *, curl_infotype type, char *data, size_t size, void *)
{
    switch (type) {
    case CURLINFO_TEXT:
        // The library's text is not promised to be terminated.
        verbose_message(VESK_MSG_HTTP_TRACE_INFO, static_cast<int>(std::min(size, size_t{INT_MAX})),
                        data);
        break;
    case CURLINFO_HEADER_IN: log_dump("<= Recv header", data, size); break;
    case CURLINFO_HEADER_OUT: log_dump("=> Send header", data, size); break;
    case CURLINFO_DATA_IN: verbose_message(VESK_MSG_HTTP_TRACE_DATA, "<= Recv data"); break;
    case CURLINFO_DATA_OUT: verbose_message(VESK_MSG_HTTP_TRACE_DATA, "=> Send data"); break;
    case CURLINFO_SSL_DATA_IN: verbose_message(VESK_MSG_HTTP_TRACE_DATA, "<= Recv SSL data"); break;
    case CURLINFO_SSL_DATA_OUT:
        verbose_message(VESK_MSG_HTTP_TRACE_DATA, "=> Send SSL data");
        break;
    default: break;
    }
    return 0;
}

// Sets the common options, performs the transfer and maps its outcome.
// The handle stays with the caller.
int url_execute_in(url *record, const EasyHandle &curl, char **out, url_progress_function progress,
                   void *progress_data)
{
    Options options(curl);
    options.set(CURLOPT_URL, record->text)
        .set(CURLOPT_NOSIGNAL, 1L)
        .set(CURLOPT_SSL_VERIFYPEER, 0L);
    if (progress != nullptr)
        set_progress(options, progress, progress_data);
    *out = nullptr;
    response_sink sink{0, out, 0};
    options.set(CURLOPT_WRITEFUNCTION, url_write_cb)
        .set(CURLOPT_WRITEDATA, &sink)
        .set(CURLOPT_HEADERDATA, record->filename)
        .set(CURLOPT_HEADERFUNCTION, url_header_cb);
    CURLcode code = options.code() == CURLE_OK ? curl.get_deleter().api->easy_perform(curl.get())
                                               : options.code();
    if (code == CURLE_OK)
        return sink.length;
    std::free(*out);
    *out = nullptr;
    return transfer_failed(curl, code, record);
}

// Streams the form body of params (none: a GET), then cleans the handle up.
int url_execute_post_in(EasyHandle curl, url *record, char *const *params, char **out,
                        url_progress_function progress, void *progress_data)
{
    char *text = nullptr;
    int32_t length = url_make_post(params, &text);
    if (length < 0)
        return transfer_failed(curl, CURLE_OUT_OF_MEMORY, record);
    CharBuffer owned(text);
    request_body body{text, length, 0};
    Options options(curl);
    if (text != nullptr) {
        options.set(CURLOPT_POST, 1L)
            .set(CURLOPT_READFUNCTION, url_read_cb)
            .set(CURLOPT_READDATA, &body)
            .set(CURLOPT_POSTFIELDSIZE, static_cast<long>(length))
            .set(CURLOPT_SEEKFUNCTION, url_seek_cb)
            .set(CURLOPT_SEEKDATA, &body);
    }
    if (options.code() != CURLE_OK)
        return transfer_failed(curl, options.code(), record);
    return url_execute_in(record, curl, out, progress, progress_data);
}

// Checks the arguments and creates the request's handle: 0, or the result
// the request ends with. Without libcurl there is no handle either.
int start_request(const url *record, char **out, EasyHandle &curl)
{
    if (record == nullptr || out == nullptr)
        return URL_NULL_ARGUMENT;
    *out = nullptr;
    const CurlApi *api = ub::detail::curl_api();
    if (api != nullptr)
        curl = EasyHandle(api->easy_init(), EasyCleanup{api});
    if (!curl) {
        verbose_message(VESK_MSG_HTTP_NO_HANDLE);
        return URL_NO_HANDLE;
    }
    return 0;
}

} // namespace

int32_t url_make_post(char *const *params, char **body) noexcept
{
    if (body == nullptr)
        return -1;
    *body = nullptr;
    if (params == nullptr)
        return 0;
    std::string text;
    try {
        for (size_t i = 0; params[i] != nullptr; ++i) {
            CharBuffer encoded(char2http(params[i]));
            if (!encoded)
                return -1;
            text += encoded.get();
            text += i % 2 == 0 ? '=' : '&';
        }
    } catch (const std::bad_alloc &) {
        return -1;
    }
    if (text.empty())
        return 0;
    if (text.size() > static_cast<size_t>(INT32_MAX))
        return -1;
    *body = static_cast<char *>(std::malloc(text.size() + 1));
    if (*body == nullptr)
        return -1;
    std::memcpy(*body, text.c_str(), text.size() + 1);
    return static_cast<int32_t>(text.size());
}

int url_execute_get(url *record, char **out, url_progress_function progress,
                    void *progress_data) noexcept
{
    return url_execute_post(record, nullptr, out, progress, progress_data);
}

int url_execute_post(url *record, char *const *params, char **out, url_progress_function progress,
                     void *progress_data) noexcept
{
    EasyHandle curl;
    if (int failed = start_request(record, out, curl); failed != 0)
        return failed;
    return url_execute_post_in(std::move(curl), record, params, out, progress, progress_data);
}

int url_execute_post_debug(url *record, char *const *params, char **out,
                           url_progress_function progress, void *progress_data) noexcept
{
    EasyHandle curl;
    if (int failed = start_request(record, out, curl); failed != 0)
        return failed;
    Options options(curl);
    options.set(CURLOPT_DEBUGFUNCTION, debug_callback).set(CURLOPT_VERBOSE, 1L);
    if (options.code() != CURLE_OK)
        return transfer_failed(curl, options.code(), record);
    return url_execute_post_in(std::move(curl), record, params, out, progress, progress_data);
}

int url_execute_post_auth(url *record, char *const *params, char **out,
                          url_progress_function progress, void *progress_data, const char *user,
                          const char *pass) noexcept
{
    EasyHandle curl;
    if (int failed = start_request(record, out, curl); failed != 0)
        return failed;
    // Lives until the request has ended (libcurl copies it anyway).
    char userpwd[userpwd_size];
    if (user != nullptr || pass != nullptr) {
        std::snprintf(userpwd, sizeof userpwd, "%s:%s", user != nullptr ? user : "",
                      pass != nullptr ? pass : "");
        Options options(curl);
        options.set(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_ANY))
            .set(CURLOPT_USERPWD, userpwd);
        if (options.code() != CURLE_OK)
            return transfer_failed(curl, options.code(), record);
    }
    return url_execute_post_in(std::move(curl), record, params, out, progress, progress_data);
}

int url_execute_upload(url *record, char *const *fields, char *const *files, char **out,
                       url_progress_function progress, void *progress_data) noexcept
{
    if (files == nullptr)
        return URL_NULL_ARGUMENT;
    EasyHandle curl;
    if (int failed = start_request(record, out, curl); failed != 0)
        return failed;
    const CurlApi *api = curl.get_deleter().api;
    Form form(api);
    bool added = true;
    for (size_t i = 0; added && files[i] != nullptr && files[i + 1] != nullptr; i += 2)
        added = form.add_file(files[i], files[i + 1]);
    for (size_t i = 0;
         added && fields != nullptr && fields[i] != nullptr && fields[i + 1] != nullptr; i += 2)
        added = form.add_field(fields[i], fields[i + 1]);
    // An empty "Expect:" keeps libcurl from waiting for "100 Continue".
    HeaderList headers(added ? api->slist_append(nullptr, "Expect:") : nullptr,
                       HeaderListFree{api});
    if (!headers)
        return transfer_failed(curl, CURLE_OUT_OF_MEMORY, record);
    Options options(curl);
    options.set(CURLOPT_HTTPHEADER, headers.get());
    form.attach(options);
    if (options.code() != CURLE_OK)
        return transfer_failed(curl, options.code(), record);
    return url_execute_in(record, curl, out, progress, progress_data);
}
