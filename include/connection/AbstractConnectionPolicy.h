// AbstractConnectionPolicy, the connection policies' shared last-attempted and last-good indexes.
#pragma once

#include "base/Object.h"
#include "connection/IConnectionPolicy.h"
#include "thread/Lock.h"

namespace krel_std {

// The policies' shared state: the last attempted and the last successful index (both -1 until
// set), each read and written under the policy's own lock. A subclass decides the next index.
class AbstractConnectionPolicy : public IConnectionPolicy, public Object {
public:
    AbstractConnectionPolicy();
    ~AbstractConnectionPolicy() override;

    // "krel_std.AbstractConnectionPolicy".
    static std::wstring getClassNameStatic();
    std::wstring getClassName() const override;
    int getIndexOfConnectionInfoInLastAttempt() const override;
    int getIndexOfConnectionInfoInLastSuccessful() const override;
    void setIndexOfConnectionInfoInLastAttempt(int index) override;
    void setIndexOfConnectionInfoInLastSuccessful(int index) override;
    // "AbstractConnectionPolicy{indexOfLastAttempted=-1,indexOfLastSuccessful=-1}".
    std::wstring toString() const override;

protected:
    // The last attempted index plus one, read under the lock.
    int getIndexAfterLastAttempted() const;

private:
    mutable Lock policyLock;
    int indexOfLastAttempted;
    int indexOfLastSuccessful;
};

} // namespace krel_std
