// An owned block of bytes with its length, convertible to and from wide text by charset name.
#pragma once

#include <boost/shared_array.hpp>
#include <cstdint>
#include <string>

namespace krel_std {

class ByteArray {
public:
    // An empty array (length 0, zero-length storage).
    ByteArray();
    // `length` zero bytes; a negative length throws KrelIllegalArgumentException.
    explicit ByteArray(long length);
    // A copy of `length` bytes; a null pointer or negative length throws
    // KrelIllegalArgumentException.
    ByteArray(const char* bytes, long length);
    // A copy of all bytes of the string, zero bytes included.
    explicit ByteArray(const std::string& bytes);
    // The text encoded by charset: "windows-1252", "UTF-8", anything else UTF-16LE.
    ByteArray(const std::wstring& text, const std::wstring& charset);
    ByteArray(const ByteArray& other);
    ByteArray& operator=(const ByteArray& other);
    virtual ~ByteArray();

    long getLength() const;
    // The storage itself, shared with this array.
    boost::shared_array<char> getArray() const;

    // The byte at `index`; outside the array a spare byte that reads 0 and absorbs writes.
    char& operator[](long index);
    void clear();
    bool operator==(const ByteArray& other) const;

    // The bytes as a narrow string of exactly getLength() characters.
    virtual std::string toString() const;
    // The bytes decoded by charset; empty text for an empty array or undecodable bytes.
    std::wstring toWString(const std::wstring& charset) const;

private:
    void assignBytes(const char* bytes, long length);

    boost::shared_array<char> array;
    int32_t length;
    char spare;
};

} // namespace krel_std
