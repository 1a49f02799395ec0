#ifndef JVM_JAVA_UTILS_H
#define JVM_JAVA_UTILS_H
/* The JVM bridge: creates the in-process virtual machine, calls Java methods
 * of fixed shapes from native code, and turns the arrays a JNI native method
 * receives into plain native arrays for a handler. */

#include <jni.h>
#include <stdint.h>

#include "platform/ub_api.h"

UB_EXTERN_C_BEGIN

/* Conventions: class names use slashes ("java/lang/String") or dots, as Java
 * writes them. Texts given are UTF-8 (a byte outside a valid sequence is its
 * Latin-1 character); texts handed back are UTF-8, up to a U+0000. Every call
 * attaches the calling thread on entry and detaches it on exit, whatever the
 * outcome and even if it was attached before; only ub_JVM_unrefObjectMethod
 * leaves it attached. Text arrays have a separate count and may hold NULLs.
 * Texts and buffers handed out are malloc'd (caller frees), objects are global
 * references (ub_JVM_unrefObjectMethod); NULL outputs are not wanted. */

/* Results of the call operations. */
enum ub_jvm_call_result {
    UB_JVM_OK = 0,
    UB_JVM_NO_CLASS = -2,   /* thread not attached, or class (or object's class) not found */
    UB_JVM_NO_METHOD = -3,  /* no method (or constructor) of the required signature */
    UB_JVM_NULL_RESULT = -4 /* null result or a Java exception (or no memory for the arguments) */
};

/* Results of ub_JVM_attach_and_find_class and ub_JVM_attach. */
enum ub_jvm_attach_result {
    UB_JVM_ATTACHED = 0,
    UB_JVM_ATTACH_FAILED = -1,
    UB_JVM_CLASS_NOT_FOUND = -2
};

/* Room for each JVM option text other than the class path and the library
 * path, terminator included; longer texts are cut. Those two are never cut. */
#define UB_JVM_OPTION_SIZE 2048

/* Native handler called by ub_JVM_generic_callback, in argument order:
 * long_count values longs (the low 32 bits of each Java long), text_count
 * texts followed by two NULL pointers (a null Java string arrives as ""),
 * the length of each blob followed by a 0, and the blobs (not terminated).
 * Texts are UTF-8 copies. Everything is borrowed for the duration of the
 * call. */
typedef int32_t (*ub_JVM_handler)(int32_t long_count, int32_t *longs, uint32_t text_count,
                                  char **texts, int32_t *blob_lengths, char **blobs);

/* --- Virtual machine --- */

/* Creates the process's JVM with the options -Djava.compiler=NONE,
 * -Djava.class.path=<class_path>, -Djava.library.path=<library_path> (both
 * whole, whatever their length), -Xss<stack>m and -XX:-CreateCoredumpOnCrash
 * (NULL arguments read as ".", "" and "1"), listing them on standard output.
 * The JavaVM, or NULL after "Erro ao tentar carregar JVM." when the JVM
 * refuses to start. Once per process. */
JavaVM *ub_loadJVM(const char *class_path, const char *library_path, const char *stack) UB_NOEXCEPT;

/* Called by the JVM with the exit status just before it ends the process
 * (System.exit, Runtime.halt), after the shutdown hooks ran; on the JVM's
 * own thread. It may return: the JVM then ends the process itself. */
typedef void(JNICALL *ub_JVM_exit_hook)(jint status);

/* ub_loadJVM, with exit_hook (when not NULL) given to the JVM as its "exit"
 * option, which is not listed. */
JavaVM *ub_loadJVM_with_exit_hook(const char *class_path, const char *library_path,
                                  const char *stack, ub_JVM_exit_hook exit_hook) UB_NOEXCEPT;

/* ub_loadJVM_with_exit_hook, with option_count further options given to the
 * JVM after the five, in their order and whole, and listed after them (the
 * later option wins: "-Xss4m" beats the stack argument). NULL elements are
 * skipped; a NULL options or a count below 1 adds none. The texts are
 * borrowed for the call. */
