#include "file/File.h"

#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "file/IFileFilter.h"
#include "platform/UnicodeLocale.h"
#include "windows/FileSystemCalls.h"

using krel_std_internal::FileSystemCalls;

namespace krel_std {

namespace {

const wchar_t* const ROOT = L"/";

bool isWhiteSpace(wchar_t c) {
    return krel_platform::isUnicodeSpace(c);
}

bool isAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// "C:" at the very start of a path, before a separator, names the root.
bool isDriveLetter(const std::wstring& piece) {
    return piece.size() == 2 && isAsciiLetter(piece[0]) && piece[1] == L':';
}

[[noreturn]] void throwIllegalArgument(const wchar_t* context, const std::wstring& message) {
    KrelIllegalArgumentException exception(message);
    exception.logDebug(context);
    throw exception;
}

void traceCaught(const wchar_t* function, const wchar_t* format, const std::wstring& path,
                 const KrelException& exception) {
    KREL_INTERNAL_DEBUG(function, format, path.c_str(), exception.getMessage().c_str());
}

// Runs call on the canonical path of file; a KrelIOException on the way (the working directory
// cannot be read) is traced with format and answered by failure.
template <typename Result, typename Call>
Result onCanonicalPath(const File& file, const wchar_t* function, const wchar_t* format,
                       Result failure, Call call) {
    try {
        return call(file.getCanonicalPath());
    } catch (const KrelIOException& exception) {
        traceCaught(function, format, file.getPath(), exception);
        return failure;
    }
}

} // namespace

File::File() {}

File::File(const std::wstring& path) : pathList(parsePath(path)) {
    assertPathIsValid(pathList);
}

File::File(const std::wstring& parent, const std::wstring& child) : pathList(parsePath(parent)) {
    appendPathElements(parsePath(child));
    assertPathIsValid(pathList);
}

File::File(const File& parent, const std::wstring& child)
    : Object(parent), pathList(parent.pathList) {
    appendPathElements(parsePath(child));
    assertPathIsValid(pathList);
}

File::File(const File& other) : Object(other), pathList(other.pathList) {}

File& File::operator=(const File& other) {
    if (this != &other) {
        copy(other);
    }
    return *this;
}

File::~File() {}

std::wstring File::toString() const {
    return L"File{path='" + getPath() + L"'}";
}

File File::operator+(const std::wstring& child) const {
    return File(*this, child);
}

std::wstring File::getPath() const {
    return generatePathString(pathList.begin(), pathList.end());
}

bool File::isAbsolute() const {
    return !pathList.empty() && isRootElement(pathList.front());
}

std::wstring File::getName() const {
    if (pathList.size() >= 2) {
        return pathList.back();
    }
    try {
        if (pathList.size() == 1 && !isRootDirectory()) {
            return getAbsoluteFile().getName();
        }
    } catch (const KrelIOException&) {
    }
    return L"";
}

std::wstring File::getParent() const {
    if (pathList.size() >= 2) {
        return generatePathString(pathList.begin(), pathList.end() - 1);
    }
    return isRootDirectory() ? getPath() : L"";
}

File File::getParentFile() const {
    if (pathList.size() >= 2) {
        return fromElements(pathList.begin(), pathList.end() - 1);
    }
    return isRootDirectory() ? *this : File();
}

File File::getAbsoluteFile() const {
    const PathList absolute = getAbsolutePathList(pathList);
    File result;
    result.pathList = absolute;
    return result;
}

std::wstring File::getAbsolutePath() const {
    return getAbsoluteFile().getPath();
}

std::wstring File::getCanonicalPath() const {
    const PathList canonical = getCanonicalPathList(getAbsolutePathList(pathList));
    return generatePathString(canonical.begin(), canonical.end());
}

File File::getCanonicalFile() const {
    const PathList canonical = getCanonicalPathList(getAbsolutePathList(pathList));
    return fromElements(canonical.begin(), canonical.end());
}

bool File::isRootDirectory() const {
    return getAbsolutePath() == ROOT;
}

bool File::operator==(const File& other) const {
    if (this == &other) {
        return true;
    }
    try {
        return getCanonicalPath() == other.getCanonicalPath();
    } catch (const KrelIOException& exception) {
        KREL_INTERNAL_DEBUG(L"krel_std::File::operator==", L"Could not get canonical path: '%ls'",
                            exception.getMessage().c_str());
        return getPath() == other.getPath();
    }
}

bool File::operator!=(const File& other) const {
    return !(*this == other);
}

bool File::exists() const {
    return onCanonicalPath(*this, L"krel_std::File::exists",
                           L"Caught exception checking if file(%ls) exists, returning false: %ls.",
                           false, FileSystemCalls::exists);
}

bool File::isDirectory() const {
    return onCanonicalPath(
        *this, L"krel_std::File::isDirectory",
        L"Caught exception checking if file(%ls) is directory, returning false: %ls.", false,
        FileSystemCalls::isDirectory);
}

bool File::isFile() const {
    return onCanonicalPath(
        *this, L"krel_std::File::isFile",
        L"Caught exception checking if file(%ls) is regular file, returning false: %ls.", false,
        FileSystemCalls::isFile);
}

bool File::isHidden() const {
    return onCanonicalPath(
        *this, L"krel_std::File::isHidden",
        L"Caught exception checking if file(%ls) is hidden, returning false: %ls.", false,
        FileSystemCalls::isHidden);
}

bool File::canRead() const {
    return onCanonicalPath(
        *this, L"krel_std::File::canRead",
        L"Caught exception checking if file(%ls) is readable, returning false: %ls.", false,
        FileSystemCalls::canRead);
}

bool File::canWrite() const {
    return onCanonicalPath(
        *this, L"krel_std::File::canWrite",
        L"Caught exception checking if file(%ls) is writable, returning false: %ls.", false,
        FileSystemCalls::canWrite);
}

uint64_t File::getCreationTime() const {
    return onCanonicalPath(
        *this, L"krel_std::File::getCreationTime",
        L"Caught exception getting creation time for file(%ls), returning 0: %ls.", uint64_t(0),
        FileSystemCalls::getCreationTime);
}

uint64_t File::getLastModificationTime() const {
    return onCanonicalPath(
        *this, L"krel_std::File::getLastModificationTime",
        L"Caught exception getting last modification time for file(%ls), returning 0: %ls.",
        uint64_t(0), FileSystemCalls::getLastModificationTime);
}

uint64_t File::getLength() const {
    return onCanonicalPath(*this, L"krel_std::File::getLength",
                           L"Caught exception getting the file(%ls) length, returning 0: %ls.",
                           uint64_t(0), FileSystemCalls::getLength);
}

std::vector<std::wstring> File::list() const {
    KREL_TRACE_SCOPE(L"krel_std::File::list");
    return onCanonicalPath(
        *this, L"krel_std::File::list",
        L"Caught exception listing the files for directory(%ls), returning empty set: %ls.",
        std::vector<std::wstring>(), [](const std::wstring& path) {
            std::vector<std::wstring> names;
            for (const std::wstring& name : FileSystemCalls::list(path)) {
                if (name.find(L'\\') == std::wstring::npos) {
                    names.push_back(name);
                } else {
                    KREL_INTERNAL_DEBUG(L"krel_std::File::list",
                                        L"Skipping entry <%ls> of directory <%ls>: a name holding "
                                        L"'\\' cannot be addressed.",
                                        name.c_str(), path.c_str());
                }
            }
            return names;
        });
}

std::vector<File> File::listFiles() const {
    return makeChildren(list());
}

std::vector<File> File::listFiles(const IFileFilter& filter) const {
    std::vector<File> accepted;
    for (const File& file : listFiles()) {
        if (filter.accept(file)) {
            accepted.push_back(file);
        }
    }
    return accepted;
}

bool File::mkdir() const {
    return onCanonicalPath(*this, L"krel_std::File::mkdir",
                           L"Caught exception making directory(%ls), returning false: %ls.", false,
                           [this](const std::wstring& path) {
                               if (exists()) {
                                   return false;
                               }
                               if (FileSystemCalls::makeDirectory(path)) {
                                   return true;
                               }
                               const int error = ErrorUtils::getLastError();
                               KREL_INTERNAL_DEBUG(L"krel_std::File::mkdir",
                                                   L"Could not create <%ls> directory: <%ls>.",
                                                   path.c_str(),
                                                   ErrorUtils::getErrorDescription(error).c_str());
                               return false;
                           });
}

bool File::mkdirs() const {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::File::mkdirs", L"Begin. Path <%ls>.", getPath().c_str());
    if (exists()) {
        return false;
    }
    std::vector<File> missing;
    try {
        missing.push_back(getCanonicalFile());
    } catch (const KrelIOException& exception) {
        traceCaught(L"krel_std::File::mkdirs",
                    L"Caught exception making directory(%ls), returning false: %ls.", getPath(),
                    exception);
        return false;
    }
    for (File parent = missing.front().getParentFile();
         !parent.exists() && !parent.isRootDirectory(); parent = parent.getParentFile()) {
        missing.insert(missing.begin(), parent);
    }
    bool made = false;
    for (const File& directory : missing) {
        made = directory.mkdir();
        if (!made) {
            break;
        }
    }
    return made;
}

bool File::renameTo(const File& dest) const {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::File::renameTo", L"Begin. From <%ls> to <%ls>.",
                          getPath().c_str(), dest.getPath().c_str());
    try {
        return FileSystemCalls::rename(getCanonicalPath(), dest.getCanonicalPath());
    } catch (const KrelIOException& exception) {
        KREL_INTERNAL_DEBUG(L"krel_std::File::renameTo",
                            L"Caught exception renaming file from(%ls) to (%ls), returning "
                            L"false: %ls.",
                            getPath().c_str(), dest.getPath().c_str(),
                            exception.getMessage().c_str());
        return false;
    }
}

