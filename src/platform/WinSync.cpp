#include "platform/WinSync.h"

#include <cerrno>
#include <map>
#include <string>

#include "platform/CancellationOff.h"
#include "platform/EventNameServer.h"
#include "platform/HandleWait.h"
#include "platform/KernelEvent.h"
#include "platform/KernelMutex.h"
#include "platform/RemoteEvent.h"
#include "platform/WinBase.h"

namespace {

using krel_platform::KernelEvent;
using krel_platform::KernelMutex;
using krel_platform::KernelObject;

// Objects made with a name, so that a second creation with that name shares the first object.
class NamedObjects {
public:
    std::mutex mutex;
    std::map<std::wstring, std::weak_ptr<KernelObject>> objects;
};

NamedObjects& namedObjects() {
    static NamedObjects& named = *new NamedObjects;
    return named;
}

DWORD creationError() {
    switch (errno) {
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
    case ENOBUFS:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EACCES:
        return ERROR_ACCESS_DENIED;
    case ETIMEDOUT:
        return ERROR_TIMEOUT;
    default:
        return ERROR_GEN_FAILURE;
    }
}

template <typename T, typename Factory> HANDLE createUnnamed(Factory factory) {
    std::shared_ptr<T> object = factory();
    if (!object) {
        SetLastError(creationError());
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return krel_platform::insertHandle(object);
}

template <typename T, typename Factory> HANDLE createObject(LPCWSTR name, Factory factory) {
    if (name == nullptr || *name == L'\0') {
        return createUnnamed<T>(factory);
    }
    NamedObjects& named = namedObjects();
    std::lock_guard<std::mutex> guard(named.mutex);
    std::shared_ptr<KernelObject> existing = named.objects[name].lock();
    if (!existing) {
        HANDLE handle = createUnnamed<T>(factory);
        if (handle != nullptr) {
            named.objects[name] = krel_platform::referenceHandle(handle);
        }
        return handle;
    }
    if (!std::dynamic_pointer_cast<T>(existing)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HANDLE handle = krel_platform::insertHandle(existing);
    SetLastError(ERROR_ALREADY_EXISTS);
    return handle;
}

// An event of a name: shared within this process through the table of names, and across
// processes through the name's holder.
HANDLE createNamedEvent(LPCWSTR name, bool manualReset, bool initialState) {
    NamedObjects& named = namedObjects();
    std::lock_guard<std::mutex> guard(named.mutex);
    std::shared_ptr<KernelObject> existing = named.objects[name].lock();
    if (existing) {
        if (!std::dynamic_pointer_cast<KernelEvent>(existing) &&
            !std::dynamic_pointer_cast<krel_platform::RemoteEvent>(existing)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        HANDLE handle = krel_platform::insertHandle(existing);
        SetLastError(ERROR_ALREADY_EXISTS);
        return handle;
    }
    bool alreadyExists = false;
    std::shared_ptr<KernelObject> object =
        krel_platform::createNamedEvent(name, manualReset, initialState, alreadyExists);
    if (!object) {
        SetLastError(creationError());
        return nullptr;
    }
    named.objects[name] = object;
    HANDLE handle = krel_platform::insertHandle(object);
    SetLastError(alreadyExists ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

// Runs an operation on the event a handle names, under the state mutex; an event whose name
// another process holds has the holder carry out the command instead.
template <typename Operation>
BOOL withEvent(HANDLE handle, char remoteCommand, Operation operation) {
    krel_platform::CancellationOff cancellationOff;
    std::shared_ptr<KernelObject> object = krel_platform::referenceHandle(handle);
    if (auto remote = std::dynamic_pointer_cast<krel_platform::RemoteEvent>(object)) {
        DWORD error = remote->request(remoteCommand);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
        return TRUE;
    }
    std::shared_ptr<KernelEvent> event = std::dynamic_pointer_cast<KernelEvent>(object);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(krel_platform::kernelStateMutex());
    operation(*event);
    return TRUE;
}

DWORD waitFailed(DWORD error) {
    SetLastError(error);
    return WAIT_FAILED;
}

bool hasDuplicates(const std::vector<std::shared_ptr<KernelObject>>& objects) {
    for (size_t i = 0; i < objects.size(); ++i) {
        for (size_t j = i + 1; j < objects.size(); ++j) {
            if (objects[i] == objects[j]) {
                return true;
            }
        }
    }
    return false;
}

// Releases a mutex or sets an event; anything else fails.
DWORD signalObject(HANDLE handle) {
    krel_platform::CancellationOff cancellationOff;
    std::shared_ptr<KernelObject> object = krel_platform::referenceHandle(handle);
    if (auto remote = std::dynamic_pointer_cast<krel_platform::RemoteEvent>(object)) {
        return remote->request('S');
    }
    std::lock_guard<std::mutex> guard(krel_platform::kernelStateMutex());
    if (auto mutex = std::dynamic_pointer_cast<KernelMutex>(object)) {
        return mutex->release(GetCurrentThreadId()) ? ERROR_SUCCESS : ERROR_NOT_OWNER;
    }
    if (auto event = std::dynamic_pointer_cast<KernelEvent>(object)) {
        event->set();
        return ERROR_SUCCESS;
    }
    return ERROR_INVALID_HANDLE;
}

} // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    krel_platform::CancellationOff cancellationOff;
    if (name != nullptr && *name != L'\0') {
        return createNamedEvent(name, manualReset != FALSE, initialState != FALSE);
    }
    return createUnnamed<KernelEvent>(
        [=] { return KernelEvent::create(manualReset != FALSE, initialState != FALSE); });
}

BOOL SetEvent(HANDLE event) {
    return withEvent(event, 'S', [](KernelEvent& e) { e.set(); });
}

BOOL ResetEvent(HANDLE event) {
    return withEvent(event, 'R', [](KernelEvent& e) { e.reset(); });
}

BOOL PulseEvent(HANDLE event) {
    return withEvent(event, 'P', [](KernelEvent& e) { e.pulse(); });
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCWSTR name) {
    krel_platform::CancellationOff cancellationOff;
    return createObject<KernelMutex>(name,
                                     [=] { return KernelMutex::create(initialOwner != FALSE); });
}

BOOL ReleaseMutex(HANDLE mutex) {
    krel_platform::CancellationOff cancellationOff;
    std::shared_ptr<KernelMutex> object = krel_platform::referenceHandleAs<KernelMutex>(mutex);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(krel_platform::kernelStateMutex());
    if (!object->release(GetCurrentThreadId())) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return WaitForMultipleObjects(1, &handle, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    krel_platform::CancellationOff cancellationOff;
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        return waitFailed(ERROR_INVALID_PARAMETER);
    }
    std::vector<std::shared_ptr<KernelObject>> objects;
    for (DWORD index = 0; index < count; ++index) {
        std::shared_ptr<KernelObject> object = krel_platform::referenceHandle(handles[index]);
        if (!object) {
            return waitFailed(ERROR_INVALID_HANDLE);
        }
        objects.push_back(object);
    }
    if (waitAll && hasDuplicates(objects)) {
        return waitFailed(ERROR_INVALID_PARAMETER);
    }
    krel_platform::HandleWait wait(objects, waitAll != FALSE);
    return wait.wait(milliseconds, cancellationOff.callerState());
}

DWORD SignalObjectAndWait(HANDLE objectToSignal, HANDLE objectToWaitOn, DWORD milliseconds, BOOL) {
    krel_platform::CancellationOff cancellationOff;
    std::shared_ptr<KernelObject> awaited = krel_platform::referenceHandle(objectToWaitOn);
    if (!awaited) {
        return waitFailed(ERROR_INVALID_HANDLE);
    }
    krel_platform::HandleWait wait({awaited}, false);
    DWORD error = signalObject(objectToSignal);
    if (error != ERROR_SUCCESS) {
        return waitFailed(error);
    }
    return wait.wait(milliseconds, cancellationOff.callerState());
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_lock(&section->mutex);
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
    return pthread_mutex_trylock(&section->mutex) == 0 ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_unlock(&section->mutex);
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    pthread_mutex_destroy(&section->mutex);
}
