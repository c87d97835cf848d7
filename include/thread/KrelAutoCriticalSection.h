// The older API's owner of a critical section that copies share.
#pragma once

#include <boost/shared_ptr.hpp>

#include "thread/KrelCriticalSection.h"

namespace KrelStd {

// Owns a critical section for its lifetime: made by the constructor, destroyed when the last
// of the objects that share it goes. Copies share the section without making one. It neither
// enters nor leaves the section itself.
class KrelAutoCriticalSection {
public:
    KrelAutoCriticalSection();
    KrelAutoCriticalSection(const KrelAutoCriticalSection& other);
    KrelAutoCriticalSection& operator=(const KrelAutoCriticalSection& other);
    virtual ~KrelAutoCriticalSection();

    const KrelCriticalSection& GetCriticalSection() const { return m_CriticalSection; }

private:
    KrelCriticalSection m_CriticalSection;
    // Destroys the section when the last sharer lets it go.
    boost::shared_ptr<KrelCriticalSection> m_Keeper;
};

} // namespace KrelStd
