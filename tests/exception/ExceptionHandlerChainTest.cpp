#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "exception/AbstractExceptionHandler.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"

using namespace krel_std;

namespace {

// Records its name in a shared journal and answers a fixed state.
class RecordingHandler : public AbstractExceptionHandler {
public:
    RecordingHandler(const std::string& name, std::vector<std::string>& journal,
                     ExceptionState answer)
        : name(name), journal(journal), answer(answer) {}

    ExceptionState handle(const std::exception&) override {
        journal.push_back(name);
        return answer;
    }

private:
    std::string name;
    std::vector<std::string>& journal;
    ExceptionState answer;
};

class ExceptionHandlerChainTest : public ::testing::Test {
protected:
    boost::shared_ptr<RecordingHandler> make(const std::string& name,
                                             IExceptionHandler::ExceptionState answer) {
        return boost::make_shared<RecordingHandler>(name, journal, answer);
    }

    std::vector<std::string> journal;
    KrelIOException error{L"broken"};
};

} // namespace

TEST_F(ExceptionHandlerChainTest, LoneHandlerThatPassesOnAnswersPassOn) {
    EXPECT_EQ(IExceptionHandler::PassOn,
              make("H", IExceptionHandler::PassOn)->startHandling(error));
}

TEST_F(ExceptionHandlerChainTest, AppendedHandlersRunInAppendOrder) {
    auto head = make("H", IExceptionHandler::PassOn);
    head->appendSuccessor(make("A", IExceptionHandler::PassOn));
    head->appendSuccessor(make("B", IExceptionHandler::PassOn));
    head->appendSuccessor(make("C", IExceptionHandler::Rethrow));
    EXPECT_EQ(IExceptionHandler::Rethrow, head->startHandling(error));
    EXPECT_EQ((std::vector<std::string>{"H", "A", "B", "C"}), journal);
}

TEST_F(ExceptionHandlerChainTest, FirstSettlingAnswerEndsTheChain) {
    auto head = make("H", IExceptionHandler::PassOn);
    head->appendSuccessor(make("A", IExceptionHandler::Handled));
    head->appendSuccessor(make("B", IExceptionHandler::Rethrow));
    EXPECT_EQ(IExceptionHandler::Handled, head->startHandling(error));
    EXPECT_EQ((std::vector<std::string>{"H", "A"}), journal);
}

TEST_F(ExceptionHandlerChainTest, ResetWithEmptyPointerCutsTheChain) {
    auto head = make("H", IExceptionHandler::PassOn);
    head->appendSuccessor(make("A", IExceptionHandler::Handled));
    head->resetSuccessor(boost::shared_ptr<IExceptionHandler>());
    EXPECT_FALSE(head->getSuccessor());
    EXPECT_EQ(IExceptionHandler::PassOn, head->startHandling(error));
    EXPECT_EQ((std::vector<std::string>{"H"}), journal);
}

namespace {

// Cuts the chain after itself while handling: the lock is recursive and not held around the
// successor call, so this neither blocks nor reaches the old successor.
class CuttingHandler : public AbstractExceptionHandler {
public:
    ExceptionState handle(const std::exception&) override {
        resetSuccessor(boost::shared_ptr<IExceptionHandler>());
        return PassOn;
    }
};

} // namespace

TEST_F(ExceptionHandlerChainTest, HandlerMayChangeItsOwnSuccessorWhileHandling) {
    auto head = boost::make_shared<CuttingHandler>();
    head->appendSuccessor(make("A", IExceptionHandler::Handled));
    EXPECT_EQ(IExceptionHandler::PassOn, head->startHandling(error));
    EXPECT_TRUE(journal.empty());
}

