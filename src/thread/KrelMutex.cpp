#include "thread/KrelMutex.h"

#include "platform/WinSync.h"

namespace KrelStd {

KrelMutex::KrelMutex() : m_hMutex(nullptr) {}

KrelMutex::~KrelMutex() {}

void KrelMutex::Create() {
    m_hMutex = CreateMutexW(nullptr, FALSE, L"");
}

void KrelMutex::Destroy() {
    if (m_hMutex != nullptr) {
        CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
}

void KrelMutex::Lock() const {
    if (m_hMutex != nullptr) {
        WaitForSingleObject(m_hMutex, INFINITE);
    }
}

void KrelMutex::UnLock() const {
    if (m_hMutex != nullptr) {
        ReleaseMutex(m_hMutex);
    }
}

} // namespace KrelStd
