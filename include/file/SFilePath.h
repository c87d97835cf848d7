// The older API's path value: a wide text that remembers which character separates its
// components. Paths are joined and taken apart by plain text rules; nothing is normalised
// (doubled separators, "." and ".." stay as written) and only the path's own separator counts.
#pragma once

#include <string>

#include "base/SWString.h"

namespace KrelStd {

class SDirPath;

class SFilePath : public SWString {
public:
    // The separator the library chooses wherever a caller does not name one.
    static constexpr wchar_t DefaultSeparator = L'/';

    // The empty path with the default separator.
    SFilePath();
    // The text is taken from the ANSI code page, and so is the separator.
    SFilePath(const char* path, char separator);
    SFilePath(const SWString& path, wchar_t separator);
    SFilePath(const std::wstring& path, wchar_t separator);
    SFilePath(const SFilePath& other);
    virtual ~SFilePath();

    SFilePath& operator=(const SFilePath& other);
    // The text is replaced; the separator stays.
    SFilePath& operator=(const std::wstring& path);
    SFilePath& operator=(const wchar_t* path);
    SFilePath& operator=(const char* path);

    // The number of characters of the text.
    int Length() const;
    // True for the empty text and for ".".
    bool IsEmpty() const;

    // Joins: the old text, this path's separator and the other text, the separator inserted
    // even when one is already there. An empty path (see IsEmpty) takes the other text
    // instead, and from another path also its separator.
    void Append(const SFilePath& other);
    void Append(const std::wstring& text);
    SFilePath& operator+=(const SFilePath& other);
    SFilePath& operator+=(const std::wstring& text);

    // A copy with the other path or text joined by Append; a narrow text is taken as a path
    // with the default separator.
    SFilePath operator+(const char* text) const;
    SFilePath operator+(const wchar_t* text) const;
    SFilePath operator+(const SFilePath& other) const;
    SFilePath operator+(const SWString& text) const;
    SFilePath operator+(const std::wstring& text) const;

    // The last component; "." for the empty text, the whole text without a separator. A
    // suffix found after the last separator is cut together with the character before it
    // (normally the "."); a suffix found anywhere else leaves the whole text, and a suffix
    // that starts right after the separator leaves the whole last component.
    SWString Basename(const wchar_t* suffix) const;
    // The text after the last "." of the whole path, or empty.
    SWString Suffixname() const;
    // The text before the last separator, with the default separator; "." without one.
    SDirPath Dirname() const;

    // The last component and the directory part (joined with one more separator) of a raw
    // path text, split at the later of '\' and '/'.
    static SWString getFilename(std::wstring path);
    static SWString getDirectory(std::wstring path);

protected:
    wchar_t separator;
};

} // namespace KrelStd

#include "file/SDirPath.h"
