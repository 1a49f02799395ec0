// Native texts to Java strings and back. Strings are made with NewString
// from UTF-16, which measured faster than NewStringUTF from a modified
// UTF-8 copy; ASCII texts, the same bytes in both forms, go to and come
// from JNI as they are, with no buffer of ours.
#include "jvm/detail/java_text.hpp"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "jvm/text_codec.hpp"

namespace ub::detail {

using namespace ub::text;

namespace {

// Texts of up to this many UTF-16 units are converted on the stack.
constexpr size_t stack_units = 256;

// The number of leading bytes of text below 0x80.
size_t ascii_prefix(const char *text)
{
    size_t i = 0;
    while (text[i] != '\0' && static_cast<unsigned char>(text[i]) < 0x80)
        ++i;
    return i;
}

jchar high_surrogate(uint32_t code)
{
    return static_cast<jchar>(0xD800 + ((code - 0x10000) >> 10));
}

jchar low_surrogate(uint32_t code)
{
    return static_cast<jchar>(0xDC00 + ((code - 0x10000) & 0x3FF));
}

// What the JVM does when it cannot make an object.
void throw_out_of_memory(JNIEnv *env)
{
    jclass error = env->FindClass("java/lang/OutOfMemoryError");
    if (error == nullptr)
        return; // that failure left an exception of its own
    env->ThrowNew(error, "texto grande demais");
    env->DeleteLocalRef(error);
}

// A buffer of count units on the stack when it is small, else on the heap.
class Units {
public:
    explicit Units(size_t count)
        : data_(count <= stack_units ? stack_
                                     : static_cast<jchar *>(std::malloc(count * sizeof(jchar))))
    {
    }
    ~Units()
    {
        if (data_ != stack_)
            std::free(data_);
    }
    Units(const Units &) = delete;
    Units &operator=(const Units &) = delete;
    jchar *get() const { return data_; }

private:
    jchar stack_[stack_units];
    jchar *data_;
};

} // namespace

jstring java_string(JNIEnv *env, const char *text) noexcept
{
    size_t ascii = ascii_prefix(text);
    if (text[ascii] == '\0')
        return env->NewStringUTF(text);
    // Every byte gives at most one UTF-16 unit (a 4-byte sequence gives
    // two), so length units suffice; past INT32_MAX no string can hold
    // them, and up to it the buffer's size fits a 32-bit size_t.
    size_t length = ascii + std::strlen(text + ascii);
    if (length > static_cast<size_t>(INT32_MAX)) {
        throw_out_of_memory(env);
        return nullptr;
    }
    Units buffer(length);
    jchar *units = buffer.get();
    if (units == nullptr) {
        throw_out_of_memory(env);
        return nullptr;
    }
    size_t count = 0;
    for (; count < ascii; ++count)
        units[count] = static_cast<jchar>(text[count]);
    auto *at = reinterpret_cast<const unsigned char *>(text + ascii);
    while (*at != 0) {
        if (*at < 0x80) {
            units[count++] = *at++;
            continue;
        }
        Decoded decoded = decode_native(at);
        at += decoded.size;
        if (decoded.code >= 0x10000) {
            units[count++] = high_surrogate(decoded.code);
            units[count++] = low_surrogate(decoded.code);
        } else {
            units[count++] = static_cast<jchar>(decoded.code);
        }
    }
    return env->NewString(units, static_cast<jsize>(count));
}

char *native_text(JNIEnv *env, jstring string) noexcept
{
    const jsize length = env->GetStringLength(string);
    const auto units_count = static_cast<size_t>(length);
    // Only U+0001 to U+007F take one byte in modified UTF-8, so equal
    // lengths mean ASCII, which JNI copies as it is.
    if (env->GetStringUTFLength(string) == length) {
        auto *copy = static_cast<char *>(std::malloc(units_count + 1));
        if (copy == nullptr)
            return nullptr;
        env->GetStringUTFRegion(string, 0, length, copy);
        copy[units_count] = '\0';
        return copy;
    }
    // A jsize count of units takes less than 2^32 bytes.
    Units buffer(units_count);
    jchar *units = buffer.get();
    if (units == nullptr)
        return nullptr;
    env->GetStringRegion(string, 0, length, units);
    // Up to 3 bytes a unit: on a 32-bit build the sum can pass SIZE_MAX.
    size_t size = 1;
    for (size_t i = 0; i < units_count;) {
        uint32_t code = decode_utf16(units, units_count, i);
        if (code == 0)
            break;
        if (size > SIZE_MAX - 4)
            return nullptr;
        size += utf8_size(code);
    }
    auto *copy = static_cast<char *>(std::malloc(size));
    if (copy == nullptr)
        return nullptr;
    char *out = copy;
    for (size_t i = 0; i < units_count;) {
        uint32_t code = decode_utf16(units, units_count, i);
        if (code == 0)
            break;
        out = put_utf8(code, out);
    }
    *out = '\0';
    return copy;
}

JavaName::JavaName(const char *name, Kind kind) noexcept : name_(name)
{
    if (name == nullptr)
        return;
    size_t ascii = ascii_prefix(name);
    bool dotted = kind == Kind::Class && std::strchr(name, '.') != nullptr;
    if (name[ascii] == '\0' && !dotted)
        return;
    // A byte becomes at most two bytes: a Latin-1 byte two, a 4-byte
    // sequence six (a surrogate pair of three bytes each).
    size_t length = ascii + std::strlen(name + ascii);
    name_ = nullptr;
    if (length > (SIZE_MAX - 1) / 2)
        return;
    converted_ = static_cast<char *>(std::malloc(2 * length + 1));
    if (converted_ == nullptr)
        return;
    std::memcpy(converted_, name, ascii);
    char *out = converted_ + ascii;
    auto *at = reinterpret_cast<const unsigned char *>(name + ascii);
    while (*at != 0) {
        Decoded decoded = decode_native(at);
        at += decoded.size;
        if (decoded.code >= 0x10000) {
            out = put_utf8(high_surrogate(decoded.code), out);
            out = put_utf8(low_surrogate(decoded.code), out);
        } else {
            out = put_utf8(decoded.code, out);
        }
    }
    *out = '\0';
    // Modified UTF-8 writes other characters with bytes of 0x80 and above,
    // so every '.' left is one the name held.
    if (dotted)
        std::replace(converted_, out, '.', '/');
    name_ = converted_;
}

JavaName::~JavaName()
{
    std::free(converted_);
}

} // namespace ub::detail
