#pragma once

#include <string>

#include "base/Object.h"

namespace krel_std {

// One line of a configuration: a key/value line, a comment line or an empty line.
//
// Keys are kept trimmed of white space at both ends and values at their right end. No field
// may hold CR, LF or NUL (KrelIllegalArgumentException), so every element stays one line.
class ConfigurationElement : public Object {
public:
    // An empty line.
    ConfigurationElement();
    // A comment line; the text is the comment without its leading "#".
    explicit ConfigurationElement(const std::wstring& comment);
    // A key/value line. An empty key (after trimming) throws KrelIllegalArgumentException
    // "key value is empty.".
    ConfigurationElement(const std::wstring& key, const std::wstring& value);
    ConfigurationElement(const ConfigurationElement& other) = default;
    ConfigurationElement& operator=(const ConfigurationElement& other) = default;
    ~ConfigurationElement() override;

    // "ConfigurationElement{key='...',value='...',comment='...'}".
    std::wstring toString() const override;

    std::wstring getKey() const;
    std::wstring getValue() const;
    std::wstring getComment() const;

    // Stores the key trimmed at both ends; an empty key turns the element into a comment or
    // empty line.
    void setKey(const std::wstring& key);
    // Stores the value trimmed at its right end.
    void setValue(const std::wstring& value);
    // Stores the text unchanged.
    void setComment(const std::wstring& comment);

    // The key is not empty.
    bool isKeyValue() const;
    // The key is empty: a comment or an empty line.
    bool isComment() const;
    // Key and comment are both empty.
    bool isEmpty() const;

private:
    std::wstring key;
    std::wstring value;
    std::wstring comment;
};

} // namespace krel_std
