// ConfigurationElement, one line of a configuration: key/value, comment or empty.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Object.h"
#include "config/CompactText.h"

namespace krel_std_internal {
class ConfigurationBuilder;
class IniTextWriter;
} // namespace krel_std_internal

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
    // The moved-from element is an empty line.
    ConfigurationElement(ConfigurationElement&& other) noexcept;
    ConfigurationElement& operator=(const ConfigurationElement& other) = default;
    ConfigurationElement& operator=(ConfigurationElement&& other) noexcept;
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
    friend class ConfigurationSection;
    friend class krel_std_internal::ConfigurationBuilder;
    friend class krel_std_internal::IniTextWriter;

    // A key/value line of text that holds the key (trimmed, not empty) followed by the value
    // (trimmed at its right end), unchecked: the reader makes these from lines it has split.
    ConfigurationElement(std::wstring_view keyAndValue, size_t keyLength);

    // Calls visit with the field as CompactText::visit does, and answer its result.
    template <typename Visit> decltype(auto) visitKey(Visit&& visit) const {
        return text.visit(0, keyLength, visit);
    }
    template <typename Visit> decltype(auto) visitValue(Visit&& visit) const {
        return text.visit(keyLength, valueLength, visit);
    }
    template <typename Visit> decltype(auto) visitComment(Visit&& visit) const {
        return text.visit(keyLength + valueLength, std::wstring::npos, visit);
    }
    bool keyEquals(std::wstring_view key) const { return text.partEquals(0, keyLength, key); }
    // NameIndex::hashOf of the key.
    uint32_t keyHash() const;
    void makeEmptyLine();
    // Replaces the `length` characters at `offset` of the text with the replacement.
    void replaceText(size_t offset, size_t length, std::wstring_view replacement);

    // Key, value and comment back to back in one text: one allocation for a line, of one byte
    // a character for most lines.
    krel_std_internal::CompactText text;
    uint32_t keyLength = 0;
    uint32_t valueLength = 0;
};

} // namespace krel_std