JavaVM *ub_loadJVM_with_options(const char *class_path, const char *library_path, const char *stack,
                                ub_JVM_exit_hook exit_hook, int option_count,
                                const char *const *options) UB_NOEXCEPT;

/* Called by the JVM when it aborts, just before it ends the process: after
 * a crash, once its report (hs_err_pid<N>.log) is written, or on a failure
 * while it starts from which JNI_CreateJavaVM does not return. On the
 * failing thread; it may end the process itself. While such a hook is set
 * the JVM waits for its crash report however long it takes. */
typedef void(JNICALL *ub_JVM_abort_hook)(void);

/* Sets the hook that the JVMs created from now on get as their "abort"
 * option, which is not listed; NULL sets none. */
void ub_JVM_set_abort_hook(ub_JVM_abort_hook hook) UB_NOEXCEPT;

/* Does nothing: the JVM lives until the process ends. */
void ub_unloadJVM(void) UB_NOEXCEPT;

/* --- Attach, detach and argument arrays --- */

/* Attaches the calling thread and looks class_name up. UB_JVM_ATTACHED with
 * *env and *cls set; UB_JVM_CLASS_NOT_FOUND with *env set and *cls NULL
 * (after "Classe '<name>' nao encontrada." and the exception's description);
 * UB_JVM_ATTACH_FAILED after "Thread attach failed", *cls untouched. The
 * lookup's exception is always cleared. */
int ub_JVM_attach_and_find_class(JavaVM *jvm, const char *class_name, JNIEnv **env,
                                 jclass *cls) UB_NOEXCEPT;

/* As ub_JVM_attach_and_find_class, with the class of object; its message is
 * "Classe nao encontrada." (also for a NULL object). */
int ub_JVM_attach(JavaVM *jvm, jobject object, JNIEnv **env, jclass *cls) UB_NOEXCEPT;

/* Detaches the calling thread; the outcome is ignored. NULL jvm: nothing. */
void ub_JVM_dettach(JavaVM *jvm) UB_NOEXCEPT;

/* A new String[] of count elements holding the texts (a NULL text, or a NULL
 * texts array, gives null elements); NULL when count is not positive, or
 * with an exception pending when the array could not be built. */
jobjectArray ub_JVM_getStringArray(JNIEnv *env, int count, char *const *texts) UB_NOEXCEPT;

/* A new byte[] holding a copy of length bytes; NULL when bytes is NULL or
 * length is not positive. */
jbyteArray ub_JVM_getByteArray(JNIEnv *env, const char *bytes, int32_t length) UB_NOEXCEPT;

/* --- Call operations: each returns a ub_jvm_call_result --- */

/* Messages go to standard error. On a thread that runs Java code (a native
 * method's caller), which cannot be detached, a call describes the exception
 * it leaves there and clears it, as the detach does on other threads. */

/* Calls the static Object class_name.method_name(long[], String[]) with the
 * long_count values (a null long[] when 0) and the texts (a null String[]
 * when text_count is not positive). *result gets a global reference to the
 * returned object, or NULL on UB_JVM_NO_METHOD and UB_JVM_NULL_RESULT; it is
 * left untouched on UB_JVM_NO_CLASS. */
int ub_JVM_callStaticObjectMethod(JavaVM *jvm, int long_count, const int64_t *longs,
                                  const char *class_name, const char *method_name, int text_count,
                                  char *const *texts, jobject *result) UB_NOEXCEPT;

/* As ub_JVM_callStaticObjectMethod, and when the call fails with a Java
 * exception (the class lookup's, the method lookup's or the one the method
 * threw) *failure gets a malloc'd one-line text of it and its causes, each
 * as its toString() reads ("java.io.IOException: porta em uso"), joined by
 * "; causa: " (caller frees); NULL otherwise. Standard error shows what the
 * plain call shows. A NULL failure makes it the plain call. */
int ub_JVM_callStaticObjectMethodEx(JavaVM *jvm, int long_count, const int64_t *longs,
                                    const char *class_name, const char *method_name, int text_count,
                                    char *const *texts, jobject *result,
                                    char **failure) UB_NOEXCEPT;

