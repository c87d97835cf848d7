#pragma once

#include <string>

#include "base/Object.h"
#include "platform/WinTypes.h"

namespace krel_std_internal {

// The Windows side of KrelLibrary: one module handle and the path it was loaded from.
class KrelLibraryPimpl : public krel_std::Object {
public:
    KrelLibraryPimpl();
    KrelLibraryPimpl(const KrelLibraryPimpl&) = delete;
    KrelLibraryPimpl& operator=(const KrelLibraryPimpl&) = delete;
    // Frees the module when one was loaded.
    ~KrelLibraryPimpl() override;

    // "KrelLibraryPimpl{path='...'}".
    std::wstring toString() const override;

    // Loads the module at the path. A missing module (codes 2 and 126) throws
    // KrelIllegalArgumentException, any other failure KrelUnknownException, both "Unable to open
    // library <path>: <description>" with the code as error number.
    void load(const std::wstring& path);
    // Throws KrelIllegalArgumentException "Symbol not found <name>" for a missing symbol.
    void* getSymbol(const std::wstring& name);

    const std::wstring& getPath() const { return path; }
    bool isLoaded() const { return module != nullptr; }

private:
    HMODULE module;
    std::wstring path;
};

} // namespace krel_std_internal
