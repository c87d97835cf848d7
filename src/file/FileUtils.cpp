#include "file/FileUtils.h"

#include <algorithm>
#include <boost/algorithm/string/replace.hpp>
#include <climits>
#include <cstdint>
#include <new>

#include "base/ByteArray.h"
#include "base/ByteBuffer.h"
#include "base/ErrorUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "file/File.h"
#include "file/SmartFileHandle.h"
#include "file/WholeFileReader.h"
#include "platform/FileReplacement.h"
#include "platform/WinCrtFile.h"

namespace krel_std {

namespace {

const int READ_FLAGS = _O_RDONLY | _O_BINARY;
const int APPEND_FLAGS = _O_WRONLY | _O_CREAT | _O_APPEND | _O_BINARY;
const int NEW_FILE_PERMISSION = _S_IREAD | _S_IWRITE;
// Read and write for everyone the process's umask lets through, as NEW_FILE_PERMISSION gives.
const mode_t NEW_FILE_MODE = 0666;
const int COPY_BLOCK = 4096;
const int64_t MAX_CHUNK = INT_MAX;

template <typename Exception>
[[noreturn]] void throwLogged(const wchar_t* context, const std::wstring& message) {
    Exception exception(message);
    exception.logDebug(context);
    throw exception;
}

char* storageOf(ByteArray& bytes) {
    return bytes.getArray().get();
}

char* storageOf(ByteBuffer& buffer) {
    return buffer.array();
}

// Copies the source's bytes, up to its end, into the replacement of the destination.
void copyBytes(int source, krel_platform::FileReplacement& destination) {
    char block[COPY_BLOCK];
    for (;;) {
        const int count = _read(source, block, COPY_BLOCK);
        if (count == 0) {
            return;
        }
        if (count < 0) {
            throwLogged<KrelIOException>(L"krel_std::FileUtils::copyFile",
                                         L"Unable to read from file: " +
                                             ErrorUtils::getLastErrorDescription());
        }
        if (!destination.write(block, static_cast<size_t>(count))) {
            throwLogged<KrelIOException>(L"krel_std::FileUtils::copyFile",
                                         L"Unable to write to file: " +
                                             ErrorUtils::getLastErrorDescription());
        }
    }
}

// The same file: one device and one inode.
bool isSameFile(const File& first, const File& second) {
    struct _stat64 a {};
    struct _stat64 b {};
    return _wstat64(first.getCanonicalPath().c_str(), &a) == 0 &&
           _wstat64(second.getCanonicalPath().c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

void checkCopyArguments(const File& source, const File& destination) {
    const wchar_t* context = L"krel_std::FileUtils::copyFile";
    if (!source.isFile() || !source.canRead()) {
        throwLogged<KrelIllegalArgumentException>(context, L"Source file (" + source.getPath() +
                                                               L") is invalid or unreadable.");
    }
    if (destination.isDirectory()) {
        throwLogged<KrelIllegalArgumentException>(context, L"Destination file is a directory: " +
                                                               destination.getPath());
    }
    if (destination.exists() && !destination.canWrite()) {
        throwLogged<KrelIllegalArgumentException>(context, L"Destination file cannot be written: " +
                                                               destination.getPath());
    }
    if (!destination.getParentFile().exists()) {
        throwLogged<KrelIllegalArgumentException>(
            context,
            L"Parent directory for destination file does not exist: " + destination.getParent());
    }
}

} // namespace

FileUtils::FileUtils() {}

FileUtils::~FileUtils() {}

void FileUtils::copyFile(const File& source, const File& destination) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FileUtils::copyFile", L"Begin. From <%ls> to <%ls>.",
                          source.getPath().c_str(), destination.getPath().c_str());
    checkCopyArguments(source, destination);
    if (isSameFile(source, destination)) {
        return;
    }
    SmartFileHandle<int> input(_wopen(source.getCanonicalPath().c_str(), READ_FLAGS));
    if (!input.isValid()) {
        throwLogged<KrelIOException>(L"krel_std::FileUtils::copyFile",
                                     ErrorUtils::getLastErrorDescription());
    }
    // A device's content never ends: its copy would fill the disk.
    if (krel_std_internal::WholeFileReader::isDevice(input.get())) {
        throwLogged<KrelIOException>(L"krel_std::FileUtils::copyFile",
                                     L"Unable to read from file: " + source.getPath() +
                                         L" is a device, whose content never ends.");
    }
    // The copy is written beside the destination and takes its place only when complete: a
    // failed copy leaves the destination as it was.
    krel_platform::FileReplacement output;
    if (!output.begin(destination.getCanonicalPath(), krel_platform::FileReplacement::Unlocked,
                      NEW_FILE_MODE)) {
        throwLogged<KrelIOException>(L"krel_std::FileUtils::copyFile",
                                     ErrorUtils::getLastErrorDescription());
    }
    copyBytes(input.get(), output);
    if (!output.commit()) {
        throwLogged<KrelIOException>(L"krel_std::FileUtils::copyFile",
                                     L"Unable to write to file: " +
                                         ErrorUtils::getLastErrorDescription());
    }
}

bool FileUtils::isFileExist(const std::wstring& name) {
    if (isEmptyName(name, L"krel_std::FileUtils::isFileExist", L"Filename")) {
        return false;
    }
    return File(name).exists();
}

uint64_t FileUtils::getFileSize(const std::wstring& name) {
    if (isEmptyName(name, L"krel_std::FileUtils::getFileSize", L"Filename")) {
        return 0;
    }
    return File(name).getLength();
}

template <typename Target, typename Make>
boost::shared_ptr<Target> FileUtils::readFile(const std::wstring& name, const wchar_t* context,
                                              Make make) {
    if (isUnusableName(name, context)) {
        return boost::shared_ptr<Target>();
    }
    SmartFileHandle<int> descriptor(_wopen(name.c_str(), READ_FLAGS));
    if (ErrorUtils::isEqual(descriptor.get(), -1, context, L"File handle")) {
        return boost::shared_ptr<Target>();
    }
    try {
        const std::string bytes =
            krel_std_internal::WholeFileReader::readDescriptor(descriptor.get(), context);
        boost::shared_ptr<Target> target = make(static_cast<long>(bytes.size()));
        std::copy(bytes.begin(), bytes.end(), storageOf(*target));
        return target;
    } catch (const KrelIOException&) {
        // The reader has traced why.
        return boost::shared_ptr<Target>();
    } catch (const KrelIllegalArgumentException&) {
        return boost::shared_ptr<Target>();
    } catch (const std::bad_alloc&) {
        return boost::shared_ptr<Target>();
    }
}

boost::shared_ptr<ByteArray> FileUtils::getFileContent(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FileUtils::getFileContent", L"Begin. File <%ls>.",
                          name.c_str());
    return readFile<ByteArray>(name, L"krel_std::FileUtils::getFileContent", [](long length) {
        return boost::shared_ptr<ByteArray>(new ByteArray(length));
    });
}

