// The message of the exception a call throws, for tests that compare it.
#pragma once

#include <string>

namespace krel_test {

// Runs the call and answers the message of the exception of type E it throws, or
// "<nothing thrown>" when it returns. Any other exception passes through, failing the test.
template <typename E, typename Call> std::wstring messageOf(Call&& call) {
    try {
        call();
    } catch (const E& e) {
        return e.getMessage();
    }
    return L"<nothing thrown>";
}

} // namespace krel_test
