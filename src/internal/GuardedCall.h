// callGuarded: the one way a library thread calls work whose failure must not end the thread;
// callSwallowing: the one way to swallow a failure but let a thread's cancellation through.
#pragma once

#include <cxxabi.h>
#include <string>
#include <utility>

#include "base/InternalTrace.h"

namespace krel_std_internal {

// Traces the exception being handled at DEBUG, in the function `context`, as
// "<call> unexpectedly throw <exception>.", where exception is a KrelException's toString(), a
// std::exception's what(), else "unknown exception". Call only inside a handler.
void traceGuardedFailure(const wchar_t* context, const std::wstring& call);

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

// Runs work() and answers whether it completed. A thread's cancellation passes through; any other
// exception is traced as above, with describeCall() naming what was called (a listener and its
// arguments), and answers false. describeCall runs only after a failure and only when DEBUG
// traces are on; a failing trace loses the line, nothing more.
template <typename DescribeCall, typename Work>
bool callGuarded(const wchar_t* context, DescribeCall&& describeCall, Work&& work) {
    return callSwallowing(
        [&] {
            work();
            return true;
        },
        [&] {
            if (krel_std::__internal_debug_on()) {
                // The trace is a courtesy: the caller learns of the failure all the same.
                callSwallowing([&] { traceGuardedFailure(context, describeCall()); });
            }
            return false;
        });
}

} // namespace krel_std_internal
