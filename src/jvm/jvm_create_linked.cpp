// The JVM's entry from the JDK library the bridge is linked with.
#include "jvm/detail/jvm_create.hpp"

namespace ub::detail {

jint create_java_vm(JavaVM **jvm, void **env, void *args) noexcept
{
    return JNI_CreateJavaVM(jvm, env, args);
}

} // namespace ub::detail
