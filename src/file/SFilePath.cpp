#include "file/SFilePath.h"

#include "base/KrelStdUtils.h"
#include "file/RawPathSeparator.h"

namespace KrelStd {

namespace {

// A narrow separator widened through the ANSI code page, as "%C" formats it.
wchar_t widenSeparator(char separator) {
    const SWString wide = sprintfString(L"%C", separator);
    return wide.empty() ? L'\0' : wide[0];
}

} // namespace

SFilePath::SFilePath() : separator(DefaultSeparator) {}

SFilePath::SFilePath(const char* path, char separator)
    : SWString(path, CT_ANSI, 0), separator(widenSeparator(separator)) {}

SFilePath::SFilePath(const SWString& path, wchar_t separator)
    : SWString(path), separator(separator) {}

SFilePath::SFilePath(const std::wstring& path, wchar_t separator)
    : SWString(path), separator(separator) {}

SFilePath::SFilePath(const SFilePath& other) : SWString(other), separator(other.separator) {}

SFilePath::~SFilePath() {}

SFilePath& SFilePath::operator=(const SFilePath& other) {
    if (this != &other) {
        SWString::operator=(other);
        separator = other.separator;
    }
    return *this;
}

SFilePath& SFilePath::operator=(const std::wstring& path) {
    SWString::operator=(path);
    return *this;
}

SFilePath& SFilePath::operator=(const wchar_t* path) {
    SWString::operator=(path);
    return *this;
}

SFilePath& SFilePath::operator=(const char* path) {
    SWString::operator=(path);
    return *this;
}

int SFilePath::Length() const {
    return static_cast<int>(length());
}

bool SFilePath::IsEmpty() const {
    return empty() || compare(L".") == 0;
}

void SFilePath::Append(const SFilePath& other) {
    if (IsEmpty()) {
        *this = other;
        return;
    }
    const std::wstring text(other); // other may be this path
    std::wstring::push_back(separator);
    std::wstring::append(text);
}

void SFilePath::Append(const std::wstring& text) {
    if (IsEmpty()) {
        std::wstring::assign(text);
        return;
    }
    const std::wstring copy(text); // text may be this path
    std::wstring::push_back(separator);
    std::wstring::append(copy);
}

SFilePath& SFilePath::operator+=(const SFilePath& other) {
    Append(other);
    return *this;
}

SFilePath& SFilePath::operator+=(const std::wstring& text) {
    Append(text);
    return *this;
}

SFilePath SFilePath::operator+(const char* text) const {
    SFilePath joined(*this);
    joined.Append(SFilePath(text, static_cast<char>(DefaultSeparator)));
    return joined;
}

SFilePath SFilePath::operator+(const wchar_t* text) const {
    SFilePath joined(*this);
    joined.Append(std::wstring(text != nullptr ? text : L""));
    return joined;
}

SFilePath SFilePath::operator+(const SFilePath& other) const {
    SFilePath joined(*this);
    joined.Append(other);
    return joined;
}

SFilePath SFilePath::operator+(const SWString& text) const {
    SFilePath joined(*this);
    joined.Append(static_cast<const std::wstring&>(text));
    return joined;
}

SFilePath SFilePath::operator+(const std::wstring& text) const {
    SFilePath joined(*this);
    joined.Append(text);
    return joined;
}

SWString SFilePath::Basename(const wchar_t* suffix) const {
    if (empty()) {
        return SWString(L".");
    }
    const size_type last = rfind(separator);
    if (last == npos) {
        return SWString(static_cast<const std::wstring&>(*this));
    }
    const SWString component(substr(last + 1));
    if (suffix == nullptr || *suffix == L'\0') {
        return component;
    }
    const size_type found = rfind(suffix);
    if (found == npos || found <= last) {
        return SWString(static_cast<const std::wstring&>(*this));
    }
    // The suffix and the character before it are cut; a suffix right after the separator
    // has no such character inside the component, which then stays whole.
    if (found == last + 1) {
        return component;
    }
    return SWString(*this, static_cast<unsigned int>(last + 1),
                    static_cast<unsigned int>(found - 1 - (last + 1)));
}

SWString SFilePath::Suffixname() const {
    const size_type dot = rfind(L'.');
    if (dot == npos) {
        return SWString();
    }
    return SWString(substr(dot + 1));
}

SDirPath SFilePath::Dirname() const {
    const size_type last = rfind(separator);
    if (last == npos) {
        return SDirPath(std::wstring(L"."));
    }
    return SDirPath(std::wstring(*this, 0, last));
}

SWString SFilePath::getFilename(std::wstring path) {
    const wchar_t separator = krel_std_internal::rawPathSeparator(path);
    return SFilePath(path, separator).Basename(L"");
}

SWString SFilePath::getDirectory(std::wstring path) {
    const wchar_t separator = krel_std_internal::rawPathSeparator(path);
    const SFilePath directory(SFilePath(path, separator).Dirname());
    const std::wstring separatorText(1, DefaultSeparator);
    return directory + separatorText;
}

} // namespace KrelStd
