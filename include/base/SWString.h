// The older API's wide string: a std::wstring that also takes and hands out narrow text in a
// Windows code page, UTF-8 and Base64.
#pragma once

#include <string>

namespace KrelStd {

// The form of the bytes given to the byte constructors; any other value reads as CT_ANSI.
enum CodeType { CT_ANSI = 1, CT_UNICODE = 2, CT_UTF8 = 3, CT_BASE64 = 4 };

// Taking the text of another SWString takes it up to its first zero character. The narrow
// forms keep their result in a buffer of the string, valid until the next narrow call.
class SWString : public std::wstring {
public:
    typedef std::wstring::iterator iterator;
    typedef std::wstring::const_iterator const_iterator;

    SWString(const wchar_t* text);
    SWString(const std::wstring& text = std::wstring());
    SWString(const SWString& other);
    SWString(const std::wstring& text, unsigned int pos, unsigned int n);
    SWString(unsigned int n, wchar_t c);
    SWString(const_iterator first, const_iterator last);
    SWString(const wchar_t* text, unsigned int n);
    SWString(wchar_t c);
    // The narrow character widened through the ANSI code page.
    SWString(char c);
    SWString(const char* bytes, CodeType type, unsigned int codePage);
    SWString(const char* bytes, long length, CodeType type, unsigned int codePage);
    virtual ~SWString();

    // Narrow forms, kept in the string's narrow buffer.
    const char* mb_str(unsigned int codePage) const;
    const char* utf8_str() const;
    // The Base64 text of the ANSI form.
    const char* base64_str() const;

    // Invalid input answers false and leaves the text unchanged; null or empty input sets
    // the empty text.
    bool SetUTF8(const char* bytes);
    bool SetUTF8(const char* bytes, long length);
    bool SetBase64(const char* text);
    bool SetBase64(const char* text, long length);

    // Narrow text converted from the code page first; a null text counts as empty.
    SWString& assign(const char* text, unsigned int codePage);
    SWString& append(const char* text, unsigned int codePage);
    SWString& insert(unsigned int pos, const char* text, unsigned int codePage);
    SWString& replace(unsigned int pos, unsigned int n, const char* text, unsigned int codePage);
    SWString& operator=(const char* text);

    // Compare the ANSI form with the narrow text byte by byte.
    bool operator==(const char* text) const;
    bool operator!=(const char* text) const;
    // Code point order up to the first zero.
    bool operator<(const SWString& other) const;

    const wchar_t* t_str() const;
    int ToInt() const;
    long ToLong() const;
    SWString& ToUpper();
    SWString& ToLower();
    SWString& TrimString();

    SWString& operator=(const SWString& other);
    SWString& operator=(const std::wstring& text);
    SWString& operator=(const wchar_t* text);
    SWString& operator=(wchar_t c);

    SWString& operator+=(const SWString& other);
    SWString& operator+=(const std::wstring& text);
    SWString& operator+=(const wchar_t* text);
    SWString& operator+=(wchar_t c);

    SWString operator+(const SWString& other) const;
    SWString operator+(const std::wstring& text) const;
    SWString operator+(const wchar_t* text) const;
    SWString operator+(wchar_t c) const;

    SWString& append(const SWString& other);
    SWString& append(const std::wstring& text);
    SWString& append(const wchar_t* text);
    SWString& append(const wchar_t* text, unsigned int n);
    SWString& append(const wchar_t* text, unsigned int pos, unsigned int n);
    SWString& append(unsigned int n, wchar_t c);
    SWString& append(const_iterator first, const_iterator last);
    SWString& append(wchar_t c);

    SWString& assign(const SWString& other);
    SWString& assign(const std::wstring& text);
    SWString& assign(const wchar_t* text);
    SWString& assign(const wchar_t* text, unsigned int n);
    SWString& assign(const wchar_t* text, unsigned int pos, unsigned int n);
    SWString& assign(unsigned int n, wchar_t c);
    SWString& assign(const_iterator first, const_iterator last);
    SWString& assign(wchar_t c);

    SWString& insert(unsigned int pos, const SWString& other);
    SWString& insert(unsigned int pos, const std::wstring& text);
    SWString& insert(unsigned int pos, const wchar_t* text);
    SWString& insert(unsigned int pos, const wchar_t* text, unsigned int n);
    SWString& insert(unsigned int pos, const wchar_t* text, unsigned int subpos, unsigned int n);
    SWString& insert(unsigned int pos, unsigned int n, wchar_t c);
    iterator insert(iterator at, wchar_t c);
    void insert(iterator at, unsigned int n, wchar_t c);
    void insert(iterator at, const_iterator first, const_iterator last);

    SWString& replace(unsigned int pos, unsigned int n, const SWString& other);
    SWString& replace(unsigned int pos, unsigned int n, const std::wstring& text);
    SWString& replace(unsigned int pos, unsigned int n, const wchar_t* text);
    SWString& replace(unsigned int pos, unsigned int n, const wchar_t* text, unsigned int count);
    SWString& replace(unsigned int pos, unsigned int n, const wchar_t* text, unsigned int subpos,
                      unsigned int count);
    SWString& replace(unsigned int pos, unsigned int n, unsigned int count, wchar_t c);
    SWString& replace(iterator first, iterator last, const wchar_t* text);
    SWString& replace(iterator first, iterator last, const wchar_t* text, unsigned int count);
    SWString& replace(iterator first, iterator last, const std::wstring& text);
    SWString& replace(iterator first, iterator last, unsigned int count, wchar_t c);
    SWString& replace(iterator first, iterator last, const_iterator first2, const_iterator last2);

protected:
    std::wstring convertMbcsToUnicode(const std::string& text, unsigned int codePage) const;

private:
    static std::wstring textOf(const SWString& other);
    static std::wstring part(const wchar_t* text, unsigned int pos, unsigned int n);
    const char* keep(const std::string& narrow) const;

    mutable std::string narrow;
};

} // namespace KrelStd
