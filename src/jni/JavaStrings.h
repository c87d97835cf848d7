// Internal: Java strings to and from the library's wide text, as UTF-16.
#pragma once

#include <jni.h>
#include <string>

namespace krel_std_internal {

// Raises java.lang.OutOfMemoryError with the message (for a size that JNI cannot count).
void throwOutOfMemory(JNIEnv* env, const char* message);

// A new Java string of the text (UTF-16 of its full length, surrogate pairs split); null with
// the VM's error pending when it cannot be made.
jstring newJavaString(JNIEnv* env, const std::wstring& text);

// The text of a Java string by its UTF-16 units; empty for null, and empty when the VM cannot
// hand out the characters (its error is then cleared). The caller keeps its reference.
std::wstring javaText(JNIEnv* env, jstring text);

} // namespace krel_std_internal
