#include "windows/KrelLibraryPimpl.h"

#include "base/EncodingUtils.h"
#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelUnknownException.h"
#include "platform/WinLibrary.h"

namespace krel_std_internal {

using krel_std::ErrorUtils;

KrelLibraryPimpl::KrelLibraryPimpl() : module(nullptr) {}

KrelLibraryPimpl::~KrelLibraryPimpl() {
    if (module != nullptr) {
        FreeLibrary(module);
    }
}

std::wstring KrelLibraryPimpl::toString() const {
    return L"KrelLibraryPimpl{path='" + path + L"'}";
}

void KrelLibraryPimpl::load(const std::wstring& libraryPath) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std_internal::KrelLibraryPimpl::load", L"Begin with Path <%ls>.",
                          libraryPath.c_str());
    HMODULE loaded = LoadLibraryW(libraryPath.c_str());
    if (loaded != nullptr) {
        module = loaded;
        path = libraryPath;
        return;
    }
    const int code = ErrorUtils::getLastError();
    const std::wstring message =
        L"Unable to open library <" + libraryPath + L">: " + ErrorUtils::getErrorDescription(code);
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_MOD_NOT_FOUND) {
        krel_std::KrelIllegalArgumentException exception(message, code);
        exception.logDebug(L"krel_std_internal::KrelLibraryPimpl::load");
        throw exception;
    }
    krel_std::KrelUnknownException exception(message, code);
    exception.logDebug(L"krel_std_internal::KrelLibraryPimpl::load");
    throw exception;
}

void* KrelLibraryPimpl::getSymbol(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std_internal::KrelLibraryPimpl::getSymbol",
                          L"Begin with function name <%ls>.", name.c_str());
    const std::string narrow = krel_std::EncodingUtils::convertUnicodeToMbcs(name, 0);
    FARPROC symbol = module != nullptr ? GetProcAddress(module, narrow.c_str()) : nullptr;
    if (symbol == nullptr) {
        krel_std::KrelIllegalArgumentException exception(L"Symbol not found <" + name + L">");
        exception.logDebug(L"krel_std_internal::KrelLibraryPimpl::getSymbol");
        throw exception;
    }
    return reinterpret_cast<void*>(symbol);
}

} // namespace krel_std_internal
