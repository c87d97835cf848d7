#include "library/KrelLibrary.h"

#include <memory>
#include <vector>

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelUnknownException.h"
#include "file/File.h"
#include "file/FileUtils.h"
#include "internal/GuardedCall.h"
#include "log/KrelLoggerSTD.h"
#include "platform/CancellationOff.h"
#include "system/KrelSystem.h"
#include "windows/KrelLibraryPimpl.h"

namespace krel_std {

namespace {

const wchar_t* const LIBRARY_SUFFIX = L".so";
const wchar_t* const PATH_SEPARATORS = L";:";

// The directories of a search-path list, in order; runs of separators count as one.
std::vector<std::wstring> splitPathList(const std::wstring& pathList) {
    std::vector<std::wstring> parts;
    std::wstring::size_type start = 0;
    while (start < pathList.size()) {
        const std::wstring::size_type end = pathList.find_first_of(PATH_SEPARATORS, start);
        const std::wstring::size_type stop = end == std::wstring::npos ? pathList.size() : end;
        if (stop > start) {
            parts.push_back(pathList.substr(start, stop - start));
        }
        start = stop + 1;
    }
    return parts;
}

// Keeps the last load failure of the search, to be given as its cause.
class RememberedFailure {
public:
    void remember(const KrelUnknownException& e) { failure.reset(new KrelUnknownException(e)); }
    bool exists() const { return failure != nullptr; }
    const KrelUnknownException& get() const { return *failure; }

private:
    std::unique_ptr<KrelUnknownException> failure;
};

// The constructors' failures are logged at DEBUG where they are thrown.
template <typename E> [[noreturn]] void raise(E exception) {
    exception.logDebug(L"krel_std::KrelLibrary::KrelLibrary");
    throw exception;
}

void trace(const wchar_t* format, const std::wstring& first,
           const std::wstring& second = std::wstring()) {
    KREL_INTERNAL_TRACE(L"krel_std::KrelLibrary::KrelLibrary", format, first.c_str(),
                        second.c_str());
}

} // namespace

KrelLibrary::KrelLibrary(const std::wstring& name)
    : pimpl(new krel_std_internal::KrelLibraryPimpl()) {
    if (!searchLibrary(name)) {
        raise(KrelIllegalArgumentException(L"Unable to locate library <" + name + L">"));
    }
    Singleton<KrelLoggerSTD>::getInstance().STD0006(L"krel_std::KrelLibrary::KrelLibrary",
                                                    pimpl->getPath());
}

KrelLibrary::KrelLibrary(const File& file) : pimpl(new krel_std_internal::KrelLibraryPimpl()) {
    if (!file.exists()) {
        raise(KrelIllegalArgumentException(L"Library file does not exist <" + file.toString() +
                                           L">"));
    }
    try {
        pimpl->load(file.getCanonicalPath());
    } catch (const KrelIOException& e) {
        raise(KrelIllegalArgumentException(
            L"Unable to get path from File object <" + file.toString() + L">", e));
    }
    Singleton<KrelLoggerSTD>::getInstance().STD0006(L"krel_std::KrelLibrary::KrelLibrary",
                                                    pimpl->getPath());
}

KrelLibrary::~KrelLibrary() {
    // No cancellation may unwind out of a destructor: it is off while the unload is logged.
    krel_platform::CancellationOff cancellationOff;
    try {
        Singleton<KrelLoggerSTD>::getInstance().STD0007(L"krel_std::KrelLibrary::~KrelLibrary",
                                                        pimpl->getPath());
    } catch (...) {
        // The library is released whether or not its unload could be logged.
    }
}

// The stages of the search, in order; the first that loads the library ends it. A load
// failure of the system property's directories leaves at once; those of the later stages are
// remembered and become the cause of the final failure.
bool KrelLibrary::searchLibrary(const std::wstring& name) {
    const std::wstring fileName = name + LIBRARY_SUFFIX;
    KrelSystem& system = KrelSystem::getInstance();
    const std::wstring propertyKey = L"Ext_Library_Path";
    const std::wstring propertyValue = system.getProperty(propertyKey, L"");
    trace(L"Trying KrelSystem key <%ls> value <%ls>.", propertyKey, propertyValue);
    if (tryMultiplePaths(propertyValue, fileName)) {
        return true;
    }

    RememberedFailure failure;
    try {
        const std::wstring current = File().getCanonicalPath();
        trace(L"Trying current directory <%ls>.", current);
        if (tryPath(current, fileName)) {
            return true;
        }
    } catch (const KrelUnknownException& e) {
        failure.remember(e);
    } catch (const KrelIOException&) {
        // The current directory cannot be read: the search goes on with the environment.
    }

    const std::wstring libValue = system.getEnv(L"LIB");
    trace(L"Trying environment key <%ls> value <%ls>.", L"LIB", libValue);
    try {
        if (tryMultiplePaths(libValue, fileName)) {
            return true;
        }
    } catch (const KrelUnknownException& e) {
        failure.remember(e);
    }

    const std::wstring pathValue = system.getEnv(L"PATH");
    trace(L"Trying environment PATH value <%ls>.", pathValue);
    try {
        if (tryMultiplePaths(pathValue, fileName)) {
            return true;
        }
    } catch (const KrelUnknownException& e) {
        failure.remember(e);
    }

    if (failure.exists()) {
        raise(KrelUnknownException(L"Unable to locate library <" + name + L">", failure.get()));
    }
    return false;
}

bool KrelLibrary::tryPath(const std::wstring& directory, const std::wstring& fileName) {
    return krel_std_internal::callSwallowing(
        [&] {
            const std::wstring path = File(directory, fileName).getCanonicalPath();
            if (!FileUtils::isFileExist(path)) {
                return false;
            }
            pimpl->load(path);
            return true;
        },
        [&] {
            try {
                throw;
            } catch (const KrelUnknownException&) {
                throw;
            } catch (...) {
                return false;
            }
        });
}

bool KrelLibrary::tryMultiplePaths(const std::wstring& pathList, const std::wstring& fileName) {
    RememberedFailure failure;
    for (const std::wstring& directory : splitPathList(pathList)) {
        try {
            if (tryPath(directory, fileName)) {
                return true;
            }
        } catch (const KrelUnknownException& e) {
            failure.remember(e);
        }
    }
    if (failure.exists()) {
        throw KrelUnknownException(failure.get());
    }
    return false;
}

std::wstring KrelLibrary::getPath() const {
    return pimpl->getPath();
}

std::wstring KrelLibrary::toString() const {
    return L"KrelLibrary{path='" + pimpl->getPath() + L"'}";
}

void* KrelLibrary::getSymbolInternal(const std::wstring& name) {
    return pimpl->getSymbol(name);
}

} // namespace krel_std
