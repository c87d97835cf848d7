#include <gtest/gtest.h>

#include "connection/LastPlusOneConnectionPolicy.h"
#include "connection/ZeroStartConnectionPolicy.h"

using namespace krel_std;

namespace {

template <typename Policy> class FreshPolicyTest : public ::testing::Test {
protected:
    Policy policy;
};

typedef ::testing::Types<ZeroStartConnectionPolicy, LastPlusOneConnectionPolicy> PolicyTypes;
TYPED_TEST_SUITE(FreshPolicyTest, PolicyTypes);

TYPED_TEST(FreshPolicyTest, AnswersZeroForTheFirstAttemptAndRemembersNothing) {
    EXPECT_EQ(0, this->policy.getIndexForNextConnectionAttempt(false, true));
    EXPECT_EQ(0, this->policy.getIndexForNextConnectionAttempt(true, true));
    EXPECT_EQ(-1, this->policy.getIndexOfConnectionInfoInLastAttempt());
    EXPECT_EQ(-1, this->policy.getIndexOfConnectionInfoInLastSuccessful());
}

TYPED_TEST(FreshPolicyTest, TheTwoIndicesAreSetIndependently) {
    this->policy.setIndexOfConnectionInfoInLastSuccessful(5);
    EXPECT_EQ(-1, this->policy.getIndexOfConnectionInfoInLastAttempt());
    this->policy.setIndexOfConnectionInfoInLastAttempt(2);
    EXPECT_EQ(5, this->policy.getIndexOfConnectionInfoInLastSuccessful());
    EXPECT_EQ(2, this->policy.getIndexOfConnectionInfoInLastAttempt());
}

TEST(ZeroStartConnectionPolicyTest, EveryFirstAttemptStartsAtZeroEvenAfterASuccessElsewhere) {
    ZeroStartConnectionPolicy policy;
    policy.setIndexOfConnectionInfoInLastAttempt(3);
    policy.setIndexOfConnectionInfoInLastSuccessful(3);
    EXPECT_EQ(0, policy.getIndexForNextConnectionAttempt(false, true));
    EXPECT_EQ(0, policy.getIndexForNextConnectionAttempt(true, true));
}

TEST(ZeroStartConnectionPolicyTest, AFollowingAttemptGoesOnAfterTheLastAttempted) {
    ZeroStartConnectionPolicy policy;
    policy.setIndexOfConnectionInfoInLastAttempt(3);
    EXPECT_EQ(4, policy.getIndexForNextConnectionAttempt(false, false));
    EXPECT_EQ(4, policy.getIndexForNextConnectionAttempt(true, false));
}

TEST(LastPlusOneConnectionPolicyTest, AnswersLastAttemptedPlusOneForEveryFlagPair) {
    LastPlusOneConnectionPolicy policy;
    policy.setIndexOfConnectionInfoInLastAttempt(3);
    policy.setIndexOfConnectionInfoInLastSuccessful(1);
    for (bool isRecovery : {false, true}) {
        for (bool isFirst : {false, true}) {
            EXPECT_EQ(4, policy.getIndexForNextConnectionAttempt(isRecovery, isFirst))
                << isRecovery << isFirst;
        }
    }
}

TEST(ConnectionPolicyTextTest, EachPolicyWrapsTheBaseTextAndNamesItsClass) {
    ZeroStartConnectionPolicy zeroStart;
    zeroStart.setIndexOfConnectionInfoInLastAttempt(2);
    EXPECT_EQ(L"ZeroStartConnectionPolicy{AbstractConnectionPolicy{indexOfLastAttempted=2,"
              L"indexOfLastSuccessful=-1}}",
              zeroStart.toString());
    EXPECT_EQ(L"krel_std.ZeroStartConnectionPolicy", zeroStart.getClassName());

    LastPlusOneConnectionPolicy lastPlusOne;
    lastPlusOne.setIndexOfConnectionInfoInLastSuccessful(7);
    const IConnectionPolicy& asInterface = lastPlusOne;
    EXPECT_EQ(L"LastPlusOneConnectionPolicy{AbstractConnectionPolicy{indexOfLastAttempted=-1,"
              L"indexOfLastSuccessful=7}}",
              asInterface.toString());
    EXPECT_EQ(L"krel_std.LastPlusOneConnectionPolicy", asInterface.getClassName());
    EXPECT_EQ(L"krel_std.AbstractConnectionPolicy", AbstractConnectionPolicy::getClassNameStatic());
}

} // namespace
