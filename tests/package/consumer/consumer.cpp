// Uses the installed library through its installed headers: the load hook registered the
// paths provider, system properties keep what is set, and the JDK's headers are on the path.
#include <jni.h>

#include <iostream>

#include "base/Class.h"
#include "log/StaticLog.h"
#include "system/KrelSystem.h"
#include "system/Paths.h"

int main() {
    static_assert(sizeof(jint) == 4, "the JDK's jni.h");
    krel_std::KrelSystem::getInstance().setProperty(L"consumer", L"installed");
    const bool property =
        krel_std::KrelSystem::getInstance().getProperty(L"consumer", L"") == L"installed";
    const bool paths =
        krel_std::Class::getInstance().getObject<krel_std::Paths>(L"krel_std.Paths") != nullptr;
    krel_std::StaticLog::log(krel_std::LogEventPriority::INFO, L"main", L"consumer runs",
                             L"Consumer", L"", 0, L"", 0);
    if (!property || !paths) {
        std::cerr << "property " << property << ", paths " << paths << std::endl;
        return 1;
    }
    std::cout << "consumer ok" << std::endl;
    return 0;
}