bool File::remove() const {
    return onCanonicalPath(*this, L"krel_std::File::remove",
                           L"Caught exception removing file(%ls), returning false: %ls.", false,
                           [this](const std::wstring& path) {
                               return FileSystemCalls::exists(path) && removeEntry(path);
                           });
}

bool File::touch() const {
    return onCanonicalPath(*this, L"krel_std::File::touch",
                           L"Caught exception touching file(%ls), returning false: %ls.", false,
                           [](const std::wstring& path) {
                               if (FileSystemCalls::isDirectory(path)) {
                                   return false;
                               }
                               return FileSystemCalls::exists(path)
                                          ? FileSystemCalls::touchExisting(path)
                                          : FileSystemCalls::createEmpty(path);
                           });
}

bool File::rmdirs() const {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::File::rmdirs", L"Begin. Path <%ls>.", getPath().c_str());
    return recursiveRemove(*this);
}

File File::getWorkingDirectory() {
    return fromSystemPath(FileSystemCalls::getWorkingDirectory());
}

File File::getRootDirectory() {
    return fromSystemPath(FileSystemCalls::getRootDirectory());
}

File File::getUserDirectory() {
    return fromSystemPath(FileSystemCalls::getUserDirectory());
}

void File::setWorkingDirectory(const File& dir) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::File::setWorkingDirectory", L"Begin. Path <%ls>.",
                          dir.getPath().c_str());
    if (!dir.isDirectory()) {
        throwIllegalArgument(L"krel_std::File::setWorkingDirectory",
                             L"Directory <" + dir.getPath() + L"> is invalid!");
    }
    FileSystemCalls::setWorkingDirectory(dir.getCanonicalPath());
}

