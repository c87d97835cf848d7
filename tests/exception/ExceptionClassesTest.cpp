#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "exception/KrelAbandonedException.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelBackingStoreException.h"
#include "exception/KrelBufferOverflowException.h"
#include "exception/KrelBufferUnderflowException.h"
#include "exception/KrelCancellationException.h"
#include "exception/KrelConnectException.h"
#include "exception/KrelDeadlockException.h"
#include "exception/KrelExecutionException.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelInterruptedException.h"
#include "exception/KrelInvalidPreferencesFormatException.h"
#include "exception/KrelJNIException.h"
#include "exception/KrelObjectNotFoundException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "exception/KrelRejectedExecutionException.h"
#include "exception/KrelRuntimeException.h"
#include "exception/KrelTimeoutException.h"
#include "exception/KrelUnhandledException.h"
#include "exception/KrelUnknownException.h"
#include "exception/KrelUnsupportedOperationException.h"
#include "exception/KrelWaitObjectDestroyedException.h"
#include "exception/KrelXmlException.h"

using namespace krel_std;

namespace {

struct ExceptionClass {
    std::wstring javaName;
    std::function<KrelException*()> make;
    // Throws a copy of `e` as its own class and answers whether a catch of that class took it.
    std::function<bool(const KrelException&)> caughtAsOwnClass;
};

template <typename T> ExceptionClass entry(const std::wstring& javaName) {
    return ExceptionClass{javaName, [] { return new T(); },
                          [](const KrelException& e) {
                              try {
                                  throw dynamic_cast<const T&>(e);
                              } catch (const T&) {
                                  return true;
                              } catch (...) {
                                  return false;
                              }
                          }};
}

const std::wstring EX = L"com.vandrel.exception.";
const std::wstring CONC = L"com.vandrel.util.concurrency.";
const std::wstring THR = L"com.vandrel.util.thread.";

class ExceptionClassTest : public ::testing::TestWithParam<ExceptionClass> {};

} // namespace

TEST_P(ExceptionClassTest, DefaultInstanceIsEmptyAndNamesItsJavaClass) {
    std::unique_ptr<KrelException> e(GetParam().make());
    EXPECT_EQ(GetParam().javaName, e->getClassName());
    EXPECT_EQ(L"", e->getMessage());
    EXPECT_EQ(0, e->getErrNum());
    EXPECT_EQ(nullptr, e->getNestedException());
    EXPECT_EQ(GetParam().javaName + L": ", e->toString());
}

TEST_P(ExceptionClassTest, CopiesAndCausesKeepTheDynamicClass) {
    std::unique_ptr<KrelException> e(GetParam().make());
    std::unique_ptr<KrelException> copy(e->newInstance());
    EXPECT_EQ(GetParam().javaName, copy->getClassName());
    EXPECT_TRUE(GetParam().caughtAsOwnClass(*copy));

    KrelException wrapper(L"outer", *e);
    std::unique_ptr<KrelException> cause(wrapper.getNestedException());
    EXPECT_EQ(GetParam().javaName, cause->getClassName());
}

INSTANTIATE_TEST_SUITE_P(
    AllClasses, ExceptionClassTest,
    ::testing::Values(
        entry<KrelException>(EX + L"KrelException"),
        entry<KrelRuntimeException>(EX + L"KrelRuntimeException"),
        entry<KrelUnknownException>(EX + L"KrelUnknownException"),
        entry<KrelAccessException>(EX + L"KrelAccessException"),
        entry<KrelIllegalArgumentException>(EX + L"KrelIllegalArgumentException"),
        entry<KrelIllegalStateException>(EX + L"KrelIllegalStateException"),
        entry<KrelIOException>(EX + L"KrelIOException"),
        entry<KrelObjectNotFoundException>(EX + L"KrelObjectNotFoundException"),
        entry<KrelBufferOverflowException>(EX + L"KrelBufferOverflowException"),
        entry<KrelBufferUnderflowException>(EX + L"KrelBufferUnderflowException"),
        entry<KrelTimeoutException>(EX + L"KrelTimeoutException"),
        entry<KrelOutOfResourcesException>(EX + L"KrelOutOfResourcesException"),
        entry<KrelUnsupportedOperationException>(EX + L"KrelUnsupportedOperationException"),
        entry<KrelUnhandledException>(EX + L"KrelUnhandledException"),
        entry<KrelJNIException>(EX + L"KrelJNIException"),
        entry<KrelInterruptedException>(CONC + L"KrelInterruptedException"),
        entry<KrelWaitObjectDestroyedException>(CONC + L"KrelWaitObjectDestroyedException"),
        entry<KrelAbandonedException>(CONC + L"KrelAbandonedException"),
        entry<KrelDeadlockException>(CONC + L"KrelDeadlockException"),
        entry<KrelCancellationException>(THR + L"KrelCancellationException"),
        entry<KrelExecutionException>(THR + L"KrelExecutionException"),
        entry<KrelRejectedExecutionException>(THR + L"KrelRejectedExecutionException"),
        entry<KrelConnectException>(L"com.vandrel.util.connection.KrelConnectException"),
        entry<KrelBackingStoreException>(L"com.vandrel.util.prefs.KrelBackingStoreException"),
        entry<KrelInvalidPreferencesFormatException>(
            L"com.vandrel.util.prefs.KrelInvalidPreferencesFormatException"),
        entry<KrelXmlException>(L"com.vandrel.xml.KrelXmlException")),
    [](const ::testing::TestParamInfo<ExceptionClass>& info) {
        const std::wstring& name = info.param.javaName;
        return std::string(name.begin() + static_cast<long>(name.rfind(L'.') + 1), name.end());
    });

TEST(ExceptionHierarchyTest, UnknownIsCaughtAsRuntime) {
    EXPECT_THROW(throw KrelUnknownException(L"x"), KrelRuntimeException);
}

TEST(ExceptionHierarchyTest, ConnectIsCaughtAsIO) {
    EXPECT_THROW(throw KrelConnectException(L"x"), KrelIOException);
}

TEST(ExceptionHierarchyTest, SubclassConstructorsForwardMessageErrorAndCause) {
    KrelConnectException e(L"down", 10061, KrelIOException(L"refused"));
    EXPECT_EQ(L"down: refused", e.getMessage());
    EXPECT_EQ(10061, e.getErrNum());
    KrelConnectException assigned;
    assigned = e;
    EXPECT_EQ(e.toString(), assigned.toString());
}
