// The pool number is process-wide and never reset, so this executable holds only this test.
#include <gtest/gtest.h>

#include "thread/DefaultThreadFactory.h"
#include "thread/Executors.h"

using krel_std::DefaultThreadFactory;
using krel_std::Runnable;
using krel_std::Thread;

namespace {

class Idle : public Runnable {
public:
    void run() override {}
};

TEST(ThreadPoolNumberingTest, FactoriesWithoutAPrefixTakeTheNextPoolNumber) {
    boost::shared_ptr<Runnable> task(new Idle);
    DefaultThreadFactory first;
    boost::shared_ptr<krel_std::ThreadFactory> second =
        krel_std::Executors::defaultThreadFactory(L"");

    EXPECT_EQ(L"pool-0-thread-0", first.newThread(task)->getName());
    EXPECT_EQ(L"pool-0-thread-1", first.newThread(task)->getName());
    EXPECT_EQ(L"pool-1-thread-0", second->newThread(task)->getName());
}

} // namespace
