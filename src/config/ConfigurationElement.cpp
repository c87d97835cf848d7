#include "config/ConfigurationElement.h"

#include <utility>

#include "base/ErrorUtils.h"
#include "config/ConfigurationText.h"
#include "config/NameIndex.h"

using krel_std_internal::ConfigurationText;
using krel_std_internal::NameIndex;

namespace krel_std {

ConfigurationElement::ConfigurationElement() {}

ConfigurationElement::ConfigurationElement(const std::wstring& comment) {
    setComment(comment);
}

ConfigurationElement::ConfigurationElement(const std::wstring& key, const std::wstring& value) {
    setKey(key);
    ErrorUtils::isEmptyEx(getKey(), L"krel_std::ConfigurationElement::ConfigurationElement",
                          L"key");
    setValue(value);
}

ConfigurationElement::ConfigurationElement(std::wstring_view keyAndValue, size_t newKeyLength)
    : text(keyAndValue), keyLength(static_cast<uint32_t>(newKeyLength)),
      valueLength(static_cast<uint32_t>(keyAndValue.size() - newKeyLength)) {}

ConfigurationElement::ConfigurationElement(ConfigurationElement&& other) noexcept
    : Object(other), text(std::move(other.text)), keyLength(other.keyLength),
      valueLength(other.valueLength) {
    other.makeEmptyLine();
}

ConfigurationElement& ConfigurationElement::operator=(ConfigurationElement&& other) noexcept {
    if (&other != this) {
        text = std::move(other.text);
        keyLength = other.keyLength;
        valueLength = other.valueLength;
        other.makeEmptyLine();
    }
    return *this;
}

ConfigurationElement::~ConfigurationElement() {}

void ConfigurationElement::makeEmptyLine() {
    text.clear();
    keyLength = 0;
    valueLength = 0;
}

std::wstring ConfigurationElement::toString() const {
    return L"ConfigurationElement{key='" + getKey() + L"',value='" + getValue() + L"',comment='" +
           getComment() + L"'}";
}

std::wstring ConfigurationElement::getKey() const {
    return text.part(0, keyLength);
}

std::wstring ConfigurationElement::getValue() const {
    return text.part(keyLength, valueLength);
}

std::wstring ConfigurationElement::getComment() const {
    return text.part(keyLength + valueLength, std::wstring::npos);
}

uint32_t ConfigurationElement::keyHash() const {
    return visitKey([](auto key) { return NameIndex::hashOf(key); });
}

void ConfigurationElement::setKey(const std::wstring& newKey) {
    ConfigurationText::checkSingleLine(newKey, L"krel_std::ConfigurationElement::setKey", L"key");
    const std::wstring_view trimmed = ConfigurationText::trimmed(newKey);
    replaceText(0, keyLength, trimmed);
    keyLength = static_cast<uint32_t>(trimmed.size());
}

void ConfigurationElement::setValue(const std::wstring& newValue) {
    ConfigurationText::checkSingleLine(newValue, L"krel_std::ConfigurationElement::setValue",
                                       L"value");
    const std::wstring_view trimmed = ConfigurationText::trimmedRight(newValue);
    replaceText(keyLength, valueLength, trimmed);
    valueLength = static_cast<uint32_t>(trimmed.size());
}

void ConfigurationElement::setComment(const std::wstring& newComment) {
    ConfigurationText::checkSingleLine(newComment, L"krel_std::ConfigurationElement::setComment",
                                       L"comment");
    replaceText(keyLength + valueLength, std::wstring::npos, newComment);
}

void ConfigurationElement::replaceText(size_t offset, size_t length,
                                       std::wstring_view replacement) {
    text.replace(offset, length, replacement);
}

bool ConfigurationElement::isKeyValue() const {
    return keyLength != 0;
}

bool ConfigurationElement::isComment() const {
    return keyLength == 0;
}

bool ConfigurationElement::isEmpty() const {
    return keyLength == 0 && valueLength == text.size();
}

} // namespace krel_std