boost::shared_ptr<ByteBuffer> FileUtils::getFileContentBuffer(const std::wstring& name) {
    KREL_TRACE_SCOPE_ARGS(L"krel_std::FileUtils::getFileContentBuffer", L"Begin. File <%ls>.",
                          name.c_str());
    return readFile<ByteBuffer>(name, L"krel_std::FileUtils::getFileContentBuffer",
                                [](long length) { return ByteBuffer::allocate(length); });
}

bool FileUtils::writeFileContent(const std::wstring& name, const ByteArray& bytes) {
    return replaceBytes(name, bytes.getArray().get(), bytes.getLength(),
                        L"krel_std::FileUtils::writeFileContent");
}

bool FileUtils::writeFileContent(const std::wstring& name, const ByteBuffer& buffer) {
    // array() only hands out the storage; it is read here, never changed.
    ByteBuffer& source = const_cast<ByteBuffer&>(buffer);
    return replaceBytes(name, source.array() + buffer.getPosition(),
                        buffer.getLimit() - buffer.getPosition(),
                        L"krel_std::FileUtils::writeFileContent");
}

bool FileUtils::appendFileContent(const std::wstring& name, const ByteArray& bytes) {
    return appendBytes(name, bytes.getArray().get(), bytes.getLength(),
                       L"krel_std::FileUtils::appendFileContent");
}

bool FileUtils::appendFileContent(const std::wstring& name, const ByteBuffer& buffer) {
    ByteBuffer& source = const_cast<ByteBuffer&>(buffer);
    return appendBytes(name, source.array() + buffer.getPosition(),
                       buffer.getLimit() - buffer.getPosition(),
                       L"krel_std::FileUtils::appendFileContent");
}

