#ifndef HTTP_URL_H
#define HTTP_URL_H
/* The HTTP client: a URL split once into its parts, and blocking GET, form
 * POST and multipart upload requests over libcurl, loaded at the first
 * request, that return the whole response body. */

#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: a URL record owns its texts and is released with url_free.
 * Parameter lists alternate key and value and end at the first NULL entry.
 * A request returns the body length and hands the caller a malloc'd,
 * zero-terminated body (NULL when empty or on failure) that the caller
 * frees. The first request loads libcurl and calls curl_global_init, once
 * for the process whatever threads race to it; callers need neither.
 * Server certificates are not verified. */

/* Room for a file name announced by a response header, terminator included. */
#define URL_FILENAME_SIZE 256

/* Failure results of the requests; 0 or more is the body length. */
enum url_result {
    URL_NULL_ARGUMENT = -1,  /* URL record, out pointer or upload file list is NULL */
    URL_NO_HANDLE = -2,      /* no easy handle, or libcurl could not be loaded ("Falha ao
                                carregar a biblioteca libcurl (<file>): <reason>" logged
                                first); "Falha ao tentar iniciar libCurl." logged */
    URL_TRANSFER_FAILED = -3 /* "(code) text - 'url'" logged; the out pointer is NULL */
};

/* A URL split into its parts. Every text is owned by the record and set
 * (possibly empty), except pass, which is NULL without a ':' in the user part. */
typedef struct url {
    char *text;     /* the whole URL as given */
    char *protocol; /* scheme before "://" */
    char *user;     /* user name before '@' */
    char *pass;     /* password after the user part's first ':', or NULL */
    char *host;     /* host name or address */
    char *port;     /* port as written, or the protocol's default */
    char *path;     /* after the '/' ending host or port, up to '?'; no leading '/' */
    char *file;     /* last segment of path */
    char *query;    /* after the first '?', without it */
    char filename[URL_FILENAME_SIZE]; /* file name from a response header; "" at first */
} url;

/* libcurl's progress-function contract: totals and counts so far; a
 * non-zero result aborts the transfer. */
typedef int (*url_progress_function)(void *data, double download_total, double download_now,
                                     double upload_total, double upload_now);

/* Splits text into a new record (release with url_free); NULL for NULL text.
 * Parts that cannot be found are empty texts, each reported on standard
 * error ("|URL| protocolo invalido.", "host invalido.", "port
 * indeterminado.", "porta default indeterminada."). */
url *url_new(const char *text) UB_NOEXCEPT;

/* url_new of "proto://host:port/path", proto "https" when port is "443" and
 * "http" otherwise; the text is cut to 2047 characters. NULL texts count as
 * empty. */
url *url_make(const char *host, const char *port, const char *path) UB_NOEXCEPT;

/* Releases every text and the record; NULL is ignored. */
void url_free(url *record) UB_NOEXCEPT;

/* The part, borrowed from the record; NULL for a NULL record (and the
 * password NULL when the URL gave none). */
const char *url_get_protocol(const url *record) UB_NOEXCEPT;
const char *url_get_user(const url *record) UB_NOEXCEPT;
const char *url_get_pass(const url *record) UB_NOEXCEPT;
const char *url_get_host(const url *record) UB_NOEXCEPT;
const char *url_get_port(const url *record) UB_NOEXCEPT;
const char *url_get_path(const url *record) UB_NOEXCEPT;
const char *url_get_file(const url *record) UB_NOEXCEPT;
const char *url_get_query(const url *record) UB_NOEXCEPT;

/* Form body "k1=v1&k2=v2&" of params, each entry percent-encoded with
 * char2http; a list ending after a key ends in '='. Returns the length and
 * stores the malloc'd body in *body (NULL and 0 for a NULL or empty list);
 * -1 when body is NULL or memory runs out. */
int32_t url_make_post(char *const *params, char **body) UB_NOEXCEPT;

/* GET of record's text: url_execute_post without parameters. */
int url_execute_get(url *record, char **out, url_progress_function progress,
                    void *progress_data) UB_NOEXCEPT;

/* POST of the form body of params (a GET when params is NULL or empty).
 * Returns the body length with *out holding the body, or a url_result. A
 * NULL progress function leaves libcurl's progress handling alone. */
int url_execute_post(url *record, char *const *params, char **out, url_progress_function progress,
                     void *progress_data) UB_NOEXCEPT;

/* url_execute_post that also writes the exchange to the log: "== Info:"
 * lines, labelled hex dumps of the headers, labels of the data blocks. */
int url_execute_post_debug(url *record, char *const *params, char **out,
                           url_progress_function progress, void *progress_data) UB_NOEXCEPT;

/* url_execute_post with any authentication libcurl supports, as
 * "user:pass" cut to 255 characters, when user or pass is not NULL (the
 * missing one is empty); neither given sends no credentials. */
int url_execute_post_auth(url *record, char *const *params, char **out,
                          url_progress_function progress, void *progress_data, const char *user,
                          const char *pass) UB_NOEXCEPT;

/* Multipart POST: the files (name, path pairs) first, then the fields
 * (name, value pairs; may be NULL), without waiting for "100 Continue".
 * Results as url_execute_post; a NULL file list gives URL_NULL_ARGUMENT. */
int url_execute_upload(url *record, char *const *fields, char *const *files, char **out,
                       url_progress_function progress, void *progress_data) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
