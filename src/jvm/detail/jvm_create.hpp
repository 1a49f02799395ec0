// How the JVM bridge reaches JNI_CreateJavaVM: looked up in the JVM's
// library, found and loaded when the JVM starts.
#ifndef JVM_DETAIL_JVM_CREATE_HPP
#define JVM_DETAIL_JVM_CREATE_HPP

#include <jni.h>

namespace ub::detail {

// JNI_CreateJavaVM with the same arguments and result; JNI_ERR when the
// JVM's library or its entry cannot be found.
jint create_java_vm(JavaVM **jvm, void **env, void *args) noexcept;

} // namespace ub::detail

#endif
