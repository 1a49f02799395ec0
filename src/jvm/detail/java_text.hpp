// The one conversion pair between native texts and Java strings, used
// wherever the bridge hands a text to Java or takes one back.
#ifndef JVM_DETAIL_JAVA_TEXT_HPP
#define JVM_DETAIL_JAVA_TEXT_HPP

#include <jni.h>

namespace ub::detail {

// A new local reference to a Java string holding text: standard UTF-8
// decoded (a 4-byte sequence becomes a surrogate pair), and each byte that
// is not part of a valid sequence read as the Latin-1 character of its
// value. NULL with an exception pending when the string cannot be made.
jstring java_string(JNIEnv *env, const char *text) noexcept;

// A malloc'd copy of string in standard UTF-8, up to its first U+0000
// (a surrogate pair becomes one 4-byte sequence, a lone surrogate U+FFFD).
// NULL when memory runs out; the caller frees the copy.
char *native_text(JNIEnv *env, jstring string) noexcept;

// A class or method name read as java_string reads a text, in the
// modified UTF-8 that FindClass and Get*MethodID take. ASCII names (the
// usual ones) are used as they are; others are converted into a buffer
// owned by the record. get() is NULL for a NULL name, or when memory ran
// out, which the lookups then report as a name not found.
//
// A class name may also be given as Java writes it, with dots between the
// package names ("org.example.Main", "[Ljava.lang.String;"): a dot never
// belongs to a class's own name, so each one becomes the slash that
// FindClass takes.
class JavaName {
public:
    enum class Kind { Method, Class };
    explicit JavaName(const char *name, Kind kind = Kind::Method) noexcept;
    ~JavaName();
    JavaName(const JavaName &) = delete;
    JavaName &operator=(const JavaName &) = delete;
    const char *get() const noexcept { return name_; }

private:
    const char *name_ = nullptr;
    char *converted_ = nullptr;
};

} // namespace ub::detail

#endif