/* Calls the static long class_name.method_name(String[]); *result gets the
 * value (0 before the call; what the JVM returns when the method threw). */
int ub_JVM_callStaticInt64Method(JavaVM *jvm, const char *class_name, const char *method_name,
                                 int text_count, char *const *texts, int64_t *result) UB_NOEXCEPT;

/* Calls the static String class_name.method_name(String[]); *result gets a
 * malloc'd UTF-8 copy of the string, or NULL. */
int ub_JVM_callStaticStringMethod(JavaVM *jvm, const char *class_name, const char *method_name,
                                  int text_count, char *const *texts, char **result) UB_NOEXCEPT;

/* Calls the static byte[] class_name.method_name(String[]); *bytes gets a
 * malloc'd copy of length + 1 bytes ending in a zero byte (or NULL), and
 * *length the array's length (only written when the array is delivered). */
int ub_JVM_callStaticBytesMethod(JavaVM *jvm, const char *class_name, const char *method_name,
                                 int text_count, char *const *texts, char **bytes,
                                 uint32_t *length) UB_NOEXCEPT;

/* Constructs class_name through its (long[], String[]) constructor; *result
 * gets a global reference to the new object, or NULL. Missing constructor:
 * "construtor de '<class>' nao encontrado.". */
int ub_JVM_callNewObjectMethod(JavaVM *jvm, int long_count, const int64_t *longs,
                               const char *class_name, int text_count, char *const *texts,
                               jobject *result) UB_NOEXCEPT;

/* Instance variants: the class is that of object, and a missing method
 * prints "metodo '<method>' nao encontrado.". Results as the static ones. */
int ub_JVM_callInt64Method(JavaVM *jvm, jobject object, const char *method_name, int text_count,
                           char *const *texts, int64_t *result) UB_NOEXCEPT;
int ub_JVM_callStringMethod(JavaVM *jvm, jobject object, const char *method_name, int text_count,
                            char *const *texts, char **result) UB_NOEXCEPT;
int ub_JVM_callBytesMethod(JavaVM *jvm, jobject object, const char *method_name, int text_count,
                           char *const *texts, char **bytes, uint32_t *length) UB_NOEXCEPT;

/* Releases a global reference handed out above. Leaves the calling thread
 * attached. NULL object: nothing is released. */
void ub_JVM_unrefObjectMethod(JavaVM *jvm, jobject object) UB_NOEXCEPT;

/* --- Generic native callback and dispatcher calls --- */

/* Body of a JNI native method: converts the three arrays (each may be NULL)
 * as ub_JVM_handler describes, calls handler on this thread and returns its
 * result. A null byte[] element arrives as an empty blob. -1 without
 * calling anything when handler is NULL or memory runs out. Neither
 * attaches nor detaches; receiver is not used. */
int32_t ub_JVM_generic_callback(JNIEnv *env, jobject receiver, jlongArray longs, jobjectArray texts,
                                jobjectArray blobs, ub_JVM_handler handler) UB_NOEXCEPT;

/* Writes "method", operation and then the count texts (the pointers, not
 * copies) into destination, which has count + 2 slots. */
void ub_JVM_fill_params(const char *operation, int count, char *const *texts,
                        char **destination) UB_NOEXCEPT;

/* Calls object.callStringMethod(String[]) with "method", operation and the
 * texts. The malloc'd returned text, or NULL after "Error call
 * callStringMethod <code>" on standard error. */
char *ub_JVM_genericStringMethod(JavaVM *jvm, jobject object, const char *operation, int count,
                                 char *const *texts) UB_NOEXCEPT;

/* Calls object.callBytesMethod(String[]) likewise. The byte count delivered
 * into *bytes (a malloc'd copy with a zero byte after it), or 0 after "Error
 * call callBytesMethod <code>"; *bytes is left as it was when the thread
 * could not attach or the object's class was not found. */
uint32_t ub_JVM_genericBytesMethod(JavaVM *jvm, jobject object, const char *operation, int count,
                                   char *const *texts, char **bytes) UB_NOEXCEPT;

UB_EXTERN_C_END

#endif
