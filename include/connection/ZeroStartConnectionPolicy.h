// ZeroStartConnectionPolicy, which starts every cycle at index 0.
#pragma once

#include "connection/AbstractConnectionPolicy.h"

namespace krel_std {

// Every cycle starts at index 0; after a failed attempt the answer is the last attempted index + 1.
class ZeroStartConnectionPolicy : public AbstractConnectionPolicy {
public:
    ZeroStartConnectionPolicy();
    ~ZeroStartConnectionPolicy() override;

    // "krel_std.ZeroStartConnectionPolicy".
    static std::wstring getClassNameStatic();
    std::wstring getClassName() const override;
    int getIndexForNextConnectionAttempt(bool isRecovery, bool isFirstAttempt) const override;
    // "ZeroStartConnectionPolicy{" + the base's text + "}".
    std::wstring toString() const override;
};

} // namespace krel_std
