// ConfigurationSerializer, the base of the formats that turn a configuration into bytes and back.
#pragma once

#include <boost/shared_ptr.hpp>
#include <mutex>
#include <string>

#include "base/Object.h"

namespace krel_std {

class ByteArray;
class Configuration;

// Turns a configuration into bytes and back in a charset ("windows-1252", "UTF-8" or
// "ISO-10646-UCS-2") and remembers the line separator to write, and whether the bytes written
// begin with a byte-order mark because the bytes last read did.
//
// One serializer object may be shared by several configuration files on several threads:
// its charset, line separator and byte-order mark are guarded by a mutex of its own.
class ConfigurationSerializer : public Object {
public:
    static constexpr const wchar_t* defaultCharset = L"windows-1252";

    // A charset that EncodingUtils::isValidCharacterSet rejects throws
    // KrelIllegalArgumentException "Charset <charset> is invalid.".
    explicit ConfigurationSerializer(const std::wstring& charset = defaultCharset);
    // Copies the charset, the line separator and the byte-order mark.
    ConfigurationSerializer(const ConfigurationSerializer& other);
    ConfigurationSerializer& operator=(const ConfigurationSerializer& other);
    ~ConfigurationSerializer() override;

    // "ConfigurationSerializer{charset='...'}".
    std::wstring toString() const override;
    // Empty until set, detected by deserialize or defaulted by serialize.
    virtual std::wstring getLineSeparator() const;
    virtual void setLineSeparator(const std::wstring& separator);
    // The configuration as bytes of the charset.
    virtual boost::shared_ptr<ByteArray> serialize(const Configuration& configuration) = 0;
    // A new configuration read from the bytes; also remembers the bytes' line separator.
    virtual boost::shared_ptr<Configuration> deserialize(const ByteArray& bytes) = 0;
    // A new serializer of the same kind and charset with no line separator, owned by the
    // caller.
    virtual ConfigurationSerializer* newInstance() const = 0;

    std::wstring getCharset() const;
    // Refuses an invalid charset as the constructor does.
    void setCharset(const std::wstring& charset);

protected:
    // The line separator, first set to the fallback when it is empty; one atomic step, so a
    // concurrent setLineSeparator is never overwritten.
    std::wstring getLineSeparatorOr(const std::wstring& fallback);
    // Whether the bytes written begin with the UTF-8 byte-order mark: false until set.
    bool getByteOrderMark() const;
    void setByteOrderMark(bool written);

private:
    static std::wstring checkedCharset(const std::wstring& charset);

    mutable std::mutex mutex;
    std::wstring charset;
    std::wstring lineSeparator;
    bool byteOrderMark = false;
};

} // namespace krel_std
