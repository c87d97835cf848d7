// The small crossings between native text and Java objects that every JNI native uses. Each
// function works on the calling thread's JNIEnv and throws no library exception: what fails on
// the Java side is left pending in the VM for the caller to return to Java with. The VM handles
// its own faults while they run: a library thread's fault translation is off for each call.
#pragma once

#include <jni.h>
#include <string>
#include <vector>

namespace krel_std {

// The text of a Java string (UTF-16 read as it is, lone surrogates kept); a null string reads
// as the empty text. Deletes the caller's local reference to the string, so a native converts
// each string argument once.
std::wstring getJniString(JNIEnv* env, jstring str);

// Re-initialises the caller's java.lang.Boolean object to `value`. The shared Boolean.TRUE and
// Boolean.FALSE (and null) are left alone: changing them would change every autoboxed flag of
// the VM. Any other class of object gets an IllegalArgumentException pending.
void setBoolean(JNIEnv* env, jobject booleanObject, bool value);

// A new java.lang.String[] holding the texts in order; null with the VM's error pending when
// the array or a string cannot be made.
jobjectArray newJniStringArray(JNIEnv* env, const std::vector<std::wstring>& list);

// Raises a Java exception of the class named in JNI form ("java/lang/IllegalStateException")
// with the message. With `log` the message is traced at DEBUG first (as data: "%" prints as it
// is). When the class or its (String) constructor cannot be found, the VM's own error is left
// pending instead.
void throwException(JNIEnv* env, const char* className, const std::wstring& message, bool log);

// throwException of java/lang/Exception, RuntimeException, IllegalArgumentException,
// IllegalStateException and SecurityException.
void throwException(JNIEnv* env, const std::wstring& message, bool log);
void throwRuntimeException(JNIEnv* env, const std::wstring& message, bool log);
void throwIllegalArgumentException(JNIEnv* env, const std::wstring& message, bool log);
void throwIllegalStateException(JNIEnv* env, const std::wstring& message, bool log);
void throwSecurityException(JNIEnv* env, const std::wstring& message, bool log);

} // namespace krel_std
