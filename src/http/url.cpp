// The URL record: the text is split once, step by step, each step starting
// where the previous one stopped. Parsing is forgiving: a part that cannot
// be found is reported on standard error and kept as the empty text.
#include "http/url.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "log/messages.hpp"

namespace {

// Bytes kept by url_make, terminator included.
constexpr size_t make_buffer_size = 2048;

// A malloc'd copy of length bytes at text; NULL when memory runs out.
char *copy_part(const char *text, size_t length)
{
    char *part = static_cast<char *>(std::malloc(length + 1));
    if (part != nullptr) {
        std::memcpy(part, text, length);
        part[length] = '\0';
    }
    return part;
}

char *empty_part()
{
    return copy_part("", 0);
}

void report(const char *message)
{
    verbose_message(VESK_MSG_URL_PART_NOT_FOUND, message);
}

// Index of the first of the characters stops in text at or after start, or
// the index of the terminator.
size_t find_any(const char *text, size_t start, const char *stops)
{
    return start + std::strcspn(text + start, stops);
}

size_t url_set_protocol(url *record, size_t index)
{
    const char *text = record->text;
    if (std::strlen(text) > 3) {
        size_t colon = find_any(text, index, ":");
        // The terminator stops the comparison before anything past it is read.
        if (text[colon] == ':' && text[colon + 1] == '/' && text[colon + 2] == '/') {
            record->protocol = copy_part(text, colon);
            return colon + 3;
        }
    }
    report("protocolo invalido.");
    record->protocol = empty_part();
    return 0;
}

// The search for '@' runs to the end of the text on purpose: an '@' in the
// path or query also ends a user part.
size_t url_set_user(url *record, size_t index)
{
    const char *text = record->text;
    const char *at = std::strchr(text + index, '@');
    if (at == nullptr) {
        record->user = empty_part();
        record->pass = empty_part();
        return index;
    }
    size_t end = static_cast<size_t>(at - text);
    const char *colon = static_cast<const char *>(std::memchr(text + index, ':', end - index));
    if (colon == nullptr) {
        record->user = copy_part(text + index, end - index);
    } else {
        size_t split = static_cast<size_t>(colon - text);
        record->user = copy_part(text + index, split - index);
        record->pass = copy_part(colon + 1, end - split - 1);
    }
    return end + 1;
}

// The next step starts at the character that stopped the host (':', '/' or
// the terminator).
size_t url_set_host(url *record, size_t index)
{
    const char *text = record->text;
    size_t stop = find_any(text, index, ":/");
    if (text[stop] != '\0' && stop > index) {
        record->host = copy_part(text + index, stop - index);
    } else {
        report("host invalido.");
        record->host = empty_part();
    }
    return stop;
}

void url_set_default_port(url *record)
{
    static const char *const defaults[][2] = {{"http", "80"}, {"https", "443"}, {"ftp", "21"}};
    for (const auto &entry : defaults) {
        if (record->protocol != nullptr && std::strcmp(record->protocol, entry[0]) == 0) {
            record->port = copy_part(entry[1], std::strlen(entry[1]));
            return;
        }
    }
    report("porta default indeterminada.");
    record->port = empty_part();
}

// Starts at the character that stopped the host. At the terminator (a URL
// ending right after the host) nothing past it is read: the port is
// reported missing, as after a ':' without a following '/'.
size_t url_set_port(url *record, size_t index)
{
    const char *text = record->text;
    if (text[index] == '/') {
        url_set_default_port(record);
        return index + 1;
    }
    size_t start = text[index] == ':' ? index + 1 : index;
    size_t stop = find_any(text, start, "/");
    if (text[stop] == '/' && stop > start) {
        record->port = copy_part(text + start, stop - start);
        return stop + 1;
    }
    report("port indeterminado.");
    record->port = empty_part();
    return stop;
}

size_t url_set_path(url *record, size_t index)
{
    const char *text = record->text;
    size_t stop = find_any(text, index, "?");
    record->path = copy_part(text + index, stop - index);
    return text[stop] == '?' ? stop + 1 : stop;
}

size_t url_set_query(url *record, size_t index)
{
    size_t length = std::strlen(record->text + index);
    record->query = copy_part(record->text + index, length);
    return index + length;
}

void url_set_file(url *record)
{
    if (record->path == nullptr)
        return;
    const char *slash = std::strrchr(record->path, '/');
    const char *file = slash != nullptr ? slash + 1 : record->path;
    record->file = copy_part(file, std::strlen(file));
}

// True when every part the steps set is there (pass may be NULL by design).
bool complete(const url *record)
{
    return record->protocol != nullptr && record->user != nullptr && record->host != nullptr &&
           record->port != nullptr && record->path != nullptr && record->query != nullptr &&
           record->file != nullptr;
}

} // namespace

url *url_new(const char *text) noexcept
{
    if (text == nullptr)
        return nullptr;
    auto *record = static_cast<url *>(std::calloc(1, sizeof(url)));
    if (record == nullptr)
        return nullptr;
    record->text = copy_part(text, std::strlen(text));
    if (record->text == nullptr) {
        url_free(record);
        return nullptr;
    }
    size_t index = url_set_protocol(record, 0);
    index = url_set_user(record, index);
    index = url_set_host(record, index);
    index = url_set_port(record, index);
    index = url_set_path(record, index);
    url_set_query(record, index);
    url_set_file(record);
    if (!complete(record)) {
        url_free(record);
        return nullptr;
    }
    return record;
}

url *url_make(const char *host, const char *port, const char *path) noexcept
{
    host = host != nullptr ? host : "";
    port = port != nullptr ? port : "";
    path = path != nullptr ? path : "";
    const char *protocol = std::strcmp(port, "443") == 0 ? "https" : "http";
    char text[make_buffer_size];
    std::snprintf(text, sizeof text, "%s://%s:%s/%s", protocol, host, port, path);
    return url_new(text);
}

void url_free(url *record) noexcept
{
    if (record == nullptr)
        return;
    char *parts[] = {record->text, record->protocol, record->user, record->pass, record->host,
                     record->port, record->path,     record->file, record->query};
    for (char *part : parts)
        std::free(part);
    std::free(record);
}

const char *url_get_protocol(const url *record) noexcept
{
    return record != nullptr ? record->protocol : nullptr;
}

const char *url_get_user(const url *record) noexcept
{
    return record != nullptr ? record->user : nullptr;
}

const char *url_get_pass(const url *record) noexcept
{
    return record != nullptr ? record->pass : nullptr;
}

const char *url_get_host(const url *record) noexcept
{
    return record != nullptr ? record->host : nullptr;
}

const char *url_get_port(const url *record) noexcept
{
    return record != nullptr ? record->port : nullptr;
}

const char *url_get_path(const url *record) noexcept
{
    return record != nullptr ? record->path : nullptr;
}

const char *url_get_file(const url *record) noexcept
{
    return record != nullptr ? record->file : nullptr;
}

const char *url_get_query(const url *record) noexcept
{
    return record != nullptr ? record->query : nullptr;
}
