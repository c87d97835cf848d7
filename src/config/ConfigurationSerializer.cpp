#include "config/ConfigurationSerializer.h"

#include "base/EncodingUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIllegalArgumentException.h"

namespace krel_std {

namespace {

typedef std::lock_guard<std::mutex> MutexLock;

} // namespace

ConfigurationSerializer::ConfigurationSerializer(const std::wstring& newCharset)
    : charset(checkedCharset(newCharset)) {}

ConfigurationSerializer::ConfigurationSerializer(const ConfigurationSerializer& other)
    : Object(other) {
    MutexLock guard(other.mutex);
    charset = other.charset;
    lineSeparator = other.lineSeparator;
    byteOrderMark = other.byteOrderMark;
}

ConfigurationSerializer& ConfigurationSerializer::operator=(const ConfigurationSerializer& other) {
    if (&other != this) {
        const std::wstring otherCharset = other.getCharset();
        const std::wstring otherSeparator = other.getLineSeparator();
        const bool otherByteOrderMark = other.getByteOrderMark();
        MutexLock guard(mutex);
        charset = otherCharset;
        lineSeparator = otherSeparator;
        byteOrderMark = otherByteOrderMark;
    }
    return *this;
}

ConfigurationSerializer::~ConfigurationSerializer() {}

std::wstring ConfigurationSerializer::toString() const {
    return L"ConfigurationSerializer{charset='" + getCharset() + L"'}";
}

std::wstring ConfigurationSerializer::getLineSeparator() const {
    MutexLock guard(mutex);
    return lineSeparator;
}

void ConfigurationSerializer::setLineSeparator(const std::wstring& separator) {
    MutexLock guard(mutex);
    lineSeparator = separator;
}

std::wstring ConfigurationSerializer::getLineSeparatorOr(const std::wstring& fallback) {
    MutexLock guard(mutex);
    if (lineSeparator.empty()) {
        lineSeparator = fallback;
    }
    return lineSeparator;
}

bool ConfigurationSerializer::getByteOrderMark() const {
    MutexLock guard(mutex);
    return byteOrderMark;
}

void ConfigurationSerializer::setByteOrderMark(bool written) {
    MutexLock guard(mutex);
    byteOrderMark = written;
}

std::wstring ConfigurationSerializer::getCharset() const {
    MutexLock guard(mutex);
    return charset;
}

void ConfigurationSerializer::setCharset(const std::wstring& newCharset) {
    const std::wstring checked = checkedCharset(newCharset);
    MutexLock guard(mutex);
    charset = checked;
}

std::wstring ConfigurationSerializer::checkedCharset(const std::wstring& charset) {
    if (!EncodingUtils::isValidCharacterSet(charset)) {
        const std::wstring message = L"Charset " + charset + L" is invalid.";
        KREL_INTERNAL_DEBUG(L"krel_std::ConfigurationSerializer::setCharset", L"%ls",
                            message.c_str());
        throw KrelIllegalArgumentException(message);
    }
    return charset;
}

} // namespace krel_std
