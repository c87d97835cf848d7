// A fixed-capacity byte store with typed relative and absolute access in a chosen byte order.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstddef>

#include "base/Buffer.h"
#include "base/Endian.h"

namespace krel_std {

class ByteArray;

// Made only by allocate() and shared through boost::shared_ptr; never copied.
class ByteBuffer : public Buffer {
public:
    static constexpr int SHORT_BYTES = 2;
    static constexpr int INT_BYTES = 4;
    static constexpr int LONG_LONG_BYTES = 8;

    // A zero-filled buffer of `capacity` bytes, big-endian. The capacity must lie from 0 to
    // the maximum set by the system property "ByteBuffer maximum capacity" (read once per
    // process, default 1000000000), else KrelIllegalArgumentException.
    static boost::shared_ptr<ByteBuffer> allocate(long capacity);

    virtual ~ByteBuffer();
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    Endian getOrder() const;
    // Throws KrelIllegalArgumentException for a value other than ENDIAN_BIG and ENDIAN_LITTLE.
    void setOrder(Endian order);
    // The storage itself.
    char* array();

    std::wstring toString() const override;

    // Relative access at the position, which advances by the value's width. Reads past the
    // limit throw KrelBufferUnderflowException, writes KrelBufferOverflowException; either way
    // nothing moves.
    char get();
    void put(char value);
    unsigned short getShort();
    unsigned int getInt();
    unsigned long long getLongLong();
    void putShort(unsigned short value);
    void putInt(unsigned int value);
    void putLongLong(unsigned long long value);

    // Absolute access; the index must lie from 0 to limit - width, else
    // KrelIllegalArgumentException. The position does not move.
    char get(long index);
    void put(long index, char value);
    unsigned short getShort(long index);
    void putShort(long index, unsigned short value);
    unsigned int getInt(long index);
    void putInt(long index, unsigned int value);
    unsigned long long getLongLong(long index);
    void putLongLong(long index, unsigned long long value);

    // Bulk transfers of `length` elements between the position and the caller's array from
    // `offset` on (`size` is the array's element count). Wide characters travel as two bytes
    // each in the buffer's order; a character above U+FFFF is written as U+FFFD.
    void get(char* destination, long size, long offset, long length);
    void get(wchar_t* destination, long size, long offset, long length);
    void put(const char* source, long size, long offset, long length);
    void put(const wchar_t* source, long size, long offset, long length);
    void get(char* destination, long length);
    void get(wchar_t* destination, long length);
    void put(const char* source, long length);
    void put(const wchar_t* source, long length);

    // The next `length` bytes as a new array; the position advances by `length`.
    boost::shared_ptr<ByteArray> getByteArray(long length);
    // Copies the source's bytes from its position to its limit; both positions advance.
    void put(ByteBuffer& source);

private:
    explicit ByteBuffer(long capacity);

    static long getMaximumCapacity();
    void checkIndex(long index, int width, const wchar_t* context) const;
    // `bytes` is unsigned and wide so that twice a character count always fits.
    void checkRemainingForRead(unsigned long long bytes, const wchar_t* context,
                               const std::wstring& message);
    void checkRemainingForWrite(unsigned long long bytes, const wchar_t* context);
    void checkBulkArguments(const void* array, long size, long offset, long length,
                            const wchar_t* context, const std::wstring& arrayName) const;
    unsigned long long readValue(long index, int width) const;
    void writeValue(long index, int width, unsigned long long value);

    Endian order;
    char* storage;
};

} // namespace krel_std
