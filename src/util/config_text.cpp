#include "util/config_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

extern const char vesk_empty_text[] = "";

extern const ub_bom ub_bom_table[] = {
    {"UTF-8", {0xEF, 0xBB, 0xBF, 0x00}, 3},      {"UTF-16(BE)", {0xFE, 0xFF, 0x00, 0x00}, 2},
    {"UTF-16(LE)", {0xFF, 0xFE, 0x00, 0x00}, 2}, {"UTF-32(BE)", {0x00, 0x00, 0xFE, 0xFF}, 4},
    {"UTF-32(LE)", {0xFF, 0xFE, 0x00, 0x00}, 4}, {"UTF-7", {0x2B, 0x2F, 0x76, 0x38}, 4},
    {"UTF-1", {0xF7, 0x64, 0x4C, 0x00}, 3},      {"UTF-EBCDIC", {0xDD, 0x73, 0x66, 0x73}, 4},
    {"SCSU", {0x0E, 0xFE, 0xFF, 0x00}, 3},       {"BOCU-1", {0xFB, 0xEE, 0x28, 0x00}, 3},
    {"GB-18030", {0x84, 0x31, 0x95, 0x33}, 4},   {nullptr, {0x00, 0x00, 0x00, 0x00}, 0},
};

namespace {

// Reads of a key=value file: 2047 characters and the terminator.
constexpr int config_line_size = 2048;

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

// Values of one get_config_ini call: the slots as the caller gave them, so
// that a copy made by this call can be told from the caller's own values.
class ConfigValues {
public:
    ConfigValues(const char **values, size_t count)
        : values_(values), before_(values, values + count)
    {
    }

    // Fills the NULL slots with the shared empty text and stores a copy of
    // the value of every key that line sets; false when memory runs out.
    bool apply(const char *const *keys, const char *line)
    {
        for (size_t i = 0; i < before_.size(); ++i) {
            if (values_[i] == nullptr)
                values_[i] = vesk_empty_text;
            size_t n = std::strlen(keys[i]);
            // line[n] is read only when the line is at least n long.
            if (std::strncmp(line, keys[i], n) != 0 || line[n] != '=')
                continue;
            char *copy = strdup(line + n + 1);
            if (copy == nullptr)
                return false;
            release_copy(i);
            values_[i] = copy;
        }
        return true;
    }

    // Puts every slot back as the caller gave it.
    void restore()
    {
        for (size_t i = 0; i < before_.size(); ++i) {
            release_copy(i);
            values_[i] = before_[i];
        }
    }

private:
    // A copy this call made is released when a later line replaces it.
    void release_copy(size_t i)
    {
        if (values_[i] != before_[i] && values_[i] != vesk_empty_text)
            std::free(const_cast<char *>(values_[i]));
    }

    const char **values_;
    std::vector<const char *> before_;
};

} // namespace

int tokenizer(char separator, char *buffer, char **fields, int max_fields) noexcept
{
    if (buffer == nullptr || fields == nullptr || max_fields < 1)
        return 0;
    fields[0] = buffer;
    int count = 1;
    for (char *p = buffer; *p != '\0' && count < max_fields; ++p) {
        if (*p == '\r' || *p == '\n') {
            *p = '\0';
        } else if (*p == separator) {
            *p = '\0';
            fields[count++] = p + 1;
        }
    }
    return count;
}

int isNumber(const char *text) noexcept
{
    if (text == nullptr)
        return 0;
    for (; *text != '\0'; ++text) {
        if ((*text < '0' || *text > '9') && *text != '.')
            return 0;
    }
    return 1;
}

const ub_bom *ub_get_BOM(const void *data) noexcept
{
    if (data == nullptr)
        return nullptr;
    for (const ub_bom *row = ub_bom_table; row->name != nullptr; ++row) {
        if (std::memcmp(data, row->bytes, row->length) == 0)
            return row;
    }
    return nullptr;
}

int get_config_ini(const char *path, const char *const *keys, const char **values) noexcept
{
    if (keys == nullptr || values == nullptr)
        return -1;
    if (path == nullptr)
        return 1;
    File file(std::fopen(path, "rb"));
    if (!file)
        return 1;
    try {
        size_t count = 0;
        while (keys[count] != nullptr)
            ++count;
        ConfigValues slots(values, count);
        char line[config_line_size];
        while (std::fgets(line, sizeof line, file.get()) != nullptr) {
            line[std::strcspn(line, "\r\n")] = '\0';
            if (!slots.apply(keys, line)) {
                slots.restore();
                return -1;
            }
        }
    } catch (const std::bad_alloc &) {
        return -1;
    }
    return 0;
}

int purgeZeros(char *text) noexcept
{
    if (text == nullptr)
        return 0;
    size_t zeros = std::strspn(text, "0");
    if (zeros > 0)
        std::memmove(text, text + zeros, std::strlen(text + zeros) + 1);
    return static_cast<int>(zeros);
}
