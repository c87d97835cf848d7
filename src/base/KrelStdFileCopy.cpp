// The file functions of the older utility set. Paths are ANSI texts; the runtime stand-in
// makes the one conversion of a raw path text for the file system.
#include <cerrno>
#include <cstdio>
#include <new>

#include "base/InternalTrace.h"
#include "base/KrelStdUtils.h"
#include "base/LogFunctionCall.h"
#include "platform/WinBase.h"
#include "platform/WinCrtFile.h"
#include "platform/WinFile.h"

namespace KrelStd {

namespace {

SWString widePath(const char* path) {
    return SWString(path, CT_ANSI, 0);
}

// Closes a stream when the scope ends unless it was closed (and checked) before.
class StreamCloser {
public:
    explicit StreamCloser(FILE* stream) : stream(stream) {}
    StreamCloser(const StreamCloser&) = delete;
    StreamCloser& operator=(const StreamCloser&) = delete;
    ~StreamCloser() {
        if (stream != nullptr) {
            std::fclose(stream);
        }
    }

    FILE* get() const { return stream; }
    // Closes now; false when buffered bytes could not be written.
    bool close() {
        FILE* closing = stream;
        stream = nullptr;
        return std::fclose(closing) == 0;
    }

private:
    FILE* stream;
};

// Copies the rest of `in` to `out` in blocks of blockSize bytes. A read error is a failure,
// never the end of the source.
template <std::size_t blockSize> bool copyStream(FILE* in, FILE* out) {
    char block[blockSize];
    for (;;) {
        const std::size_t read = std::fread(block, 1, blockSize, in);
        if (read > 0 && std::fwrite(block, 1, read, out) != read) {
            return false;
        }
        if (read < blockSize) {
            return std::ferror(in) == 0;
        }
    }
}

// True when both names reach one existing file, which a copy or move would destroy.
bool sameFile(const SWString& first, const SWString& second) {
    struct _stat64 firstStatus {};
    struct _stat64 secondStatus {};
    return _wstat64(first.c_str(), &firstStatus) == 0 &&
           _wstat64(second.c_str(), &secondStatus) == 0 &&
           firstStatus.st_dev == secondStatus.st_dev && firstStatus.st_ino == secondStatus.st_ino;
}

enum class Removal { Removed, Missing, AccessDenied, Failed };

// Removes a file as Windows does: a directory or a read-only file is refused with access
// denied.
Removal removeFile(const SWString& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return Removal::AccessDenied;
    }
    if (_wremove(path.c_str()) == 0) {
        return Removal::Removed;
    }
    return errno == ENOENT   ? Removal::Missing
           : errno == EACCES ? Removal::AccessDenied
                             : Removal::Failed;
}

bool renameWithRetries(const SWString& source, const SWString& target) {
    const DWORD pauses[] = {1, 2, 4, 8};
    for (int attempt = 0;; ++attempt) {
        if (_wrename(source.c_str(), target.c_str()) == 0) {
            return true;
        }
        if (attempt == 4) {
            return false;
        }
        Sleep(pauses[attempt]);
    }
}

// Copies the source over the target as text and empties the source after a complete copy.
// The source is opened first, so a source that cannot be opened leaves the target alone.
bool copyAndEmpty(const SWString& source, const SWString& target) {
    StreamCloser in(_wfopen(source.c_str(), L"r+t"));
    if (in.get() == nullptr) {
        return false;
    }
    StreamCloser out(_wfopen(target.c_str(), L"wt"));
    if (out.get() == nullptr) {
        return false;
    }
    if (!copyStream<512>(in.get(), out.get()) || !out.close()) {
        return false;
    }
    in.close();
    StreamCloser emptied(_wfopen(source.c_str(), L"wt"));
    return emptied.get() != nullptr;
}

void traceCopyFailure(const char* source, const char* target) {
    KREL_INTERNAL_DEBUG(L"KrelStd::CopyOver", L"Could not copy file [%hs] to [%hs]!", source,
                        target);
}

} // namespace

bool FileCopy(const char* source, const char* target) {
    try {
        const SWString from = widePath(source);
        const SWString to = widePath(target);
        StreamCloser in(_wfopen(from.c_str(), L"rb"));
        if (in.get() == nullptr) {
            return false;
        }
        if (sameFile(from, to)) {
            return true;
        }
        StreamCloser out(_wfopen(to.c_str(), L"wb"));
        if (out.get() == nullptr) {
            return false;
        }
        const bool copied = copyStream<1024>(in.get(), out.get());
        if (!out.close() || !copied) {
            _wremove(to.c_str());
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool FileExist(const SWString& path) {
    struct _wfinddata64i32_t found;
    const intptr_t search = _wfindfirst64i32(path.c_str(), &found);
    if (search == -1) {
        return false;
    }
    _findclose(search);
    return true;
}

int CopyOver(const char* source, const char* target) {
    if (source == nullptr || target == nullptr) {
        traceCopyFailure(source, target);
        return 1;
    }
    try {
        const SWString from = widePath(source);
        const SWString to = widePath(target);
        // A missing source would cost the target and bring nothing; a file moved onto itself
        // stays as it is.
        if (GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES) {
            traceCopyFailure(source, target);
            return 1;
        }
        if (sameFile(from, to)) {
            return 0;
        }
        const Removal removal = removeFile(to);
        if (removal == Removal::AccessDenied) {
            KREL_INTERNAL_DEBUG(L"KrelStd::CopyOver",
                                L"File [%hs] is a directory or read-only, deleting file [%hs]",
                                target, source);
            _wremove(from.c_str());
            traceCopyFailure(source, target);
            return 1;
        }
        if (removal != Removal::Failed && renameWithRetries(from, to)) {
            return 0;
        }
        if (copyAndEmpty(from, to)) {
            return 0;
        }
    } catch (const std::bad_alloc&) {
    }
    traceCopyFailure(source, target);
    return 1;
}

} // namespace KrelStd
