// JNIReference, the owner of one JNI reference, deleted when the owner lets it go.
#pragma once

#include <cstdint>
#include <jni.h>

namespace krel_std_internal {

// Deletes a reference of the given kind (0 global, 1 weak global, 2 local) through the calling
// thread's environment of the process's VM; nothing without a VM, an environment or a known
// kind.
void deleteJniReference(jobject reference, int32_t kind);

} // namespace krel_std_internal

namespace krel_std {

// The owner of one JNI reference (a jobject or any of its subtypes: jstring, jclass,
// jthrowable...), deleted through the calling thread's environment of the process's VM when
// the owner lets it go. A local reference must be let go on the thread that made it.
template <typename T> class JNIReference {
public:
    // The kinds of reference, as JNI deletes them.
    static constexpr int32_t GLOBAL = 0;
    static constexpr int32_t WEAK_GLOBAL = 1;
    static constexpr int32_t LOCAL = 2;

    explicit JNIReference(T held = nullptr, int32_t heldKind = LOCAL)
        : kind(heldKind), reference(held) {}
    JNIReference(const JNIReference&) = delete;
    JNIReference& operator=(const JNIReference&) = delete;
    JNIReference(JNIReference&& other) noexcept : kind(other.kind), reference(other.reference) {
        other.kind = LOCAL;
        other.reference = nullptr;
    }
    JNIReference& operator=(JNIReference&& other) {
        if (this != &other) {
            reset(other.reference, other.kind);
            other.kind = LOCAL;
            other.reference = nullptr;
        }
        return *this;
    }
    virtual ~JNIReference() { release(); }

    T get() const { return reference; }
    int32_t getKind() const { return kind; }
    // Whether a reference is held.
    bool isValid() const { return reference != nullptr; }

    // Lets the held reference go, then holds `newReference`.
    void reset(T newReference = nullptr, int32_t newKind = LOCAL) {
        release();
        reference = newReference;
        kind = newKind;
    }

    // Deletes the held reference by its kind; nothing is deleted without a VM, without an
    // environment for the calling thread or for an unknown kind. Afterwards the owner is empty
    // (a null local reference).
    void release() {
        if (reference != nullptr) {
            krel_std_internal::deleteJniReference(reference, kind);
        }
        reference = nullptr;
        kind = LOCAL;
    }

private:
    int32_t kind;
    T reference;
};

} // namespace krel_std