bool FileUtils::replaceBytes(const std::wstring& name, const char* bytes, int64_t count,
                             const wchar_t* context) {
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. File <%ls>.", name.c_str());
    if (isUnusableName(name, context)) {
        return false;
    }
    // The new content is written beside the file and takes its place only when complete: a
    // failed write leaves the file as it was.
    krel_platform::FileReplacement replacement;
    if (!replacement.begin(name, krel_platform::FileReplacement::Unlocked, NEW_FILE_MODE)) {
        KREL_INTERNAL_DEBUG(context, L"Unable to write file <%ls>: %ls.", name.c_str(),
                            ErrorUtils::getLastErrorDescription().c_str());
        return false;
    }
    return replacement.write(bytes, static_cast<size_t>(std::max<int64_t>(count, 0))) &&
           replacement.commit();
}

bool FileUtils::appendBytes(const std::wstring& name, const char* bytes, int64_t count,
                            const wchar_t* context) {
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. File <%ls>.", name.c_str());
    if (isUnusableName(name, context)) {
        return false;
    }
    SmartFileHandle<int> descriptor(_wopen(name.c_str(), APPEND_FLAGS, NEW_FILE_PERMISSION));
    if (ErrorUtils::isEqual(descriptor.get(), -1, context, L"File handle")) {
        return false;
    }
    for (int64_t done = 0; done < count;) {
        const int written = _write(descriptor.get(), bytes + done,
                                   static_cast<unsigned int>(std::min(count - done, MAX_CHUNK)));
        if (written <= 0) {
            return false;
        }
        done += written;
    }
    return descriptor.close() == 0;
}

bool FileUtils::compareFileContents(const std::wstring& first, const std::wstring& second) {
    if (isEmptyName(first, L"krel_std::FileUtils::compareFileContents", L"First filename") ||
        isEmptyName(second, L"krel_std::FileUtils::compareFileContents", L"Second filename")) {
        return false;
    }
    const boost::shared_ptr<ByteArray> firstBytes = getFileContent(first);
    if (!firstBytes) {
        return false;
    }
    const boost::shared_ptr<ByteArray> secondBytes = getFileContent(second);
    return secondBytes && *firstBytes == *secondBytes;
}

void FileUtils::normalizeNewlines(std::wstring& text, const std::wstring& newline) {
    // Pairs first, so that a CR LF becomes one newline, never two.
    if (newline == L"\r") {
        boost::algorithm::replace_all(text, L"\r\n", L"\r");
        boost::algorithm::replace_all(text, L"\n", L"\r");
    } else if (newline == L"\n") {
        boost::algorithm::replace_all(text, L"\r\n", L"\n");
        boost::algorithm::replace_all(text, L"\r", L"\n");
    } else {
        boost::algorithm::replace_all(text, L"\r\n", L"\n");
        boost::algorithm::replace_all(text, L"\r", L"\n");
        boost::algorithm::replace_all(text, L"\n", newline);
    }
}

std::wstring FileUtils::normalizeNewlinesCopy(const std::wstring& text,
                                              const std::wstring& newline) {
    std::wstring copy(text);
    normalizeNewlines(copy, newline);
    return copy;
}

boost::shared_ptr<ByteArray> FileUtils::normalizeNewlinesCopy(const ByteArray& bytes,
                                                              const std::wstring& newline,
                                                              const std::wstring& charset) {
    const std::wstring text = normalizeNewlinesCopy(bytes.toWString(charset), newline);
    return boost::shared_ptr<ByteArray>(new ByteArray(text, charset));
}

bool FileUtils::isUnusableName(const std::wstring& name, const wchar_t* context) {
    if (isEmptyName(name, context, L"Filename")) {
        return true;
    }
    if (name.find(L'\0') == std::wstring::npos) {
        return false;
    }
    KREL_INTERNAL_DEBUG(context, L"Filename <%ls> holds a NUL character.", name.c_str());
    return true;
}

bool FileUtils::isEmptyName(const std::wstring& name, const wchar_t* context,
                            const wchar_t* argumentName) {
    try {
        ErrorUtils::isEmptyEx(name, context, argumentName);
        return false;
    } catch (const KrelIllegalArgumentException&) {
        return true;
    }
}

} // namespace krel_std
