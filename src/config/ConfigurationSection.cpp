#include "config/ConfigurationSection.h"

#include <algorithm>

#include "config/ConfigurationText.h"
#include "config/ConfigurationVisitor.h"

using krel_std_internal::ConfigurationText;
using krel_std_internal::NameIndex;

namespace krel_std {

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
    keys.clear();
}

std::wstring ConfigurationSection::getName() const {
    return name;
}

size_t ConfigurationSection::getSize() const {
    return elements.size();
}

uint32_t ConfigurationSection::findKey(std::wstring_view trimmedKey) const {
    return findKey(trimmedKey, NameIndex::hashOf(trimmedKey));
}

uint32_t ConfigurationSection::findKey(std::wstring_view trimmedKey, uint32_t hash) const {
    return keys.find(hash, [this, trimmedKey](uint32_t position) {
        return elements[position].keyEquals(trimmedKey);
    });
}

void ConfigurationSection::appendUnique(ConfigurationElement&& element, uint32_t keyHash) {
    if (element.isKeyValue()) {
        keys.add(keyHash, static_cast<uint32_t>(elements.size()));
    }
    elements.push_back(std::move(element));
}

void ConfigurationSection::rebuildIndex() {
    keys.clear();
    for (size_t position = 0; position < elements.size(); ++position) {
        if (elements[position].isKeyValue()) {
            keys.add(elements[position].keyHash(), static_cast<uint32_t>(position));
        }
    }
}

std::wstring ConfigurationSection::getValue(const std::wstring& key) const {
    const uint32_t found = findKey(ConfigurationText::trimmed(key));
    return found == npos ? std::wstring() : elements[found].getValue();
}

bool ConfigurationSection::contains(const std::wstring& key) const {
    return findKey(ConfigurationText::trimmed(key)) != npos;
}

void ConfigurationSection::setValue(const std::wstring& key, const std::wstring& value) {
    const std::wstring_view trimmedKey = ConfigurationText::trimmed(key);
    const uint32_t hash = NameIndex::hashOf(trimmedKey);
    const uint32_t found = findKey(trimmedKey, hash);
    if (found != npos) {
        elements[found].setValue(value);
    } else {
        appendUnique(ConfigurationElement(key, value), hash);
    }
}

bool ConfigurationSection::removeKeyValue(const std::wstring& key) {
    const std::wstring_view trimmedKey = ConfigurationText::trimmed(key);
    if (findKey(trimmedKey) == npos) {
        return false;
    }
    elements.erase(std::remove_if(elements.begin(), elements.end(),
                                  [&](const ConfigurationElement& e) {
                                      return e.isKeyValue() && e.keyEquals(trimmedKey);
                                  }),
                   elements.end());
    rebuildIndex();
    return true;
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
