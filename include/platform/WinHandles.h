// The kernel-object handle table of the Windows API stand-in.
//
// A HANDLE names one entry of a process-wide table; the entry holds a reference to a kernel
// object. Each kind of object (events, mutexes, and later change notifications, processes and
// registry notifications) derives from krel_platform::KernelObject and enters itself with
// insertHandle. A wait holds its own references, so an object whose handle is closed while
// another thread waits on it lives until that wait returns.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/WinError.h"
#include "platform/WinTypes.h"

// Removes the handle from the table; the object goes when its last reference does. An unknown
// handle answers FALSE with ERROR_INVALID_HANDLE.
BOOL CloseHandle(HANDLE object);

namespace krel_platform {

class KernelObject;

// One thread's part in a wait. Kinds that release waiters without becoming signalled (a pulsed
// event) mark the waiting contexts and wake them through their descriptor. Every member is used
// with kernelStateMutex() held, except wakeDescriptor and drain.
class WaitContext {
public:
    WaitContext();
    WaitContext(const WaitContext&) = delete;
    WaitContext& operator=(const WaitContext&) = delete;

    DWORD getThreadId() const { return threadId; }
    // Readable after markReleased; poll() watches it beside the objects' descriptors.
    int wakeDescriptor() const { return descriptor; }
    // Empties the wake descriptor.
    void drain() const;
    // Makes the waiting thread test its objects again, without releasing it (an object that
    // another thread found signalled on its behalf).
    void wake() const;

    void markReleased(const KernelObject* object);
    bool wasReleased(const KernelObject* object) const;
    void clearReleased() { released.clear(); }

private:
    DWORD threadId;
    int descriptor;
    std::vector<const KernelObject*> released;
};

// Base of every kind of object a HANDLE names. The state operations are called with
// kernelStateMutex() held, so a wait can test and take several objects as one step.
class KernelObject {
public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject();

    // A descriptor that becomes readable when the object may have become signalled, or -1 for
    // objects that cannot be waited on.
    virtual int waitDescriptor() const;
    // Whether a wait of the given thread would be satisfied by the object now.
    virtual bool isSignaledFor(DWORD threadId) const;
    // Whether taking the object now reports it abandoned (a mutex whose owner ended without
    // releasing it); acquire clears it.
    virtual bool isAbandoned() const;
    // Takes the object for a wait it satisfied (an auto-reset event clears itself, a mutex
    // becomes owned).
    virtual void acquire(DWORD threadId);
    // Called around a wait, for kinds that release waiters directly.
    virtual void addWaiter(WaitContext& context);
    virtual void removeWaiter(WaitContext& context);
};

// Enters the object and answers its new handle (never null, never INVALID_HANDLE_VALUE).
HANDLE insertHandle(const std::shared_ptr<KernelObject>& object);

// The object a handle names, or an empty pointer.
std::shared_ptr<KernelObject> referenceHandle(HANDLE handle);

// The object a handle names when it is of kind T, or an empty pointer.
template <typename T> std::shared_ptr<T> referenceHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(referenceHandle(handle));
}

// Removes the handle; false when the table does not hold it.
bool removeHandle(HANDLE handle);

// Closes the calling thread's wake descriptor, which a later wait makes anew. A thread that
// ends without calling it has it closed at its exit.
void releaseThreadWakeDescriptor();

// Guards the state of every kernel object; never destroyed.
std::mutex& kernelStateMutex();

} // namespace krel_platform
