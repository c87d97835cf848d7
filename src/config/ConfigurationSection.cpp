#include "config/ConfigurationSection.h"

#include <algorithm>

#include "config/ConfigurationText.h"
#include "config/ConfigurationVisitor.h"

using krel_std_internal::ConfigurationText;

namespace krel_std {

namespace {

// Whether the element is a key/value line with exactly that (trimmed) key.
bool hasKey(const ConfigurationElement& element, const std::wstring& trimmedKey) {
    return element.isKeyValue() && element.getKey() == trimmedKey;
}

} // namespace

ConfigurationSection::ConfigurationSection() {}

ConfigurationSection::ConfigurationSection(const std::wstring& sectionName) {
    ConfigurationText::checkSingleLine(
        sectionName, L"krel_std::ConfigurationSection::ConfigurationSection", L"section");
    name = ConfigurationText::trim(sectionName);
}

ConfigurationSection::~ConfigurationSection() {}

std::wstring ConfigurationSection::toString() const {
    return L"ConfigurationSection{name='" + name + L"'}";
}

void ConfigurationSection::clear() {
    elements.clear();
}

std::wstring ConfigurationSection::getName() const {
    return name;
}

size_t ConfigurationSection::getSize() const {
    return elements.size();
}

ConfigurationSection::ElementList::iterator
ConfigurationSection::findKey(const std::wstring& trimmedKey) {
    return std::find_if(elements.begin(), elements.end(),
                        [&](const ConfigurationElement& e) { return hasKey(e, trimmedKey); });
}

ConfigurationSection::ElementList::const_iterator
ConfigurationSection::findKey(const std::wstring& trimmedKey) const {
    return std::find_if(elements.begin(), elements.end(),
                        [&](const ConfigurationElement& e) { return hasKey(e, trimmedKey); });
}

std::wstring ConfigurationSection::getValue(const std::wstring& key) const {
    const ElementList::const_iterator found = findKey(ConfigurationText::trim(key));
    return found == elements.end() ? std::wstring() : found->getValue();
}

bool ConfigurationSection::contains(const std::wstring& key) const {
    return findKey(ConfigurationText::trim(key)) != elements.end();
}

void ConfigurationSection::setValue(const std::wstring& key, const std::wstring& value) {
    const ElementList::iterator found = findKey(ConfigurationText::trim(key));
    if (found != elements.end()) {
        found->setValue(value);
    } else {
        elements.push_back(ConfigurationElement(key, value));
    }
}

bool ConfigurationSection::removeKeyValue(const std::wstring& key) {
    const std::wstring trimmedKey = ConfigurationText::trim(key);
    const ElementList::iterator kept =
        std::remove_if(elements.begin(), elements.end(),
                       [&](const ConfigurationElement& e) { return hasKey(e, trimmedKey); });
    const bool removed = kept != elements.end();
    elements.erase(kept, elements.end());
    return removed;
}

void ConfigurationSection::appendElement(const ConfigurationElement& element) {
    if (element.isKeyValue()) {
        setValue(element.getKey(), element.getValue());
    } else {
        elements.push_back(element);
    }
}

void ConfigurationSection::appendElements(const ConfigurationSection& other) {
    // A copy, so that appending a section to itself reads a stable list.
    const ElementList others = other.elements;
    for (const ConfigurationElement& element : others) {
        appendElement(element);
    }
}

ConfigurationSection::StringList ConfigurationSection::getKeys() const {
    StringList keys;
    for (const ConfigurationElement& element : elements) {
        if (element.isKeyValue()) {
            keys.push_back(element.getKey());
        }
    }
    return keys;
}

ConfigurationSection::StringList ConfigurationSection::getValues() const {
    StringList values;
    for (const ConfigurationElement& element : elements) {
        if (element.isKeyValue()) {
            values.push_back(element.getValue());
        }
    }
    return values;
}

void ConfigurationSection::visit(ConfigurationVisitor& visitor) const {
    for (const ConfigurationElement& element : elements) {
        visitor.visit(element);
    }
}

} // namespace krel_std
