#include "thread/KrelCond.h"

#include "platform/WinSync.h"

namespace KrelStd {

KrelCond::KrelCond() : m_hEvent(nullptr), m_hLock(nullptr) {}

KrelCond::~KrelCond() {}

void KrelCond::Create() {
    m_hEvent = CreateEventW(nullptr, TRUE, FALSE, L"");
    m_hLock = CreateMutexW(nullptr, FALSE, L"");
}

void KrelCond::Destroy() {
    if (m_hEvent != nullptr) {
        CloseHandle(m_hEvent);
        m_hEvent = nullptr;
    }
    if (m_hLock != nullptr) {
        CloseHandle(m_hLock);
        m_hLock = nullptr;
    }
}

// The internal mutex is taken before the caller's is released and given up only together with
// the start of the wait, and Signal pulses under it: no Signal falls between the two.
void KrelCond::Wait(KrelMutex& m) {
    if (m_hEvent == nullptr || m_hLock == nullptr) {
        return;
    }
    WaitForSingleObject(m_hLock, INFINITE);
    m.UnLock();
    SignalObjectAndWait(m_hLock, m_hEvent, INFINITE, FALSE);
    m.Lock();
}

void KrelCond::Signal() {
    if (m_hEvent == nullptr || m_hLock == nullptr) {
        return;
    }
    WaitForSingleObject(m_hLock, INFINITE);
    PulseEvent(m_hEvent);
    ReleaseMutex(m_hLock);
}

} // namespace KrelStd
