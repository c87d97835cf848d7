#include "service/SignalMultiHandler.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "SignalTestSupport.h"

using namespace krel_test;
using krel_std::SignalMultiHandler;

namespace {

class SignalMultiHandlerTest : public SignalTest {
protected:
    // The recording functions in the order the multi-handler calls them.
    static std::vector<int> highestAddressFirst() {
        const bool aAbove = std::less<void (*)(int)>()(recordB, recordA);
        return aAbove ? std::vector<int>{0, 1} : std::vector<int>{1, 0};
    }

    static std::vector<int> functionsCalled(const std::vector<SignalCall>& calls) {
        std::vector<int> functions;
        for (const SignalCall& call : calls) {
            functions.push_back(call.function);
        }
        return functions;
    }

    std::unique_ptr<SignalMultiHandler> handler{new SignalMultiHandler};
};

TEST_F(SignalMultiHandlerTest, BothFunctionsRunOnARealSignalHighestAddressFirst) {
    handler->registerSignalHandler(SIGUSR1, recordA);
    handler->registerSignalHandler(SIGUSR1, recordB);
    sendToSelf(SIGUSR1);
    ASSERT_TRUE(recorder.waitForCalls(2));
    const std::vector<SignalCall> calls = recorder.calls();
    EXPECT_EQ(highestAddressFirst(), functionsCalled(calls));
    EXPECT_EQ(krel_platform::signalDeliveryThreadId(), calls[0].threadId);
    EXPECT_EQ(calls[0].threadId, calls[1].threadId);
}

TEST_F(SignalMultiHandlerTest, FunctionRegisteredTwiceRunsOnce) {
    handler->registerSignalHandler(SIGUSR1, recordA);
    handler->registerSignalHandler(SIGUSR1, recordA);
    krel_platform::raise(SIGUSR1);
    EXPECT_EQ(1u, recorder.calls().size());
}

TEST_F(SignalMultiHandlerTest, RemovingOneFunctionKeepsTheOther) {
    handler->registerSignalHandler(SIGUSR2, recordA);
    handler->registerSignalHandler(SIGUSR2, recordB);
    handler->deregisterSignalHandler(SIGUSR2, recordA);
    EXPECT_NE(SIG_DFL, kernelHandler(SIGUSR2));
    krel_platform::raise(SIGUSR2);
    EXPECT_EQ(std::vector<int>{1}, functionsCalled(recorder.calls()));
}

TEST_F(SignalMultiHandlerTest, RemovingTheLastFunctionRestoresTheDefault) {
    handler->registerSignalHandler(SIGUSR2, recordA);
    handler->registerSignalHandler(SIGUSR2, recordB);
    handler->deregisterSignalHandler(SIGUSR2, recordA);
    handler->deregisterSignalHandler(SIGUSR2, recordB);
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR2));
    EXPECT_EQ(SIG_DFL, krel_platform::signalFunction(SIGUSR2));
}

TEST_F(SignalMultiHandlerTest, RemovingAFunctionNotRegisteredChangesNothing) {
    handler->registerSignalHandler(SIGUSR2, recordA);
    handler->deregisterSignalHandler(SIGUSR2, recordB);
    handler->deregisterSignalHandler(SIGUSR1, recordA);
    krel_platform::raise(SIGUSR2);
    EXPECT_EQ(std::vector<int>{0}, functionsCalled(recorder.calls()));
}

TEST_F(SignalMultiHandlerTest, IgnoreSignalDropsEveryFunction) {
    handler->registerSignalHandler(SIGUSR1, recordA);
    handler->registerSignalHandler(SIGUSR1, recordB);
    handler->ignoreSignal(SIGUSR1);
    EXPECT_EQ(SIG_IGN, kernelHandler(SIGUSR1));
    handler->registerSignalHandler(SIGUSR1, recordC);
    krel_platform::raise(SIGUSR1);
    EXPECT_EQ(std::vector<int>{2}, functionsCalled(recorder.calls()));
}

TEST_F(SignalMultiHandlerTest, DestructorRestoresEverySignalWithFunctions) {
    handler->registerSignalHandler(SIGUSR1, recordA);
    handler->registerSignalHandler(SIGUSR2, recordB);
    handler.reset();
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR1));
    EXPECT_EQ(SIG_DFL, kernelHandler(SIGUSR2));
}

TEST_F(SignalMultiHandlerTest, DestroyedMultiHandlerIsNeverCalled) {
    handler->registerSignalHandler(SIGUSR1, recordA);
    {
        SignalMultiHandler newer;
        newer.registerSignalHandler(SIGUSR2, recordB);
    }
    // The older one's dispatcher is still installed for SIGUSR1, and finds no handler.
    ASSERT_NE(SIG_DFL, krel_platform::signalFunction(SIGUSR1));
    krel_platform::raise(SIGUSR1);
    EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(SignalMultiHandlerTest, SignalOfAnOlderMultiHandlerReachesTheNewestTableOnly) {
    handler->registerSignalHandler(SIGUSR1, recordA);
    SignalMultiHandler newer;
    newer.registerSignalHandler(SIGUSR2, recordB);
    krel_platform::raise(SIGUSR1);
    EXPECT_TRUE(recorder.calls().empty());
    newer.registerSignalHandler(SIGUSR1, recordC);
    krel_platform::raise(SIGUSR1);
    EXPECT_EQ(std::vector<int>{2}, functionsCalled(recorder.calls()));
}

} // namespace
