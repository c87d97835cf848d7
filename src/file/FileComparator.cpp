#include "file/FileComparator.h"

#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "file/File.h"

namespace krel_std {

bool FileComparator::operator()(const File& first, const File& second) const {
    try {
        return first.getCanonicalPath() < second.getCanonicalPath();
    } catch (const KrelIOException& exception) {
        KREL_INTERNAL_DEBUG(L"krel_std::FileComparator::operator()",
                            L"Could not get canonical path: '%ls'", exception.getMessage().c_str());
        return first.getPath() < second.getPath();
    }
}

} // namespace krel_std
