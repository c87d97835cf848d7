// callGuarded: the one way a library thread calls work whose failure must not end the thread.
#pragma once

#include <cxxabi.h>
#include <string>

#include "base/InternalTrace.h"

namespace krel_std_internal {

// Traces the exception being handled at DEBUG, in the function `context`, as
// "<call> unexpectedly throw <exception>.", where exception is a KrelException's toString(), a
// std::exception's what(), else "unknown exception". Call only inside a handler.
void traceGuardedFailure(const wchar_t* context, const std::wstring& call);

// Runs work() and answers whether it completed. A thread's cancellation (the forced unwinding)
// passes through; any other exception is traced as above, with describeCall() naming what was
// called (a listener and its arguments), and answers false. describeCall runs only after a
// failure and only when DEBUG traces are on; a failing trace loses the line, nothing more.
//
// The undefined-behaviour checker takes the binding of the forced-unwind handler (a foreign
// exception without a C++ object) for a null reference; the check is off here for that reason.
template <typename DescribeCall, typename Work>
__attribute__((no_sanitize("null"))) bool callGuarded(const wchar_t* context,
                                                      DescribeCall&& describeCall, Work&& work) {
    try {
        work();
        return true;
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        if (krel_std::__internal_debug_on()) {
            try {
                traceGuardedFailure(context, describeCall());
            } catch (abi::__forced_unwind&) {
                throw;
            } catch (...) {
                // The trace is a courtesy: the caller learns of the failure all the same.
            }
        }
    }
    return false;
}

} // namespace krel_std_internal
