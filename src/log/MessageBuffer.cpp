#include "log/MessageBuffer.h"

#include "log/HotThreadLocal.h"

#include <new>
#include <pthread.h>

namespace krel_std_internal {

// A buffer this large is not kept: one huge message must not pin its memory.
constexpr std::size_t kLargestKeptMessage = 16384;

struct MessageBuffer::ThreadBuffer {
    std::wstring text;
    bool lent = false;
};

namespace {

// The thread's buffer: a plain pointer, so the thread has nothing to destroy; the key below
// frees the buffer when the thread ends.
KREL_HOT_THREAD_LOCAL void* currentBuffer = nullptr;

} // namespace

MessageBuffer::MessageBuffer() : target(&own), lent(nullptr) {
    ThreadBuffer* buffer = threadBuffer();
    if (buffer != nullptr && !buffer->lent) {
        buffer->lent = true;
        buffer->text.clear();
        target = &buffer->text;
        lent = buffer;
    }
}

MessageBuffer::~MessageBuffer() {
    if (lent != nullptr) {
        if (lent->text.capacity() > kLargestKeptMessage) {
            std::wstring().swap(lent->text);
        }
        lent->lent = false;
    }
}

// Null when the thread's buffer cannot be made; the caller then uses a buffer of its own.
MessageBuffer::ThreadBuffer* MessageBuffer::threadBuffer() {
    if (currentBuffer != nullptr) {
        return static_cast<ThreadBuffer*>(currentBuffer);
    }
    static pthread_key_t key;
    static const bool keyMade = pthread_key_create(&key, &releaseThreadBuffer) == 0;
    if (!keyMade) {
        return nullptr;
    }
    ThreadBuffer* buffer = new (std::nothrow) ThreadBuffer;
    if (buffer == nullptr) {
        return nullptr;
    }
    if (pthread_setspecific(key, buffer) != 0) {
        delete buffer;
        return nullptr;
    }
    currentBuffer = buffer;
    return buffer;
}

void MessageBuffer::releaseThreadBuffer(void* buffer) {
    currentBuffer = nullptr;
    delete static_cast<ThreadBuffer*>(buffer);
}

} // namespace krel_std_internal