std::vector<File> File::listRoots() {
    std::vector<File> roots;
    for (const std::wstring& root : FileSystemCalls::listRoots()) {
        roots.push_back(fromSystemPath(root));
    }
    return roots;
}

void File::assertFilenameIsValid(const std::wstring& name) {
    if (name.find_first_of(L"/\\") != std::wstring::npos) {
        throwIllegalArgument(L"krel_std::File::assertFilenameIsValid",
                             L"Filename must not contain any slashes.");
    }
    assertPathElementIsValid(name);
}

bool File::isSeparator(wchar_t c) {
    return c == L'/' || c == L'\\';
}

bool File::isSeparator(const std::wstring& text) {
    return text.size() == 1 && isSeparator(text[0]);
}

File::PathList File::parsePath(const std::wstring& path) {
    PathList list;
    const size_t start = !path.empty() && isSeparator(path[0]) ? 1 : 0;
    if (start == 1) {
        list.push_back(ROOT);
    }
    size_t pieceStart = start;
    for (size_t index = start; index <= path.size(); ++index) {
        if (index < path.size() && !isSeparator(path[index])) {
            continue;
        }
        const std::wstring piece = path.substr(pieceStart, index - pieceStart);
        const bool driveRoot = index < path.size() && pieceStart == 0 && isDriveLetter(piece);
        if (driveRoot) {
            list.push_back(ROOT);
        } else if (!piece.empty()) {
            list.push_back(piece);
        }
        pieceStart = index + 1;
    }
    return list;
}

