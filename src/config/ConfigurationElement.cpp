#include "config/ConfigurationElement.h"

#include "base/ErrorUtils.h"
#include "config/ConfigurationText.h"

using krel_std_internal::ConfigurationText;

namespace krel_std {

ConfigurationElement::ConfigurationElement() {}

ConfigurationElement::ConfigurationElement(const std::wstring& comment) {
    setComment(comment);
}

ConfigurationElement::ConfigurationElement(const std::wstring& key, const std::wstring& value) {
    setKey(key);
    ErrorUtils::isEmptyEx(this->key, L"krel_std::ConfigurationElement::ConfigurationElement",
                          L"key");
    setValue(value);
}

ConfigurationElement::~ConfigurationElement() {}

std::wstring ConfigurationElement::toString() const {
    return L"ConfigurationElement{key='" + key + L"',value='" + value + L"',comment='" + comment +
           L"'}";
}

std::wstring ConfigurationElement::getKey() const {
    return key;
}

std::wstring ConfigurationElement::getValue() const {
    return value;
}

std::wstring ConfigurationElement::getComment() const {
    return comment;
}

void ConfigurationElement::setKey(const std::wstring& newKey) {
    ConfigurationText::checkSingleLine(newKey, L"krel_std::ConfigurationElement::setKey", L"key");
    key = ConfigurationText::trim(newKey);
}

void ConfigurationElement::setValue(const std::wstring& newValue) {
    ConfigurationText::checkSingleLine(newValue, L"krel_std::ConfigurationElement::setValue",
                                       L"value");
    value = ConfigurationText::trimRight(newValue);
}

void ConfigurationElement::setComment(const std::wstring& newComment) {
    ConfigurationText::checkSingleLine(newComment, L"krel_std::ConfigurationElement::setComment",
                                       L"comment");
    comment = newComment;
}

bool ConfigurationElement::isKeyValue() const {
    return !key.empty();
}

bool ConfigurationElement::isComment() const {
    return key.empty();
}

bool ConfigurationElement::isEmpty() const {
    return key.empty() && comment.empty();
}

} // namespace krel_std
