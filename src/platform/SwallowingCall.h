// callSwallowing: the one way to swallow a failure but let a thread's cancellation through.
#pragma once

#include <cxxabi.h>
#include <utility>

namespace krel_platform {

// Runs work() and answers its answer. A thread's cancellation (the forced unwinding) passes
// through; any other exception is swallowed: onFailure() runs inside the handler, where it may
// look at the exception by rethrowing it (`throw;`) or let it go on, and its answer is the call's.
//
// The undefined-behaviour checker takes the binding of the forced-unwind handler (a foreign
// exception without a C++ object) for a null reference; the check is off here for that reason.
template <typename Work, typename OnFailure>
__attribute__((no_sanitize("null"))) auto callSwallowing(Work&& work, OnFailure&& onFailure) {
    try {
        return work();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        return onFailure();
    }
}

// Runs work(); any exception but a thread's cancellation is swallowed.
template <typename Work> void callSwallowing(Work&& work) {
    callSwallowing(std::forward<Work>(work), [] {});
}

} // namespace krel_platform