void File::assertPathElementIsValid(const std::wstring& element) {
    if (FileSystemCalls::hasInvalidCharacters(element)) {
        throwIllegalArgument(L"krel_std::File::assertPathElementIsValid",
                             L"Path contains invalid characters.");
    }
    if (!element.empty() && (element.back() == L'.' || isWhiteSpace(element.back()))) {
        throwIllegalArgument(L"krel_std::File::assertPathElementIsValid",
                             L"Path ends with '.' or whitespace.");
    }
}

void File::assertPathIsValid(const PathList& list) {
    size_t length = 0;
    for (const std::wstring& element : list) {
        length += element.size() + 1;
        if (length > MAX_PATH_LENGTH) {
            throwIllegalArgument(L"krel_std::File::assertPathIsValid",
                                 L"Path length exceeded maximum path length.");
        }
        if (!isRootElement(element) && element != L"." && element != L"..") {
            assertPathElementIsValid(element);
        }
    }
}

std::wstring File::generatePathString(PathList::const_iterator first,
                                      PathList::const_iterator last) {
    std::wstring text;
    for (PathList::const_iterator element = first; element != last; ++element) {
        if (element != first && !isRootElement(*(element - 1))) {
            text += L'/';
        }
        text += *element;
    }
    return text;
}

void File::appendPathElements(const PathList& list) {
    PathList::const_iterator first = list.begin();
    if (first != list.end() && isRootElement(*first)) {
        ++first;
    }
    pathList.insert(pathList.end(), first, list.end());
}

File::PathList File::getAbsolutePathList(const PathList& list) {
    if (!list.empty() && isRootElement(list.front())) {
        return list;
    }
    File absolute = getWorkingDirectory();
    absolute.appendPathElements(list);
    return absolute.pathList;
}

void File::copy(const File& other) {
    pathList = other.pathList;
}

bool File::recursiveRemove(const File& file) {
    return onCanonicalPath(file, L"krel_std::File::rmdirs",
                           L"Caught exception removing file(%ls), returning false: %ls.", false,
                           FileSystemCalls::removeTree);
}

File File::fromSystemPath(const std::wstring& path) {
    File file;
    file.pathList = parsePath(path);
    assertPathLengthIsValid(file.pathList);
    return file;
}

void File::assertPathLengthIsValid(const PathList& list) {
    size_t length = 0;
    for (const std::wstring& element : list) {
        length += element.size() + 1;
    }
    if (length > MAX_PATH_LENGTH) {
        throwIllegalArgument(L"krel_std::File::assertPathIsValid",
                             L"Path length exceeded maximum path length.");
    }
}

bool File::isRootElement(const std::wstring& element) {
    return element == ROOT;
}

File File::fromElements(PathList::const_iterator first, PathList::const_iterator last) {
    File file;
    file.pathList.assign(first, last);
    assertPathLengthIsValid(file.pathList);
    return file;
}

File::PathList File::getCanonicalPathList(const PathList& absolute) {
    PathList kept;
    for (const std::wstring& element : absolute) {
        if (element == L".") {
            continue;
        }
        if (element == L"..") {
            // ".." at the root stays at the root.
            if (!kept.empty() && !isRootElement(kept.back())) {
                kept.pop_back();
            }
            continue;
        }
        kept.push_back(element);
    }
    return kept;
}

bool File::removeEntry(const std::wstring& canonicalPath) const {
    if (FileSystemCalls::isDirectory(canonicalPath) &&
        !FileSystemCalls::isSymbolicLink(canonicalPath)) {
        return FileSystemCalls::removeDirectory(canonicalPath);
    }
    return FileSystemCalls::removeFile(canonicalPath);
}

std::vector<File> File::makeChildren(const std::vector<std::wstring>& names) const {
    std::vector<File> children;
    for (const std::wstring& name : names) {
        File child(*this);
        child.pathList.push_back(name);
        assertPathLengthIsValid(child.pathList);
        children.push_back(child);
    }
    return children;
}

} // namespace krel_std
