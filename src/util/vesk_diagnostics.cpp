// Diagnostic and transfer texts: the version text, the clock text, the hex
// dump that the HTTP client's trace writes to the log, and the
// percent-encoding of form bodies.
#include "util/vesk_diagnostics.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/platform.h"
#include "util/vesk_version.h"

namespace {

// The process-wide version text; static storage, so it exists before the
// first call and two threads calling at once share the one buffer.
char vesk_version_str[VESK_VERSION_SIZE];
std::mutex vesk_version_lock;

constexpr char hex_digits[] = "0123456789ABCDEF";
constexpr size_t row_bytes = 16;
constexpr size_t group_width = 3;      // "XX "
constexpr char column_gap[] = "     "; // between the hex groups and the column
constexpr size_t row_width = row_bytes * group_width + sizeof column_gap - 1 + row_bytes + 1;

inline char printable(unsigned char byte)
{
    return byte < 0x20 || byte > 0x7E ? '.' : static_cast<char>(byte);
}

// Writes one dump row of count (1 to 16) bytes at out; returns the end.
char *dump_row(const unsigned char *bytes, size_t count, char *out)
{
    for (size_t i = 0; i < count; ++i) {
        out[0] = hex_digits[bytes[i] >> 4];
        out[1] = hex_digits[bytes[i] & 0x0F];
        out[2] = ' ';
        out += group_width;
    }
    // Missing groups of a short last row, then the gap before the column.
    size_t blanks = (row_bytes - count) * group_width + sizeof column_gap - 1;
    std::memset(out, ' ', blanks);
    out += blanks;
    for (size_t i = 0; i < count; ++i)
        out[i] = printable(bytes[i]);
    return out + count;
}

} // namespace

void vesk_make_version_string(char *buffer) noexcept
{
    if (buffer == nullptr)
        return;
    struct tm local {};
    platform_localtime(static_cast<time_t>(VESK_BUILD_TIME), &local);
    std::snprintf(buffer, VESK_VERSION_SIZE, "%d.%d.%d r%d (%02d/%02d/%d %02d:%02d)",
                  VESK_VERSION_MAJOR, VESK_VERSION_MINOR, VESK_VERSION_PATCH, VESK_REVISION,
                  local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour,
                  local.tm_min);
}

const char *vesk_version(void) noexcept
{
    // The text is rebuilt on every call (the time zone may have changed) but
    // written only when it differs, so concurrent readers of an unchanged
    // text never see it being rewritten.
    char fresh[VESK_VERSION_SIZE];
    vesk_make_version_string(fresh);
    std::lock_guard<std::mutex> hold(vesk_version_lock);
    if (std::strcmp(fresh, vesk_version_str) != 0)
        std::memcpy(vesk_version_str, fresh, sizeof fresh);
    return vesk_version_str;
}

char *vesk_getTime(int32_t time, char *buffer, size_t size) noexcept
{
    if (buffer == nullptr || size == 0)
        return buffer;
    struct tm local {};
    platform_localtime(time, &local);
    std::snprintf(buffer, size, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return buffer;
}

char *vesk_hexlog(const void *data, int length) noexcept
{
    if (data == nullptr || length <= 0)
        return static_cast<char *>(std::calloc(1, 1));
    size_t count = static_cast<size_t>(length);
    size_t rows = (count + row_bytes - 1) / row_bytes;
    if (rows > SIZE_MAX / row_width)
        return nullptr;
    // The last row has no line feed: its place takes the terminator.
    char *text = static_cast<char *>(std::malloc(rows * row_width));
    if (text == nullptr)
        return nullptr;
    const auto *bytes = static_cast<const unsigned char *>(data);
    char *out = text;
    for (size_t start = 0; start < count; start += row_bytes) {
        size_t in_row = count - start < row_bytes ? count - start : row_bytes;
        out = dump_row(bytes + start, in_row, out);
        if (start + row_bytes < count)
            *out++ = '\n';
    }
    *out = '\0';
    return text;
}

int vesk_hexlog_ascii(const void *data, char *out, int length) noexcept
{
    if (data == nullptr || out == nullptr)
        return -1;
    const auto *bytes = static_cast<const unsigned char *>(data);
    int written = 0;
    for (; written < length; ++written)
        out[written] = printable(bytes[written]);
    out[written] = '\0';
    return written;
}

char *char2http(const char *text) noexcept
{
    if (text == nullptr)
        return nullptr;
    size_t length = std::strlen(text);
    if (length >= SIZE_MAX / 3)
        return nullptr;
    char *encoded = static_cast<char *>(std::calloc(3 * (length + 1), 1));
    if (encoded == nullptr)
        return nullptr;
    char *out = encoded;
    for (size_t i = 0; i < length; ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                     (byte >= '0' && byte <= '9');
        if (plain) {
            *out++ = static_cast<char>(byte);
        } else {
            out[0] = '%';
            out[1] = hex_digits[byte >> 4];
            out[2] = hex_digits[byte & 0x0F];
            out += 3;
        }
    }
    return encoded;
}
