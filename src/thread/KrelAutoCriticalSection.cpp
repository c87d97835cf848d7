#include "thread/KrelAutoCriticalSection.h"

namespace KrelStd {

namespace {

void destroySection(KrelCriticalSection* section) {
    section->Destroy();
    delete section;
}

} // namespace

KrelAutoCriticalSection::KrelAutoCriticalSection() {
    m_CriticalSection.Create();
    m_Keeper.reset(new KrelCriticalSection(m_CriticalSection), &destroySection);
}

KrelAutoCriticalSection::KrelAutoCriticalSection(const KrelAutoCriticalSection& other)
    : m_CriticalSection(other.m_CriticalSection), m_Keeper(other.m_Keeper) {}

KrelAutoCriticalSection& KrelAutoCriticalSection::operator=(const KrelAutoCriticalSection& other) {
    m_CriticalSection = other.m_CriticalSection;
    m_Keeper = other.m_Keeper;
    return *this;
}

KrelAutoCriticalSection::~KrelAutoCriticalSection() {}

} // namespace KrelStd
