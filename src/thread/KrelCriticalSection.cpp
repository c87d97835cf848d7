#include "thread/KrelCriticalSection.h"

namespace KrelStd {

KrelCriticalSection::KrelCriticalSection() : m_pSection(nullptr) {}

KrelCriticalSection::~KrelCriticalSection() {}

void KrelCriticalSection::Create() {
    if (m_pSection == nullptr) {
        m_pSection = new CRITICAL_SECTION;
        InitializeCriticalSection(m_pSection);
    }
}

void KrelCriticalSection::Destroy() {
    if (m_pSection != nullptr) {
        DeleteCriticalSection(m_pSection);
        delete m_pSection;
        m_pSection = nullptr;
    }
}

void KrelCriticalSection::Enter() const {
    if (m_pSection != nullptr) {
        EnterCriticalSection(m_pSection);
    }
}

void KrelCriticalSection::Leave() const {
    if (m_pSection != nullptr) {
        LeaveCriticalSection(m_pSection);
    }
}

} // namespace KrelStd
