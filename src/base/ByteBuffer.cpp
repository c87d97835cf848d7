#include "base/ByteBuffer.h"

#include <cstdint>
#include <cstring>
#include <sstream>

#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "exception/KrelBufferOverflowException.h"
#include "exception/KrelBufferUnderflowException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "system/KrelSystem.h"

namespace krel_std {

namespace {

const long DEFAULT_MAXIMUM_CAPACITY = 1000000000L;
const wchar_t* const MAXIMUM_CAPACITY_PROPERTY = L"ByteBuffer maximum capacity";

const std::wstring INSUFFICIENT_SPACE = L"Insufficient space in buffer to add input";
const std::wstring BELOW_DESIRED_LENGTH = L"Remaining data length is below desired length";

// A maximum that is not a non-negative decimal number falls back to the default; one beyond
// the 32-bit capacity field is cut to it.
long parseMaximumCapacity(const std::wstring& text) {
    std::wistringstream stream(text);
    long long value = 0;
    if (!(stream >> value) || value < 0) {
        return DEFAULT_MAXIMUM_CAPACITY;
    }
    return static_cast<long>(value > INT32_MAX ? INT32_MAX : value);
}

// The bytes that `length` wide characters take, for the message of a failed check. The
// comparison itself is made in characters, as `length` twice over may not fit in a long.
unsigned long long wideBytes(long length) {
    return static_cast<unsigned long long>(length) * ByteBuffer::SHORT_BYTES;
}

std::wstring belowWidth(int width) {
    return L"Remaining data length is below " + std::to_wstring(width);
}

} // namespace

ByteBuffer::ByteBuffer(long size) : order(ENDIAN_BIG), storage(new char[size]()) {
    capacity = static_cast<int32_t>(size);
    limit = capacity;
}

ByteBuffer::~ByteBuffer() {
    delete[] storage;
}

long ByteBuffer::getMaximumCapacity() {
    static const long maximum = parseMaximumCapacity(KrelSystem::getInstance().getProperty(
        MAXIMUM_CAPACITY_PROPERTY, std::to_wstring(DEFAULT_MAXIMUM_CAPACITY)));
    return maximum;
}

boost::shared_ptr<ByteBuffer> ByteBuffer::allocate(long capacity) {
    ErrorUtils::isOutsideRangeEx(capacity, 0L, getMaximumCapacity(),
                                 L"krel_std::ByteBuffer::allocate", L"Capacity");
    return boost::shared_ptr<ByteBuffer>(new ByteBuffer(capacity));
}

Endian ByteBuffer::getOrder() const {
    return order;
}

void ByteBuffer::setOrder(Endian newOrder) {
    if (newOrder != ENDIAN_BIG && newOrder != ENDIAN_LITTLE) {
        KrelIllegalArgumentException exception(
            L"Order value " + std::to_wstring(static_cast<int>(newOrder)) + L" is invalid.");
        exception.logDebug(L"krel_std::ByteBuffer::setOrder");
        throw exception;
    }
    order = newOrder;
}

char* ByteBuffer::array() {
    return storage;
}

std::wstring ByteBuffer::toString() const {
    return L"ByteBuffer{" + Buffer::toString() + L",order=" +
           std::to_wstring(static_cast<int>(order)) + L"}";
}

void ByteBuffer::checkIndex(long index, int width, const wchar_t* context) const {
    ErrorUtils::isOutsideRangeEx(index, 0L, static_cast<long>(limit) - width, context, L"Index");
}

void ByteBuffer::checkRemainingForRead(unsigned long long bytes, const wchar_t* context,
                                       const std::wstring& message) {
    try {
        ErrorUtils::isBelowMinimumEx(static_cast<unsigned long long>(remaining()), bytes, context,
                                     L"Remaining data length");
    } catch (const KrelIllegalArgumentException& e) {
        throw KrelBufferUnderflowException(message, e);
    }
}

void ByteBuffer::checkRemainingForWrite(unsigned long long bytes, const wchar_t* context) {
    try {
        ErrorUtils::isBelowMinimumEx(static_cast<unsigned long long>(remaining()), bytes, context,
                                     L"Remaining data length");
    } catch (const KrelIllegalArgumentException& e) {
        throw KrelBufferOverflowException(INSUFFICIENT_SPACE, e);
    }
}

// Values are kept in the buffer's byte order whatever the machine's: big-endian puts the most
// significant byte first.
unsigned long long ByteBuffer::readValue(long index, int width) const {
    unsigned long long value = 0;
    for (int i = 0; i < width; ++i) {
        const int at = order == ENDIAN_BIG ? i : width - 1 - i;
        value = (value << 8) | static_cast<unsigned char>(storage[index + at]);
    }
    return value;
}

void ByteBuffer::writeValue(long index, int width, unsigned long long value) {
    for (int i = width - 1; i >= 0; --i) {
        const int at = order == ENDIAN_BIG ? i : width - 1 - i;
        storage[index + at] = static_cast<char>(value & 0xFFu);
        value >>= 8;
    }
}

char ByteBuffer::get() {
    try {
        ErrorUtils::isAboveMaximumEx(static_cast<long>(position), static_cast<long>(limit) - 1,
                                     L"krel_std::ByteBuffer::get", L"Position");
    } catch (const KrelIllegalArgumentException& e) {
        throw KrelBufferUnderflowException(L"Position is above limit", e);
    }
    return storage[position++];
}

void ByteBuffer::put(char value) {
    try {
        ErrorUtils::isAboveMaximumEx(static_cast<long>(position), static_cast<long>(limit) - 1,
                                     L"krel_std::ByteBuffer::put", L"Position");
    } catch (const KrelIllegalArgumentException& e) {
        throw KrelBufferOverflowException(L"Buffer has reached limit", e);
    }
    storage[position++] = value;
}

unsigned short ByteBuffer::getShort() {
    checkRemainingForRead(SHORT_BYTES, L"krel_std::ByteBuffer::getShort", belowWidth(SHORT_BYTES));
    const unsigned short value = static_cast<unsigned short>(readValue(position, SHORT_BYTES));
    position += SHORT_BYTES;
    return value;
}

unsigned int ByteBuffer::getInt() {
    checkRemainingForRead(INT_BYTES, L"krel_std::ByteBuffer::getInt", belowWidth(INT_BYTES));
    const unsigned int value = static_cast<unsigned int>(readValue(position, INT_BYTES));
    position += INT_BYTES;
    return value;
}

unsigned long long ByteBuffer::getLongLong() {
    checkRemainingForRead(LONG_LONG_BYTES, L"krel_std::ByteBuffer::getLongLong",
                          belowWidth(LONG_LONG_BYTES));
    const unsigned long long value = readValue(position, LONG_LONG_BYTES);
    position += LONG_LONG_BYTES;
    return value;
}

void ByteBuffer::putShort(unsigned short value) {
    checkRemainingForWrite(SHORT_BYTES, L"krel_std::ByteBuffer::putShort");
    writeValue(position, SHORT_BYTES, value);
    position += SHORT_BYTES;
}

void ByteBuffer::putInt(unsigned int value) {
    checkRemainingForWrite(INT_BYTES, L"krel_std::ByteBuffer::putInt");
    writeValue(position, INT_BYTES, value);
    position += INT_BYTES;
}

void ByteBuffer::putLongLong(unsigned long long value) {
    checkRemainingForWrite(LONG_LONG_BYTES, L"krel_std::ByteBuffer::putLongLong");
    writeValue(position, LONG_LONG_BYTES, value);
    position += LONG_LONG_BYTES;
}

char ByteBuffer::get(long index) {
    checkIndex(index, 1, L"krel_std::ByteBuffer::get");
    return storage[index];
}

void ByteBuffer::put(long index, char value) {
    checkIndex(index, 1, L"krel_std::ByteBuffer::put");
    storage[index] = value;
}

unsigned short ByteBuffer::getShort(long index) {
    checkIndex(index, SHORT_BYTES, L"krel_std::ByteBuffer::getShort");
    return static_cast<unsigned short>(readValue(index, SHORT_BYTES));
}

void ByteBuffer::putShort(long index, unsigned short value) {
    checkIndex(index, SHORT_BYTES, L"krel_std::ByteBuffer::putShort");
    writeValue(index, SHORT_BYTES, value);
}

unsigned int ByteBuffer::getInt(long index) {
    checkIndex(index, INT_BYTES, L"krel_std::ByteBuffer::getInt");
    return static_cast<unsigned int>(readValue(index, INT_BYTES));
}

void ByteBuffer::putInt(long index, unsigned int value) {
    checkIndex(index, INT_BYTES, L"krel_std::ByteBuffer::putInt");
    writeValue(index, INT_BYTES, value);
}

unsigned long long ByteBuffer::getLongLong(long index) {
    checkIndex(index, LONG_LONG_BYTES, L"krel_std::ByteBuffer::getLongLong");
    return readValue(index, LONG_LONG_BYTES);
}

void ByteBuffer::putLongLong(long index, unsigned long long value) {
    checkIndex(index, LONG_LONG_BYTES, L"krel_std::ByteBuffer::putLongLong");
    writeValue(index, LONG_LONG_BYTES, value);
}

void ByteBuffer::checkBulkArguments(const void* array, long size, long offset, long length,
                                    const wchar_t* context, const std::wstring& arrayName) const {
    ErrorUtils::isNullEx(array, context, arrayName);
    ErrorUtils::isBelowMinimumEx(size, 0L, context, L"Size");
    ErrorUtils::isBelowMinimumEx(offset, 0L, context, L"Offset");
    ErrorUtils::isBelowMinimumEx(length, 0L, context, L"Length");
    ErrorUtils::isBelowMinimumEx(size, offset, context, L"Size");
    ErrorUtils::isBelowMinimumEx(size - offset, length, context, L"Buffer size");
}

void ByteBuffer::get(char* destination, long size, long offset, long length) {
    const wchar_t* context = L"krel_std::ByteBuffer::get";
    checkBulkArguments(destination, size, offset, length, context, L"Destination buffer");
    checkRemainingForRead(length, context, BELOW_DESIRED_LENGTH);
    std::memcpy(destination + offset, storage + position, static_cast<size_t>(length));
    position += static_cast<int32_t>(length);
}

void ByteBuffer::get(wchar_t* destination, long size, long offset, long length) {
    const wchar_t* context = L"krel_std::ByteBuffer::get";
    checkBulkArguments(destination, size, offset, length, context, L"Destination buffer");
    if (length > remaining() / SHORT_BYTES) {
        checkRemainingForRead(wideBytes(length), context, BELOW_DESIRED_LENGTH);
    }
    for (long i = 0; i < length; ++i) {
        destination[offset + i] = static_cast<wchar_t>(readValue(position, SHORT_BYTES));
        position += SHORT_BYTES;
    }
}

void ByteBuffer::put(const char* source, long size, long offset, long length) {
    const wchar_t* context = L"krel_std::ByteBuffer::put";
    checkBulkArguments(source, size, offset, length, context, L"Source buffer");
    checkRemainingForWrite(length, context);
    std::memcpy(storage + position, source + offset, static_cast<size_t>(length));
    position += static_cast<int32_t>(length);
}

// Each wide character travels as one UTF-16 unit; one that needs two units becomes U+FFFD.
void ByteBuffer::put(const wchar_t* source, long size, long offset, long length) {
    const wchar_t* context = L"krel_std::ByteBuffer::put";
    checkBulkArguments(source, size, offset, length, context, L"Source buffer");
    if (length > remaining() / SHORT_BYTES) {
        checkRemainingForWrite(wideBytes(length), context);
    }
    for (long i = 0; i < length; ++i) {
        const uint32_t character = static_cast<uint32_t>(source[offset + i]);
        writeValue(position, SHORT_BYTES, character > 0xFFFFu ? 0xFFFDu : character);
        position += SHORT_BYTES;
    }
}

void ByteBuffer::get(char* destination, long length) {
    get(destination, length, 0, length);
}

void ByteBuffer::get(wchar_t* destination, long length) {
    get(destination, length, 0, length);
}

void ByteBuffer::put(const char* source, long length) {
    put(source, length, 0, length);
}

void ByteBuffer::put(const wchar_t* source, long length) {
    put(source, length, 0, length);
}

boost::shared_ptr<ByteArray> ByteBuffer::getByteArray(long length) {
    const wchar_t* context = L"krel_std::ByteBuffer::getByteArray";
    ErrorUtils::isBelowMinimumEx(length, 0L, context, L"Length");
    checkRemainingForRead(length, context, BELOW_DESIRED_LENGTH);
    boost::shared_ptr<ByteArray> bytes(new ByteArray(storage + position, length));
    position += static_cast<int32_t>(length);
    return bytes;
}

void ByteBuffer::put(ByteBuffer& source) {
    const wchar_t* context = L"krel_std::ByteBuffer::put";
    if (&source == this) {
        KrelIllegalArgumentException exception(L"Attempting to put to same buffer as source.");
        exception.logDebug(context);
        throw exception;
    }
    const long count = source.remaining();
    try {
        ErrorUtils::isBelowMinimumEx(remaining(), count, context, L"Remaining data length");
    } catch (const KrelIllegalArgumentException& e) {
        throw KrelBufferOverflowException(L"Remaining data length is below input buffer size", e);
    }
    std::memcpy(storage + position, source.storage + source.position, static_cast<size_t>(count));
    position += static_cast<int32_t>(count);
    source.position += static_cast<int32_t>(count);
}

} // namespace krel_std
