// LastPlusOneConnectionPolicy, which goes on after the last attempted index.
#pragma once

#include "connection/AbstractConnectionPolicy.h"

namespace krel_std {

// Every cycle goes on after the last attempted index: the answer is always that index + 1.
class LastPlusOneConnectionPolicy : public AbstractConnectionPolicy {
public:
    LastPlusOneConnectionPolicy();
    ~LastPlusOneConnectionPolicy() override;

    // "krel_std.LastPlusOneConnectionPolicy".
    static std::wstring getClassNameStatic();
    std::wstring getClassName() const override;
    int getIndexForNextConnectionAttempt(bool isRecovery, bool isFirstAttempt) const override;
    // "LastPlusOneConnectionPolicy{" + the base's text + "}".
    std::wstring toString() const override;
};

} // namespace krel_std
