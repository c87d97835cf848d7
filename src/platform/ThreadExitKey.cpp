#include "platform/ThreadExitKey.h"

namespace krel_platform {

ThreadExitKey::ThreadExitKey(Release release)
    : key(), made(pthread_key_create(&key, release) == 0) {}

bool ThreadExitKey::attach(void* value) {
    return made && pthread_setspecific(key, value) == 0;
}

void ThreadExitKey::detach() {
    if (made) {
        pthread_setspecific(key, nullptr);
    }
}

} // namespace krel_platform
