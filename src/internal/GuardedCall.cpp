#include "internal/GuardedCall.h"

#include <exception>

#include "exception/KrelException.h"

namespace krel_std_internal {

void traceGuardedFailure(const wchar_t* context, const std::wstring& call) {
    const wchar_t* const file = KREL_SOURCE_FILE;
    try {
        throw;
    } catch (const krel_std::KrelException& e) {
        krel_std::__internal_debug(context, file, __LINE__, L"%ls unexpectedly throw <%ls>.",
                                   call.c_str(), e.toString().c_str());
    } catch (const std::exception& e) {
        krel_std::__internal_debug(context, file, __LINE__, L"%ls unexpectedly throw <%hs>.",
                                   call.c_str(), e.what());
    } catch (...) {
        krel_std::__internal_debug(context, file, __LINE__,
                                   L"%ls unexpectedly throw <unknown exception>.", call.c_str());
    }
}

void traceIgnoredFailure(const wchar_t* context, const wchar_t* file, unsigned int line) {
    try {
        throw;
    } catch (const krel_std::KrelException& e) {
        KREL_INTERNAL_DEBUG_AT(context, file, line, L"Caught <%ls> which is ignored.",
                               e.toString().c_str());
    } catch (const std::exception& e) {
        KREL_INTERNAL_DEBUG_AT(context, file, line, L"Caught <%hs> which is ignored.", e.what());
    } catch (...) {
        KREL_INTERNAL_DEBUG_AT(context, file, line,
                               L"Caught <unknown exception> which is ignored.");
    }
}

} // namespace krel_std_internal
