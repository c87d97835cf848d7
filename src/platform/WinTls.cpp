#include "platform/WinTls.h"

#include <pthread.h>

#include "platform/WinBase.h"

namespace {

// pthread keys are small unsigned numbers, so an index is the key itself.
pthread_key_t keyOf(DWORD index) {
    return static_cast<pthread_key_t>(index);
}

} // namespace

DWORD TlsAlloc() {
    pthread_key_t key;
    if (pthread_key_create(&key, nullptr) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return TLS_OUT_OF_INDEXES;
    }
    return static_cast<DWORD>(key);
}

BOOL TlsFree(DWORD index) {
    if (pthread_key_delete(keyOf(index)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

LPVOID TlsGetValue(DWORD index) {
    SetLastError(ERROR_SUCCESS);
    return pthread_getspecific(keyOf(index));
}

BOOL TlsSetValue(DWORD index, LPVOID value) {
    if (pthread_setspecific(keyOf(index), value) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
