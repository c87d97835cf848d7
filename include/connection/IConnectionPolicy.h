// IConnectionPolicy, the choice of the service index a connection manager tries next.
#pragma once

#include <string>

namespace krel_std {

// Chooses which service index a connection manager tries next and remembers the last attempted
// and the last successful index. The policy does not know how many services exist: an answer
// may lie past the end of the list, and wrapping to 0 is the manager's business.
//
// Policies are held by shared pointers made from their own class; the destructor is protected
// so that nobody deletes one through this interface.
class IConnectionPolicy {
public:
    virtual std::wstring getClassName() const = 0;
    virtual int getIndexOfConnectionInfoInLastAttempt() const = 0;
    virtual int getIndexOfConnectionInfoInLastSuccessful() const = 0;
    // isFirstAttempt is true for the first index of a cycle of attempts, false after a failed
    // attempt; isRecovery is true for cycles of the recovery thread.
    virtual int getIndexForNextConnectionAttempt(bool isRecovery, bool isFirstAttempt) const = 0;
    virtual void setIndexOfConnectionInfoInLastAttempt(int index) = 0;
    virtual void setIndexOfConnectionInfoInLastSuccessful(int index) = 0;
    virtual std::wstring toString() const = 0;

protected:
    ~IConnectionPolicy() {}
};

} // namespace krel_std
