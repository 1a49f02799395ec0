#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace fuzz {

std::vector<char> text_copy(const uint8_t *data, size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    return text;
}

std::vector<std::string> split_at_zero(const uint8_t *data, size_t size)
{
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            pieces.emplace_back();
        else
            pieces.back().push_back(static_cast<char>(data[i]));
    }
    return pieces;
}

const char *scratch_file(const uint8_t *data, size_t size)
{
    // A plain array, so that the exit handler never sees a destroyed path.
    static char path[4096];
    if (path[0] == '\0') {
        const char *dir = std::getenv("TMPDIR");
        std::snprintf(path, sizeof path, "%s/vesk_fuzz_XXXXXX",
                      dir != nullptr && *dir != '\0' ? dir : "/tmp");
        int fd = mkstemp(path);
        require(fd >= 0, "scratch file");
        close(fd);
        std::atexit([] { unlink(path); });
    }
    FILE *file = std::fopen(path, "wb");
    require(file != nullptr, "scratch file open");
    require(size == 0 || std::fwrite(data, 1, size, file) == size, "scratch file write");
    std::fclose(file);
    return path;
}

Silence::Silence() : saved_out_(stdout), saved_err_(stderr)
{
    static FILE *sink = std::fopen("/dev/null", "w");
    require(sink != nullptr, "/dev/null");
    std::fflush(stdout);
    std::fflush(stderr);
    stdout = sink;
    stderr = sink;
}

Silence::~Silence()
{
    std::fflush(stdout);
    stdout = saved_out_;
    stderr = saved_err_;
}

namespace {

bool same_text(const char *a, const char *b)
{
    return std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "") == 0;
}

bool same_type(int32_t a, int32_t b)
{
    return a == b || (a == JSON_TYPE_BOOLEAN && b == JSON_TYPE_INTEGER);
}

const json_container *container(const json_value *value)
{
    return reinterpret_cast<const json_container *>(value);
}

} // namespace

bool json_equal(const json_value *a, const json_value *b)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    if (!same_type(a->type, b->type))
        return false;
    switch (a->type) {
    case JSON_TYPE_ARRAY:
    case JSON_TYPE_OBJECT: {
        const json_container *x = container(a);
        const json_container *y = container(b);
        if (x->count != y->count)
            return false;
        for (int32_t i = 0; i < x->count; ++i) {
            if (a->type == JSON_TYPE_ARRAY) {
                if (!json_equal(static_cast<json_value *>(x->items[i]),
                                static_cast<json_value *>(y->items[i])))
                    return false;
                continue;
            }
            auto *m = static_cast<const json_member *>(x->items[i]);
            auto *n = static_cast<const json_member *>(y->items[i]);
            if (!same_text(m->name, n->name) || !json_equal(m->value, n->value))
                return false;
        }
        return true;
    }
    case JSON_TYPE_NULL: return true;
    case JSON_TYPE_POINTER: return a->payload.pointer == b->payload.pointer;
    case JSON_TYPE_DATETIME: return a->payload.seconds == b->payload.seconds;
    default: return same_text(a->payload.text, b->payload.text);
    }
}

namespace {

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][-+]?[0-9]+)?
bool standard_number(const char *text)
{
    auto digits = [&text]() {
        const char *start = text;
        while (*text >= '0' && *text <= '9')
            ++text;
        return text - start;
    };
    if (*text == '-')
        ++text;
    const char *integer = text;
    if (digits() == 0 || (*integer == '0' && text - integer > 1))
        return false;
    if (*text == '.' && (++text, digits() == 0))
        return false;
    if (*text == 'e' || *text == 'E') {
        ++text;
        if (*text == '-' || *text == '+')
            ++text;
        if (digits() == 0)
            return false;
    }
    return *text == '\0';
}

} // namespace

bool json_numbers_are_standard(const json_value *tree)
{
    if (tree == nullptr)
        return true;
    switch (tree->type) {
    case JSON_TYPE_INTEGER:
    case JSON_TYPE_NUMBER: return standard_number(tree->payload.text);
    case JSON_TYPE_ARRAY:
    case JSON_TYPE_OBJECT: {
        const json_container *c = container(tree);
        for (int32_t i = 0; i < c->count; ++i) {
            const json_value *item = tree->type == JSON_TYPE_ARRAY
                                         ? static_cast<const json_value *>(c->items[i])
                                         : static_cast<const json_member *>(c->items[i])->value;
            if (!json_numbers_are_standard(item))
                return false;
        }
        return true;
    }
    default: return true;
    }
}

void keep_text_for_strict_reader(const char *text)
{
    static const char *path = std::getenv("VESK_JSON_TEXTS");
    if (path == nullptr || *path == '\0')
        return;
    FILE *file = std::fopen(path, "ab");
    require(file != nullptr, "VESK_JSON_TEXTS open");
    require(std::fprintf(file, "%s\n", text) >= 0 && std::fclose(file) == 0,
            "VESK_JSON_TEXTS write");
}

void require(bool ok, const char *what)
{
    if (ok)
        return;
    dprintf(2, "fuzz property failed: %s\n", what); // stderr may be silenced
    std::abort();
}

} // namespace fuzz
