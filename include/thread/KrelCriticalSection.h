// The older API's wrapper of a Windows critical section.
#pragma once

#include "platform/WinSync.h"

namespace KrelStd {

// A thin wrapper of a Windows critical section that it allocates. Empty until Create; every
// operation on an empty wrapper does nothing. Copies refer to the same section.
class KrelCriticalSection {
public:
    KrelCriticalSection();
    ~KrelCriticalSection();

    // Allocates and initialises a section unless the wrapper already has one.
    void Create();
    // Deletes and frees the section and empties the wrapper.
    void Destroy();
    void Enter() const;
    void Leave() const;

private:
    CRITICAL_SECTION* m_pSection;
};

} // namespace KrelStd
