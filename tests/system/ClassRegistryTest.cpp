#include <atomic>
#include <boost/shared_ptr.hpp>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/AutoRegisterClass.h"
#include "base/Class.h"
#include "base/Configurable.h"
#include "exception/KrelIllegalArgumentException.h"
#include "log/ILogAppender.h"
#include "log/ILogEventFilter.h"
#include "log/ILogEventLayout.h"

using krel_std::Class;
using krel_std::KrelIllegalArgumentException;
using krel_std::Object;

namespace {

// An interface of the kind registered classes implement, built from properties.
class IGreeter : public krel_std::Configurable {
public:
    virtual std::wstring greet() const = 0;
};

class Greeter : public IGreeter, public krel_std::AutoRegisterClass<Greeter> {
public:
    Greeter() = default;
    explicit Greeter(std::wstring greeting) : greeting(std::move(greeting)) {}

    Configurable* newInstance(const std::map<std::wstring, std::wstring>& properties) override {
        const auto found = properties.find(L"greeting");
        return new Greeter(found != properties.end() ? found->second : L"hello");
    }
    std::wstring greet() const override { return greeting; }
    std::wstring getClassName() const override { return L"krel_test.Greeter"; }

private:
    std::wstring greeting = L"prototype";
};

// A greeter as the registry holds it: through its registrable base, one of its two Objects.
boost::shared_ptr<Object> makeGreeter(const std::wstring& greeting) {
    return boost::shared_ptr<krel_std::AutoRegisterClass<Greeter>>(new Greeter(greeting));
}

// A plain registered object that implements no interface.
class Plain : public Object {};

std::wstring uniqueName(const std::wstring& stem) {
    static std::atomic<int> counter{0};
    return L"krel_test." + stem + std::to_wstring(++counter);
}

std::wstring messageOfRegistration(const std::wstring& name,
                                   const boost::shared_ptr<Object>& prototype) {
    try {
        Class::getInstance().registerClass(name, prototype);
    } catch (const KrelIllegalArgumentException& e) {
        return e.getMessage();
    }
    return L"<no exception>";
}

class ClassRegistryTest : public ::testing::Test {
protected:
    Class& registry = Class::getInstance();
    boost::shared_ptr<Object> greeter = makeGreeter(L"first");
};

} // namespace

TEST_F(ClassRegistryTest, RegisteredPrototypeIsFoundAsItsInterface) {
    const std::wstring name = uniqueName(L"Greeter");
    registry.registerClass(name, greeter);
    const boost::shared_ptr<IGreeter> found = registry.getObject<IGreeter>(name);
    ASSERT_TRUE(found);
    EXPECT_EQ(L"first", found->greet());
}

TEST_F(ClassRegistryTest, LookupAsAnotherInterfaceIsEmpty) {
    const std::wstring name = uniqueName(L"Greeter");
    registry.registerClass(name, greeter);
    EXPECT_FALSE(registry.getObject<krel_std::ILogAppender>(name));
}

TEST_F(ClassRegistryTest, LookupOfUnknownNameIsEmptyWithoutThrowing) {
    boost::shared_ptr<IGreeter> found;
    EXPECT_NO_THROW(found = registry.getObject<IGreeter>(L"krel_test.NeverRegistered"));
    EXPECT_FALSE(found);
}

TEST_F(ClassRegistryTest, DuplicateNameKeepsFirstPrototype) {
    const std::wstring name = uniqueName(L"Greeter");
    registry.registerClass(name, greeter);
    const boost::shared_ptr<Object> second = makeGreeter(L"second");
    EXPECT_EQ(L"Object already exists for key: " + name, messageOfRegistration(name, second));
    EXPECT_FALSE(registry.registerClassNoEx(name, second));
    EXPECT_EQ(L"first", registry.getObject<IGreeter>(name)->greet());
}

TEST_F(ClassRegistryTest, EmptyNameIsRefused) {
    EXPECT_EQ(L"Specified key is invalid: ", messageOfRegistration(L"", greeter));
    EXPECT_FALSE(registry.registerClassNoEx(L"", greeter));
    EXPECT_FALSE(registry.getObject<Object>(L""));
}

TEST_F(ClassRegistryTest, EmptyPrototypeIsRefused) {
    const std::wstring name = uniqueName(L"Nothing");
    EXPECT_EQ(L"Object value is NULL.", messageOfRegistration(name, boost::shared_ptr<Object>()));
    EXPECT_FALSE(registry.registerClassNoEx(name, boost::shared_ptr<Object>()));
    EXPECT_FALSE(registry.getObject<Object>(name));
}

TEST_F(ClassRegistryTest, PrototypeMakesConfiguredInstances) {
    const std::wstring name = uniqueName(L"Greeter");
    registry.registerClass(name, greeter);
    const boost::shared_ptr<IGreeter> prototype = registry.getObject<IGreeter>(name);
    const std::unique_ptr<krel_std::Configurable> made(
        prototype->newInstance({{L"greeting", L"good morning"}}));
    const auto* madeGreeter = dynamic_cast<IGreeter*>(made.get());
    ASSERT_NE(nullptr, madeGreeter);
    EXPECT_EQ(L"good morning", madeGreeter->greet());
    EXPECT_EQ(L"first", prototype->greet());
}

TEST_F(ClassRegistryTest, AutoRegistrationEntersPrototypeUnderItsClassNameOnce) {
    krel_std::AutoRegisterClass<Greeter>::registerClass();
    const boost::shared_ptr<IGreeter> first = registry.getObject<IGreeter>(L"krel_test.Greeter");
    ASSERT_TRUE(first);
    EXPECT_EQ(L"prototype", first->greet());
    krel_std::AutoRegisterClass<Greeter>::registerClass();
    EXPECT_EQ(first, registry.getObject<IGreeter>(L"krel_test.Greeter"));
}

TEST_F(ClassRegistryTest, ConcurrentRegistrationsOfOneNameHaveOneWinner) {
    const std::wstring name = uniqueName(L"Contested");
    std::atomic<int> winners{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([this, &name, &winners] {
            if (registry.registerClassNoEx(name, boost::shared_ptr<Object>(new Plain))) {
                ++winners;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(1, winners.load());
}

TEST_F(ClassRegistryTest, PrintsItsName) {
    EXPECT_EQ(L"Class{}", registry.toString());
}

TEST_F(ClassRegistryTest, LoadHookRegistersTheLoggingPrototypes) {
    EXPECT_TRUE(registry.getObject<krel_std::ILogEventFilter>(L"krel_std.DebugFileFilter"));
    EXPECT_TRUE(registry.getObject<krel_std::ILogEventFilter>(L"krel_std.LogFileFilter"));
    EXPECT_TRUE(registry.getObject<krel_std::ILogEventLayout>(L"krel_std.KrelLogLayout"));
    EXPECT_TRUE(registry.getObject<krel_std::ILogAppender>(L"krel_std.OutputDebugAppender"));
    EXPECT_FALSE(registry.getObject<krel_std::ILogAppender>(L"krel_std.DebugFileFilter"));
    EXPECT_FALSE(registry.getObject<Object>(L"krel_std.WindowsVersionInfoHeader"));
}
