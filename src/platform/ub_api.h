#ifndef PLATFORM_UB_API_H
#define PLATFORM_UB_API_H
/* Macros shared by every public header: C linkage, the no-throw promise of
 * the C API, and the calling convention of the few Windows exports. */

#ifdef __cplusplus
#define UB_EXTERN_C_BEGIN extern "C" {
#define UB_EXTERN_C_END }
#define UB_NOEXCEPT noexcept
#else
#define UB_EXTERN_C_BEGIN
#define UB_EXTERN_C_END
#define UB_NOEXCEPT
#endif

/* Entries exported from the executable for modules loaded into the process;
 * on Windows with the stdcall convention and its decorated name (name@bytes).
 * Written as: UB_EXPORT int UB_STDCALL name(...). */
#if defined(_WIN32)
#define UB_EXPORT __declspec(dllexport)
#define UB_STDCALL __stdcall
#else
#define UB_EXPORT __attribute__((visibility("default")))
#define UB_STDCALL
#endif

/* Lets the compiler check printf-style formats and their arguments. */
#if defined(__GNUC__)
#define UB_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#else
#define UB_PRINTF(format_index, first_arg)
#endif

#endif
