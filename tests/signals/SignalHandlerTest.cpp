#include "service/SignalHandler.h"

#include <gtest/gtest.h>
#include <memory>

#include "SignalTestSupport.h"

using namespace krel_test;
using krel_std::ISignalHandler;
using krel_std::SignalHandler;

namespace {

class SignalHandlerTest : public SignalTest {
protected:
    SignalHandler handler;
};

TEST_F(SignalHandlerTest, RegisteredFunctionRunsOnARealSignal) {
    handler.registerSignalHandler(SIGUSR1, recordA);
    EXPECT_EQ(recordA, krel_platform::signalFunction(SIGUSR1));
    sendToSelf(SIGUSR1);
    ASSERT_TRUE(recorder.waitForCalls(1));
    EXPECT_EQ(0, recorder.calls()[0].function);
    EXPECT_EQ(krel_platform::signalDeliveryThreadId(), recorder.calls()[0].threadId);
}

TEST_F(SignalHandlerTest, SecondRegistrationReplacesTheFirst) {
    handler.registerSignalHandler(SIGUSR1, recordA);
    handler.registerSignalHandler(SIGUSR1, recordB);
    EXPECT_EQ(recordB, krel_platform::signalFunction(SIGUSR1));
    krel_platform::raise(SIGUSR1);
    ASSERT_EQ(1u, recorder.calls().size());
    EXPECT_EQ(1, recorder.calls()[0].function);
}

TEST_F(SignalHandlerTest, DeregisteringAnyFunctionRestoresTheDefault) {
    handler.registerSignalHandler(SIGUSR1, recordA);
    ISignalHandler& base = handler;
    base.deregisterSignalHandler(SIGUSR1, recordB);
    EXPECT_EQ(SIG_DFL, krel_platform::signalFunction(SIGUSR1));
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR1));
}

TEST_F(SignalHandlerTest, DeregisteringBySignalAloneRestoresTheDefault) {
    handler.registerSignalHandler(SIGUSR2, recordA);
    handler.deregisterSignalHandler(SIGUSR2);
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR2));
}

TEST_F(SignalHandlerTest, IgnoredSignalIsIgnoredByTheKernel) {
    handler.ignoreSignal(SIGUSR2);
    EXPECT_EQ(SIG_IGN, kernelHandler(SIGUSR2));
    EXPECT_EQ(SIG_IGN, krel_platform::signalFunction(SIGUSR2));
}

TEST_F(SignalHandlerTest, DeregisterAllRestoresEveryChangedSignal) {
    handler.registerSignalHandler(SIGUSR1, recordA);
    handler.ignoreSignal(SIGUSR2);
    handler.deregisterAllSignalHandlers();
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR1));
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR2));
}

TEST_F(SignalHandlerTest, DestructorRestoresEveryChangedSignal) {
    {
        SignalHandler scoped;
        scoped.registerSignalHandler(SIGUSR1, recordA);
        scoped.ignoreSignal(SIGUSR2);
    }
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR1));
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR2));
    EXPECT_EQ(SIG_DFL, krel_platform::signalFunction(SIGUSR1));
}

TEST_F(SignalHandlerTest, DestructorLeavesSignalsItGaveBackAlone) {
    {
        SignalHandler scoped;
        scoped.registerSignalHandler(SIGUSR1, recordA);
        scoped.useDefaultSignalHandler(SIGUSR1);
        krel_platform::signal(SIGUSR1, recordB);
    }
    EXPECT_EQ(recordB, krel_platform::signalFunction(SIGUSR1));
}

} // namespace