TEST_F(ExceptionHandlerChainTest, SuccessorMayBeReplacedWhileExceptionsTravel) {
    auto head = boost::make_shared<RecordingHandler>("H", journal, IExceptionHandler::PassOn);
    std::vector<std::string> otherJournal;
    auto settling =
        boost::make_shared<RecordingHandler>("A", otherJournal, IExceptionHandler::Handled);
    const int rounds = 20000;
    std::thread changer([&] {
        for (int i = 0; i < rounds; ++i) {
            head->resetSuccessor(i % 2 ? boost::shared_ptr<IExceptionHandler>() : settling);
        }
    });
    int answered = 0;
    for (int i = 0; i < rounds; ++i) {
        const IExceptionHandler::ExceptionState state = head->startHandling(error);
        answered += state == IExceptionHandler::Handled || state == IExceptionHandler::PassOn;
        journal.clear();
    }
    changer.join();
    EXPECT_EQ(rounds, answered);
}

class RefusedAppendTest : public ExceptionHandlerChainTest {
protected:
    // Appends and answers the message of the refusal, or "accepted".
    std::wstring refusalOf(IExceptionHandler& head,
                           const boost::shared_ptr<IExceptionHandler>& successor) {
        try {
            head.appendSuccessor(successor);
        } catch (const KrelIllegalArgumentException& e) {
            return e.getMessage();
        }
        return L"accepted";
    }

    const std::wstring refused = L"Successor to append is already in the chain.";
};

TEST_F(RefusedAppendTest, AppendingAHandlerToItselfIsRefused) {
    auto head = make("H", IExceptionHandler::PassOn);
    ASSERT_EQ(refused, refusalOf(*head, head));
    EXPECT_FALSE(head->getSuccessor());
    EXPECT_EQ(IExceptionHandler::PassOn, head->startHandling(error));
}

TEST_F(RefusedAppendTest, AppendingAHandlerAlreadyFurtherDownIsRefusedAndLeavesTheChain) {
    auto head = make("H", IExceptionHandler::PassOn);
    auto middle = make("A", IExceptionHandler::PassOn);
    auto last = make("B", IExceptionHandler::Handled);
    head->appendSuccessor(middle);
    head->appendSuccessor(last);

    ASSERT_EQ(refused, refusalOf(*head, middle));
    ASSERT_EQ(refused, refusalOf(*head, last));
    ASSERT_EQ(refused, refusalOf(*middle, head));
    EXPECT_EQ(IExceptionHandler::Handled, head->startHandling(error));
    EXPECT_EQ((std::vector<std::string>{"H", "A", "B"}), journal);
}

TEST_F(RefusedAppendTest, AppendingAChainThatLeadsBackIntoThisChainIsRefused) {
    auto head = make("H", IExceptionHandler::PassOn);
    head->appendSuccessor(make("A", IExceptionHandler::PassOn));
    auto other = make("X", IExceptionHandler::PassOn);
    other->appendSuccessor(head);

    ASSERT_EQ(refused, refusalOf(*head, other));
    EXPECT_EQ(IExceptionHandler::PassOn, head->startHandling(error));
    EXPECT_EQ((std::vector<std::string>{"H", "A"}), journal);
}

TEST_F(RefusedAppendTest, AHandlerMayEndTwoChains) {
    auto shared = make("S", IExceptionHandler::Handled);
    auto first = make("F", IExceptionHandler::PassOn);
    auto second = make("G", IExceptionHandler::PassOn);
    first->appendSuccessor(shared);
    EXPECT_EQ(L"accepted", refusalOf(*second, shared));
    EXPECT_EQ(IExceptionHandler::Handled, second->startHandling(error));
    EXPECT_EQ((std::vector<std::string>{"G", "S"}), journal);
}

TEST_F(RefusedAppendTest, AppendingToOrFromALoopMadeByResetIsRefusedInsteadOfRunningForever) {
    auto looped = make("L", IExceptionHandler::Handled);
    looped->resetSuccessor(looped);
    auto head = make("H", IExceptionHandler::PassOn);

    EXPECT_EQ(refused, refusalOf(*looped, make("C", IExceptionHandler::Handled)));
    EXPECT_EQ(refused, refusalOf(*head, looped));
    EXPECT_FALSE(head->getSuccessor());
    looped->resetSuccessor(boost::shared_ptr<IExceptionHandler>());
}
