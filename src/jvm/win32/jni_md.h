/* Machine-dependent JNI types for Windows, used with the JDK's jni.h when
 * building for Windows on a machine without a Windows JDK. */
#ifndef JVM_WIN32_JNI_MD_H
#define JVM_WIN32_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

/* A Java int is a 32-bit long on Windows, 32- and 64-bit alike. */
typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif
