#include "log/MessageBuffer.h"

#include <future>
#include <gtest/gtest.h>
#include <thread>

using krel_std_internal::MessageBuffer;

namespace {

TEST(MessageBufferTest, EveryLendingStartsEmpty) {
    {
        MessageBuffer first;
        first.text() = L"left over";
    }
    MessageBuffer second;
    EXPECT_TRUE(second.text().empty());
}

TEST(MessageBufferTest, BufferMadeWhileTheThreadsIsLentIsAnotherOne) {
    MessageBuffer outer;
    outer.text() = L"outer";
    {
        MessageBuffer inner;
        EXPECT_NE(&outer.text(), &inner.text());
        inner.text() = std::wstring(500, L'i');
    }
    EXPECT_EQ(L"outer", outer.text());
}

TEST(MessageBufferTest, ThreadsNeverShareABuffer) {
    std::promise<const std::wstring*> lent;
    std::promise<void> checked;
    std::thread other([&lent, &checked] {
        MessageBuffer buffer;
        buffer.text() = L"other";
        lent.set_value(&buffer.text());
        checked.get_future().wait();
        EXPECT_EQ(L"other", buffer.text());
    });
    const std::wstring* othersText = lent.get_future().get();
    {
        MessageBuffer mine;
        EXPECT_NE(othersText, &mine.text());
        EXPECT_TRUE(mine.text().empty());
        mine.text() = L"mine";
    }
    checked.set_value();
    other.join();
}

} // namespace
