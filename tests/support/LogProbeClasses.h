// An appender and a filter that the tests register in the class registry, so that the appender
// factory can build them by name and the tests can see what they were given.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "base/AutoRegisterClass.h"
#include "exception/KrelIllegalArgumentException.h"
#include "log/ILogAppender.h"
#include "log/ILogEventFilter.h"

namespace krel_test {

using PropertyMap = std::map<std::wstring, std::wstring>;

/// Every event a probe appender writes, as "<tag>:<message>", in the order written.
class ProbeJournal {
public:
    static void add(const std::wstring& entry) {
        std::lock_guard<std::mutex> guard(mutex());
        entries().push_back(entry);
    }
    static std::vector<std::wstring> get() {
        std::lock_guard<std::mutex> guard(mutex());
        return entries();
    }

private:
    static std::mutex& mutex() {
        static std::mutex& lock = *new std::mutex;
        return lock;
    }
    static std::vector<std::wstring>& entries() {
        static std::vector<std::wstring>& list = *new std::vector<std::wstring>;
        return list;
    }
};

/// Keeps the properties it was built from and every setProperty call; writes the events it is
/// given (without a layout) to the journal, tagged with its property "tag". The property
/// "fail" set to "yes" makes the build fail; a setProperty of the key "explode" is refused
/// with KrelIllegalArgumentException.
class ProbeAppender : public krel_std::ILogAppender,
                      public krel_std::AutoRegisterClass<ProbeAppender> {
public:
    ProbeAppender() : ILogAppender(nullptr, nullptr) {}

    Configurable* newInstance(const PropertyMap& given) override {
        const auto fail = given.find(L"fail");
        if (fail != given.end() && fail->second == L"yes") {
            throw krel_std::KrelIllegalArgumentException(L"probe refused to build");
        }
        ProbeAppender* created = new ProbeAppender();
        created->properties = given;
        return created;
    }

    void setProperty(const std::wstring& key, const std::wstring& value) override {
        if (key == L"explode") {
            throw krel_std::KrelIllegalArgumentException(L"probe refused " + value);
        }
        std::lock_guard<std::mutex> guard(mutex);
        changes.emplace_back(key, value);
    }

    std::wstring getClassName() const override { return L"krel_test.ProbeAppender"; }

    const boost::shared_ptr<krel_std::ILogEventFilter>& getFilter() const { return filter; }
    const boost::shared_ptr<krel_std::ILogEventLayout>& getLayout() const { return layout; }

    std::vector<std::pair<std::wstring, std::wstring>> getChanges() {
        std::lock_guard<std::mutex> guard(mutex);
        return changes;
    }

    PropertyMap properties;

protected:
    void localAppend(const krel_std::LogEvent& event) override {
        const auto tag = properties.find(L"tag");
        ProbeJournal::add((tag != properties.end() ? tag->second : L"") + L":" + event.message);
    }
    void localAppend(const std::wstring&) override {}

private:
    std::mutex mutex;
    std::vector<std::pair<std::wstring, std::wstring>> changes;
};

/// Accepts every event and keeps the properties it was built from.
class ProbeFilter : public krel_std::ILogEventFilter,
                    public krel_std::AutoRegisterClass<ProbeFilter> {
public:
    Configurable* newInstance(const PropertyMap& given) override {
        ProbeFilter* created = new ProbeFilter();
        created->properties = given;
        return created;
    }
    FilterDecision decide(const krel_std::LogEvent&) override { return ACCEPT; }
    std::wstring getClassName() const override { return L"krel_test.ProbeFilter"; }

    PropertyMap properties;
};

/// Registers both probes once; later calls find them registered.
inline void registerLogProbes() {
    krel_std::AutoRegisterClass<ProbeAppender>::registerClass();
    krel_std::AutoRegisterClass<ProbeFilter>::registerClass();
}

/// The directory of the test helpers, where the test log module lies.
inline std::string helpersDirectory() {
    char buffer[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    const std::string self(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return self.substr(0, self.find_last_of('/')) + "/helpers";
}

} // namespace krel_test
