#include "config/Configuration.h"

#include <algorithm>

#include "base/ErrorUtils.h"
#include "config/ConfigurationText.h"
#include "config/ConfigurationVisitor.h"
#include "exception/KrelIllegalArgumentException.h"
#include "thread/AutoLock.h"

using krel_std_internal::ConfigurationText;

namespace krel_std {

Configuration::Configuration() : sections(1, ConfigurationSection(defaultSection)) {}

Configuration::~Configuration() {}

std::wstring Configuration::toString() const {
    return L"Configuration{}";
}

const ConfigurationSection* Configuration::findSection(const std::wstring& trimmedName) const {
    for (const ConfigurationSection& section : sections) {
        if (section.getName() == trimmedName) {
            return &section;
        }
    }
    return nullptr;
}

std::wstring Configuration::getValue(const std::wstring& key, const std::wstring& section) const {
    AutoLock<Lock> guard(lock);
    const ConfigurationSection* found = findSection(ConfigurationText::trim(section));
    return found == nullptr ? std::wstring() : found->getValue(key);
}

Configuration::StringList Configuration::getSectionNames() const {
    AutoLock<Lock> guard(lock);
    StringList names;
    for (const ConfigurationSection& section : sections) {
        names.push_back(section.getName());
    }
    return names;
}

void Configuration::setValue(const std::wstring& key, const std::wstring& value,
                             const std::wstring& section) {
    ErrorUtils::isEmptyEx(ConfigurationText::trim(key), L"krel_std::Configuration::setValue",
                          L"key");
    // Made first, so a refused key or value leaves no new section behind.
    const ConfigurationElement element(key, value);
    AutoLock<Lock> guard(lock);
    getSection(section).appendElement(element);
}

bool Configuration::containsKey(const std::wstring& key, const std::wstring& section) const {
    AutoLock<Lock> guard(lock);
    const ConfigurationSection* found = findSection(ConfigurationText::trim(section));
    return found != nullptr && found->contains(key);
}

bool Configuration::containsSection(const std::wstring& section) const {
    AutoLock<Lock> guard(lock);
    return findSection(ConfigurationText::trim(section)) != nullptr;
}

bool Configuration::removeKeyValue(const std::wstring& key, const std::wstring& section) {
    AutoLock<Lock> guard(lock);
    if (!containsSection(section)) {
        return false;
    }
    return getSection(section).removeKeyValue(key);
}

void Configuration::addSection(const ConfigurationSection& section) {
    AutoLock<Lock> guard(lock);
    if (findSection(section.getName()) == nullptr) {
        sections.push_back(section);
    } else {
        getSection(section.getName()).appendElements(section);
    }
}

bool Configuration::removeSection(const std::wstring& section) {
    AutoLock<Lock> guard(lock);
    const std::wstring name = ConfigurationText::trim(section);
    const SectionList::iterator found =
        std::find_if(sections.begin(), sections.end(),
                     [&](const ConfigurationSection& s) { return s.getName() == name; });
    if (found == sections.end()) {
        return false;
    }
    if (found == sections.begin()) {
        found->clear();
    } else {
        sections.erase(found);
    }
    return true;
}

void Configuration::clear() {
    AutoLock<Lock> guard(lock);
    sections.assign(1, ConfigurationSection(defaultSection));
}

Configuration::StringList Configuration::getKeys(const std::wstring& section) const {
    AutoLock<Lock> guard(lock);
    const ConfigurationSection* found = findSection(ConfigurationText::trim(section));
    return found == nullptr ? StringList() : found->getKeys();
}

Configuration::StringList Configuration::getValues(const std::wstring& section) const {
    AutoLock<Lock> guard(lock);
    const ConfigurationSection* found = findSection(ConfigurationText::trim(section));
    return found == nullptr ? StringList() : found->getValues();
}

void Configuration::appendElement(const ConfigurationElement& element,
                                  const std::wstring& section) {
    AutoLock<Lock> guard(lock);
    getSection(section).appendElement(element);
}

Configuration::SectionList Configuration::copySections() const {
    AutoLock<Lock> guard(lock);
    return sections;
}

void Configuration::visit(ConfigurationVisitor& visitor) const {
    AutoLock<Lock> guard(lock);
    for (const ConfigurationSection& section : sections) {
        visitor.visit(section);
        section.visit(visitor);
    }
}

const ConfigurationSection& Configuration::getSection(const std::wstring& name) const {
    AutoLock<Lock> guard(lock);
    const ConfigurationSection* found = findSection(ConfigurationText::trim(name));
    if (found == nullptr) {
        throw KrelIllegalArgumentException(L"Unable to find section named " + name);
    }
    return *found;
}

ConfigurationSection& Configuration::getSection(const std::wstring& name) {
    AutoLock<Lock> guard(lock);
    const ConfigurationSection* found = findSection(ConfigurationText::trim(name));
    if (found == nullptr) {
        sections.push_back(ConfigurationSection(name));
        return sections.back();
    }
    return const_cast<ConfigurationSection&>(*found);
}

void Configuration::replaceSections(const Configuration& other) {
    if (&other == this) {
        return;
    }
    SectionList copy = other.copySections();
    AutoLock<Lock> guard(lock);
    sections.swap(copy);
}

} // namespace krel_std
