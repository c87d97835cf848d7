// A log module for the tests: loading it registers the appender class "krel_test.ModuleAppender"
// in the class registry, as a real log module registers its appenders.
#include <map>
#include <string>

#include "base/AutoRegisterClass.h"
#include "log/ILogAppender.h"

namespace {

// Accepts everything and writes nothing; its text form names its class and its "tag"
// property, so a test can tell it apart from the library's appenders.
class ModuleAppender : public krel_std::ILogAppender,
                       public krel_std::AutoRegisterClass<ModuleAppender> {
public:
    ModuleAppender() : ILogAppender(nullptr, nullptr) {}

    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override {
        ModuleAppender* created = new ModuleAppender();
        const auto tag = properties.find(L"tag");
        if (tag != properties.end()) {
            created->tag = tag->second;
        }
        return created;
    }

    std::wstring getClassName() const override { return L"krel_test.ModuleAppender"; }
    std::wstring toString() const override { return L"ModuleAppender{tag='" + tag + L"'}"; }

protected:
    void localAppend(const krel_std::LogEvent&) override {}
    void localAppend(const std::wstring&) override {}

private:
    std::wstring tag;
};

__attribute__((constructor)) void registerModuleClasses() {
    krel_std::AutoRegisterClass<ModuleAppender>::registerClass();
}

} // namespace

// An exported function whose address the loader tests fetch by name.
extern "C" int krelTestModuleAnswer() {
    return 42;
}
