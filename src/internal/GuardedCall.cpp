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

} // namespace krel_std_internal
