#include "connection/LastPlusOneConnectionPolicy.h"

namespace krel_std {

LastPlusOneConnectionPolicy::LastPlusOneConnectionPolicy() {}

LastPlusOneConnectionPolicy::~LastPlusOneConnectionPolicy() {}

std::wstring LastPlusOneConnectionPolicy::getClassNameStatic() {
    return L"krel_std.LastPlusOneConnectionPolicy";
}

std::wstring LastPlusOneConnectionPolicy::getClassName() const {
    return getClassNameStatic();
}

int LastPlusOneConnectionPolicy::getIndexForNextConnectionAttempt(bool isRecovery,
                                                                  bool isFirstAttempt) const {
    (void)isRecovery;
    (void)isFirstAttempt;
    return getIndexAfterLastAttempted();
}

std::wstring LastPlusOneConnectionPolicy::toString() const {
    return L"LastPlusOneConnectionPolicy{" + AbstractConnectionPolicy::toString() + L"}";
}

} // namespace krel_std
