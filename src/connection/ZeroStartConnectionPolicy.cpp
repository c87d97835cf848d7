#include "connection/ZeroStartConnectionPolicy.h"

namespace krel_std {

ZeroStartConnectionPolicy::ZeroStartConnectionPolicy() {}

ZeroStartConnectionPolicy::~ZeroStartConnectionPolicy() {}

std::wstring ZeroStartConnectionPolicy::getClassNameStatic() {
    return L"krel_std.ZeroStartConnectionPolicy";
}

std::wstring ZeroStartConnectionPolicy::getClassName() const {
    return getClassNameStatic();
}

int ZeroStartConnectionPolicy::getIndexForNextConnectionAttempt(bool isRecovery,
                                                                bool isFirstAttempt) const {
    (void)isRecovery;
    return isFirstAttempt ? 0 : getIndexAfterLastAttempted();
}

std::wstring ZeroStartConnectionPolicy::toString() const {
    return L"ZeroStartConnectionPolicy{" + AbstractConnectionPolicy::toString() + L"}";
}

} // namespace krel_std
