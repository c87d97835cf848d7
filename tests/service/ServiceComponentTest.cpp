// Components of a service program, started, stopped and switched together by their manager.
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "exception/KrelIOException.h"
#include "service/ServiceComponentManager.h"

namespace {

using krel_std::ServiceComponent;
using krel_std::ServiceComponentManager;

// Records "<name> <hook>" for every hook in a log shared by the components of a test, and runs
// a test's action inside a hook when one is set.
class RecordingComponent : public ServiceComponent {
public:
    RecordingComponent(const std::wstring& name, std::vector<std::string>& log)
        : name(name), log(log) {}

    std::wstring getName() override { return name; }

    std::function<void()> duringStart;
    std::function<void()> duringStop;
    std::function<void()> duringSetActive;

protected:
    void onStart() override { record("start", duringStart); }
    void onStop() override { record("stop", duringStop); }
    void onSetActive(bool isActive) override {
        record(isActive ? "active" : "inactive", duringSetActive);
    }

private:
    void record(const std::string& hook, const std::function<void()>& action) {
        log.push_back(std::string(name.begin(), name.end()) + " " + hook);
        if (action) {
            action();
        }
    }

    const std::wstring name;
    std::vector<std::string>& log;
};

class ServiceComponentTest : public ::testing::Test {
protected:
    boost::shared_ptr<RecordingComponent> make(const std::wstring& name) {
        return boost::shared_ptr<RecordingComponent>(new RecordingComponent(name, log));
    }

    // A, B and C registered in that order.
    void registerThree() {
        a = make(L"A");
        b = make(L"B");
        c = make(L"C");
        for (const auto& component : {a, b, c}) {
            manager->registerComponent(component);
        }
    }

    std::vector<std::string> log;
    std::unique_ptr<ServiceComponentManager> manager{new ServiceComponentManager()};
    boost::shared_ptr<RecordingComponent> a;
    boost::shared_ptr<RecordingComponent> b;
    boost::shared_ptr<RecordingComponent> c;
};

TEST_F(ServiceComponentTest, AComponentIsStoppedWhenMade) {
    EXPECT_EQ(make(L"A")->getComponentState(), ServiceComponent::STOPPED);
}

TEST_F(ServiceComponentTest, TheManagerStartsSwitchesAndStopsInRegistrationOrder) {
    registerThree();
    manager->startAll();
    manager->setAllActive(false);
    manager->setAllActive(true);
    manager->stopAll();
    EXPECT_EQ(log, (std::vector<std::string>{"A start", "B start", "C start", "A inactive",
                                             "B inactive", "C inactive", "A active", "B active",
                                             "C active", "A stop", "B stop", "C stop"}));
}

TEST_F(ServiceComponentTest, EachOperationSetsItsStateOnceTheHookReturned) {
    const auto component = make(L"A");
    ServiceComponent::ComponentState duringStart = ServiceComponent::INACTIVE;
    component->duringStart = [&] { duringStart = component->getComponentState(); };
    component->start();
    EXPECT_EQ(duringStart, ServiceComponent::STOPPED);
    EXPECT_EQ(component->getComponentState(), ServiceComponent::ACTIVE);
    component->setActive(false);
    EXPECT_EQ(component->getComponentState(), ServiceComponent::INACTIVE);
    component->stop();
    EXPECT_EQ(component->getComponentState(), ServiceComponent::STOPPED);
}

TEST_F(ServiceComponentTest, SetActiveOnAStoppedComponentMakesItActiveWithoutStartingIt) {
    const auto component = make(L"A");
    component->setActive(true);
    EXPECT_EQ(component->getComponentState(), ServiceComponent::ACTIVE);
    EXPECT_EQ(log, (std::vector<std::string>{"A active"}));
}

TEST_F(ServiceComponentTest, AnObjectRegisteredTwiceIsKeptOnceAndANullPointerIsIgnored) {
    const auto component = make(L"A");
    manager->registerComponent(component);
    manager->registerComponent(component);
    manager->registerComponent(boost::shared_ptr<ServiceComponent>());
    ASSERT_EQ(manager->getComponents().size(), 1u);
    EXPECT_EQ(manager->getComponents().front(), component);
}

TEST_F(ServiceComponentTest, NamesakesAreBothKeptAndTheEarlierOneIsFound) {
    const auto first = make(L"Same");
    const auto second = make(L"Same");
    manager->registerComponent(first);
    manager->registerComponent(second);
    EXPECT_EQ(manager->getComponents().size(), 2u);
    EXPECT_EQ(manager->getComponent(L"Same"), first);
    EXPECT_FALSE(manager->getComponent(L"same")) << "names are compared exactly";
    EXPECT_FALSE(manager->getComponent(L"Other"));
}

TEST_F(ServiceComponentTest, AThrowingHookKeepsItsStateAndEndsTheWalkAfterTheEarlierOnes) {
    registerThree();
    b->duringStart = [] { throw krel_std::KrelIOException(L"cannot start"); };
    EXPECT_THROW(manager->startAll(), krel_std::KrelIOException);
    EXPECT_EQ(log, (std::vector<std::string>{"A start", "B start"}));
    EXPECT_EQ(a->getComponentState(), ServiceComponent::ACTIVE);
    EXPECT_EQ(b->getComponentState(), ServiceComponent::STOPPED);
    EXPECT_EQ(c->getComponentState(), ServiceComponent::STOPPED);
}

TEST_F(ServiceComponentTest, StopAllEndsAtAThrowingComponent) {
    registerThree();
    a->duringStop = [] { throw std::runtime_error("stuck"); };
    EXPECT_THROW(manager->stopAll(), std::runtime_error);
    EXPECT_EQ(log, (std::vector<std::string>{"A stop"}));
}

TEST_F(ServiceComponentTest, AHookMayCallBackIntoItsManagerOnItsThread) {
    registerThree();
    boost::shared_ptr<ServiceComponent> found;
    a->duringStart = [&] { found = manager->getComponent(L"C"); };
    manager->startAll();
    EXPECT_EQ(found, c);
}

TEST_F(ServiceComponentTest, DestroyingTheManagerStopsEveryComponentWhateverTheyThrow) {
    registerThree();
    a->duringStop = [] { throw krel_std::KrelIOException(L"stuck"); };
    b->duringStop = [] { throw std::runtime_error("stuck"); };
    c->duringStop = [] { throw 42; };
    manager->registerComponent(make(L"D"));
    a->start();
    manager.reset();
    EXPECT_EQ(log, (std::vector<std::string>{"A start", "A stop", "B stop", "C stop", "D stop"}));
    EXPECT_EQ(a->getComponentState(), ServiceComponent::ACTIVE) << "its onStop threw";
}

} // namespace
