// Events, mutexes, waits and critical sections of the Windows API stand-in.
//
// Events and mutexes are kernel objects in the handle table (platform/WinHandles.h); waits
// sleep in poll() on their descriptors. A name makes an object that later creations with the
// same name within this process share (ERROR_ALREADY_EXISTS). Event names also reach other
// processes of the same user: the first creator holds the name while it has a handle of the
// event, and a creator in another process gets ERROR_ALREADY_EXISTS and a handle whose sets,
// resets and waits act on the holder's event. Mutex names stay within the process.
#pragma once

#include <pthread.h>

#include "platform/WinError.h"
#include "platform/WinHandles.h"
#include "platform/WinTypes.h"

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// A new event, manual-reset or auto-reset, or null (ERROR_NOT_ENOUGH_MEMORY when the system has
// no descriptor left; ERROR_INVALID_HANDLE when the name belongs to an object of another kind;
// ERROR_ACCESS_DENIED when another user's process holds the name; ERROR_TIMEOUT when its holder
// does not answer).
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES eventAttributes, BOOL manualReset, BOOL initialState,
                    LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
// Releases the threads waiting now (manual-reset) or one of them (auto-reset) and leaves the
// event not signalled; a thread that starts waiting afterwards misses the pulse.
BOOL PulseEvent(HANDLE event);

// A new mutex, owned by the calling thread when initialOwner is TRUE; null as for CreateEventW.
HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES mutexAttributes, BOOL initialOwner, LPCWSTR name);
// FALSE with ERROR_NOT_OWNER when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE mutex);

// WAIT_OBJECT_0 when the object was signalled (and taken, for auto-reset events and mutexes),
// WAIT_ABANDONED_0 when it is a mutex whose owner ended without releasing it (the caller owns
// it now), WAIT_TIMEOUT, or WAIT_FAILED (ERROR_INVALID_HANDLE).
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);

// For any object: WAIT_OBJECT_0 + the lowest index of a signalled object (only that one is
// taken). For all objects: WAIT_OBJECT_0 once all are signalled at the same moment (all are
// taken together, none before). WAIT_ABANDONED_0 + the index of an abandoned mutex when the
// wait took one. WAIT_TIMEOUT when the time-out passes first. WAIT_FAILED with
// ERROR_INVALID_PARAMETER for 0 or more than MAXIMUM_WAIT_OBJECTS handles, no array, or one
// object named twice in a wait for all; with ERROR_INVALID_HANDLE for an unknown handle.
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

// Signals one object (releases a mutex, sets an event) and waits on another as one step: a
// pulse of the awaited event after the signal is not missed. Alertable waits are not supported.
DWORD SignalObjectAndWait(HANDLE objectToSignal, HANDLE objectToWaitOn, DWORD milliseconds,
                          BOOL alertable);

// A critical section: a recursive lock of the threads of this process.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
