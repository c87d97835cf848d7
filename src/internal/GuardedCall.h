// callGuarded: the one way a library thread calls work whose failure must not end the thread.
// callSwallowing, the stand-in's one way to swallow a failure but let a cancellation through, is
// offered here under this namespace too.
#pragma once

#include <string>
#include <utility>

#include "base/InternalTrace.h"
#include "platform/SwallowingCall.h"

namespace krel_std_internal {

// Traces the exception being handled at DEBUG, in the function `context`, as
// "<call> unexpectedly throw <exception>.", where exception is a KrelException's toString(), a
// std::exception's what(), else "unknown exception". Call only inside a handler.
void traceGuardedFailure(const wchar_t* context, const std::wstring& call);

// Traces the exception being handled at DEBUG, in the function `context` and credited to the
// caller's file and line, as "Caught <exception> which is ignored.". Call only inside a handler.
void traceIgnoredFailure(const wchar_t* context, const wchar_t* file, unsigned int line);

using krel_platform::callSwallowing;

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
