// The older API's wrapper of a Windows mutex.
#pragma once

#include "platform/WinTypes.h"

namespace KrelStd {

class KrelCond;

// A thin wrapper of a Windows mutex, without time-outs and without exceptions. It is empty
// until Create; every operation on an empty wrapper does nothing. Copies share the handle.
class KrelMutex {
public:
    KrelMutex();
    ~KrelMutex();

    // A new unnamed mutex that nobody owns.
    void Create();
    // Closes the handle and empties the wrapper.
    void Destroy();
    // Waits without time limit until the calling thread owns the mutex (recursively).
    void Lock() const;
    void UnLock() const;

private:
    friend class KrelCond;

    HANDLE m_hMutex;
};

} // namespace KrelStd
