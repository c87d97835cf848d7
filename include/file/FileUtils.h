// FileUtils, whole-file work by path name: copy, read, write, append, compare.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>

namespace krel_std {

class ByteArray;
class ByteBuffer;
class File;

// Whole-file work by path name: copying, existence and size, reading into a byte array or
// buffer, writing and appending bytes, comparing files, and normalising line ends. The reading
// and writing operations open the names as given. Except copyFile, failures are answered by
// false, 0 or an empty pointer (an empty name with a DEBUG trace). Concurrent writers of one
// file are not coordinated: LockedFile does that.
class FileUtils {
public:
    virtual ~FileUtils();

    // Copies every byte up to the source's end. Throws KrelIllegalArgumentException for an
    // unusable source or destination and KrelIOException when the bytes cannot be read or
    // written, or when the source is a device (whose content never ends); the destination then
    // keeps its old content. Copying a file onto itself leaves
    // it as it is. See writeFileContent for how the destination is replaced.
    static void copyFile(const File& source, const File& destination);

    // True for files and directories alike.
    static bool isFileExist(const std::wstring& name);
    static uint64_t getFileSize(const std::wstring& name);

    // Reads to the end of the file or pipe, whatever size it reports. An empty pointer, at
    // once, for a device (/dev/zero has no end) and for a content longer than 1 GiB (a file
    // that reports more is refused before it is read; a pipe or growing file once the read
    // passes the limit); the DEBUG trace tells why.
    static boost::shared_ptr<ByteArray> getFileContent(const std::wstring& name);
    // The bytes in a buffer of the file's size, position 0 and limit at its capacity.
    static boost::shared_ptr<ByteBuffer> getFileContentBuffer(const std::wstring& name);

    // Replace the content; true only when every byte was written. The new content is written
    // beside the file and renamed over it: a reader sees the old or the new content in full,
    // and a failure leaves the old one. A symbolic link is followed (the file it names gets
    // the content and keeps its permission bits); a FIFO or device is written in place.
    static bool writeFileContent(const std::wstring& name, const ByteArray& bytes);
    // The buffer's bytes from its position up to its limit.
    static bool writeFileContent(const std::wstring& name, const ByteBuffer& buffer);
    static bool appendFileContent(const std::wstring& name, const ByteArray& bytes);
    static bool appendFileContent(const std::wstring& name, const ByteBuffer& buffer);

    // True when both files can be read and hold the same bytes.
    static bool compareFileContents(const std::wstring& first, const std::wstring& second);

    // Every CR LF, lone CR and lone LF of text becomes newline.
    static void normalizeNewlines(std::wstring& text, const std::wstring& newline);
    static std::wstring normalizeNewlinesCopy(const std::wstring& text,
                                              const std::wstring& newline);
    // Decodes the bytes in charset, normalises them and encodes them again.
    static boost::shared_ptr<ByteArray> normalizeNewlinesCopy(const ByteArray& bytes,
                                                              const std::wstring& newline,
                                                              const std::wstring& charset);

private:
    FileUtils();

    // The non-throwing empty check: true (after its DEBUG trace) for an empty name.
    static bool isEmptyName(const std::wstring& name, const wchar_t* context,
                            const wchar_t* argumentName);
    // True (after a DEBUG trace) for a name that is empty or holds a NUL character: the system
    // would see only the text before the NUL, another file.
    static bool isUnusableName(const std::wstring& name, const wchar_t* context);
    // Reads the file to its end, as WholeFileReader bounds it, into a target made by `make` of
    // the length read; an empty pointer when the read fails or for a length `make` refuses.
    template <typename Target, typename Make>
    static boost::shared_ptr<Target> readFile(const std::wstring& name, const wchar_t* context,
                                              Make make);
    // Replaces the file's content in one step; the file is unchanged when this fails.
    static bool replaceBytes(const std::wstring& name, const char* bytes, int64_t count,
                             const wchar_t* context);
    static bool appendBytes(const std::wstring& name, const char* bytes, int64_t count,
                            const wchar_t* context);
};

} // namespace krel_std
