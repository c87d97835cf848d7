#include "log/LogThreadState.h"

#include <new>
#include <pthread.h>

#include "log/HotThreadLocal.h"

namespace krel_std_internal {

namespace {

// A plain pointer, so the thread has nothing to destroy; the key made in make() frees the state
// when the thread ends.
KREL_HOT_THREAD_LOCAL LogThreadState* currentState = nullptr;

} // namespace

LogThreadState* LogThreadState::current() {
    LogThreadState* state = currentState;
    return state != nullptr ? state : make();
}

LogThreadState* LogThreadState::make() {
    static pthread_key_t key;
    static const bool keyMade = pthread_key_create(&key, &release) == 0;
    if (!keyMade) {
        return nullptr;
    }
    LogThreadState* state = new (std::nothrow) LogThreadState;
    if (state == nullptr) {
        return nullptr;
    }
    if (pthread_setspecific(key, state) != 0) {
        delete state;
        return nullptr;
    }
    currentState = state;
    return state;
}

void LogThreadState::release(void* state) {
    currentState = nullptr;
    delete static_cast<LogThreadState*>(state);
}

} // namespace krel_std_internal
