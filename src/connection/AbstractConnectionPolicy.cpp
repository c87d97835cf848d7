#include "connection/AbstractConnectionPolicy.h"

#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "thread/AutoLock.h"

namespace krel_std {

AbstractConnectionPolicy::AbstractConnectionPolicy()
    : indexOfLastAttempted(-1), indexOfLastSuccessful(-1) {}

AbstractConnectionPolicy::~AbstractConnectionPolicy() {}

std::wstring AbstractConnectionPolicy::getClassNameStatic() {
    return L"krel_std.AbstractConnectionPolicy";
}

std::wstring AbstractConnectionPolicy::getClassName() const {
    return getClassNameStatic();
}

int AbstractConnectionPolicy::getIndexOfConnectionInfoInLastAttempt() const {
    AutoLock<Lock> guard(policyLock);
    return indexOfLastAttempted;
}

int AbstractConnectionPolicy::getIndexOfConnectionInfoInLastSuccessful() const {
    AutoLock<Lock> guard(policyLock);
    return indexOfLastSuccessful;
}

void AbstractConnectionPolicy::setIndexOfConnectionInfoInLastAttempt(int index) {
    KREL_TRACE_SCOPE_ARGS(
        L"krel_std::AbstractConnectionPolicy::setIndexOfConnectionInfoInLastAttempt",
        L"Begin. Index <%d>.", index);
    AutoLock<Lock> guard(policyLock);
    indexOfLastAttempted = index;
}

void AbstractConnectionPolicy::setIndexOfConnectionInfoInLastSuccessful(int index) {
    KREL_TRACE_SCOPE_ARGS(
        L"krel_std::AbstractConnectionPolicy::setIndexOfConnectionInfoInLastSuccessful",
        L"Begin. Index <%d>.", index);
    AutoLock<Lock> guard(policyLock);
    indexOfLastSuccessful = index;
}

std::wstring AbstractConnectionPolicy::toString() const {
    AutoLock<Lock> guard(policyLock);
    return L"AbstractConnectionPolicy{indexOfLastAttempted=" +
           StringUtils::toWString(indexOfLastAttempted) + L",indexOfLastSuccessful=" +
           StringUtils::toWString(indexOfLastSuccessful) + L"}";
}

int AbstractConnectionPolicy::getIndexAfterLastAttempted() const {
    AutoLock<Lock> guard(policyLock);
    return indexOfLastAttempted + 1;
}

} // namespace krel_std
