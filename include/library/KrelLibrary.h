// KrelLibrary, one loaded dynamic library and the addresses of its symbols.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <string>

#include "base/Object.h"

namespace krel_std_internal {
class KrelLibraryPimpl;
} // namespace krel_std_internal

namespace krel_std {

class File;

// One loaded dynamic library and the addresses of its exported symbols. The library stays
// loaded until the last owner of the loader is gone (and its code stays mapped for the rest of
// the process, so objects it registered may outlive it). Owners share a loader through
// boost::shared_ptr<KrelLibrary>.
class KrelLibrary : public Object, private boost::noncopyable {
public:
    // Looks for the name followed by ".so" (always appended) in the directories of the system
    // property "Ext_Library_Path", then the current directory, then the directories of the
    // environment variables LIB and PATH, and loads the first one found. Directory lists are
    // separated by ';' or ':'. Throws KrelIllegalArgumentException "Unable to locate library
    // <name>" when no candidate exists, KrelUnknownException with the same message (and the
    // last load failure as cause) when candidates existed but none loaded; a candidate of the
    // system property that fails to load throws its own KrelUnknownException at once.
    explicit KrelLibrary(const std::wstring& name);
    // Loads exactly the given file. Throws KrelIllegalArgumentException "Library file does not
    // exist <file>" for a missing file.
    explicit KrelLibrary(const File& file);
    // Logs the unload, then gives up this loader's share of the module.
    ~KrelLibrary() override;

    // The canonical path the library was loaded from.
    std::wstring getPath() const;
    // "KrelLibrary{path='...'}".
    std::wstring toString() const override;

    // The exported symbol's address as T (a function pointer type). Throws
    // KrelIllegalArgumentException "Symbol not found <name>" when the library has none.
    template <typename T> T getSymbol(const std::wstring& name) {
        return reinterpret_cast<T>(getSymbolInternal(name));
    }

private:
    void* getSymbolInternal(const std::wstring& name);
    // Loads directory/fileName when that file exists. A KrelUnknownException (a file found but
    // not loadable) passes on; any other failure answers false.
    bool tryPath(const std::wstring& directory, const std::wstring& fileName);
    // tryPath for each directory of the list in order, until one loads. Remembers the last
    // KrelUnknownException and throws it when no directory loaded the library.
    bool tryMultiplePaths(const std::wstring& pathList, const std::wstring& fileName);
    // The whole search for name + ".so"; false when no candidate exists.
    bool searchLibrary(const std::wstring& name);

    boost::shared_ptr<krel_std_internal::KrelLibraryPimpl> pimpl;
};

} // namespace krel_std
