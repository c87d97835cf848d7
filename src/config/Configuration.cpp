#include "config/Configuration.h"

#include <algorithm>

#include "base/ErrorUtils.h"
#include "config/ConfigurationText.h"
#include "config/ConfigurationVisitor.h"
#include "exception/KrelIllegalArgumentException.h"
#include "thread/AutoLock.h"

using krel_std_internal::ConfigurationText;
using krel_std_internal::NameIndex;

namespace krel_std {

Configuration::Configuration() {
    Configuration::clear();
}

Configuration::~Configuration() {}

std::wstring Configuration::toString() const {
    return L"Configuration{}";
}

const ConfigurationSection* Configuration::findSection(std::wstring_view trimmedName) const {
    const uint32_t found = findSectionPosition(trimmedName, NameIndex::hashOf(trimmedName));
    return found == NameIndex::npos ? nullptr : &sections[found];
}

uint32_t Configuration::findSectionPosition(std::wstring_view trimmedName, uint32_t hash) const {
    return sectionNames.find(hash, [this, trimmedName](uint32_t position) {
        return sections[position].name == trimmedName;
    });
}

void Configuration::appendSection(ConfigurationSection&& section, uint32_t nameHash) {
    sectionNames.add(nameHash, static_cast<uint32_t>(sections.size()));
    sections.push_back(std::move(section));
}

void Configuration::rebuildIndex() {
    sectionNames.clear();
    for (size_t position = 0; position < sections.size(); ++position) {
        sectionNames.add(NameIndex::hashOf(sections[position].name),
                         static_cast<uint32_t>(position));
    }
}

std::wstring Configuration::getValue(const std::wstring& key, const std::wstring& section) const {
    AutoLock<Lock> guard(lock);
    const ConfigurationSection* found = findSection(ConfigurationText::trimmed(section));
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
    const ConfigurationSection* found = findSection(ConfigurationText::trimmed(section));
    return found != nullptr && found->contains(key);
}

bool Configuration::containsSection(const std::wstring& section) const {
    AutoLock<Lock> guard(lock);
    return findSection(ConfigurationText::trimmed(section)) != nullptr;
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
    const uint32_t hash = NameIndex::hashOf(section.name);
    const uint32_t found = findSectionPosition(section.name, hash);
    if (found == NameIndex::npos) {
        appendSection(ConfigurationSection(section), hash);
    } else {
        sections[found].appendElements(section);
    }
}

bool Configuration::removeSection(const std::wstring& section) {
    AutoLock<Lock> guard(lock);
    const std::wstring_view name = ConfigurationText::trimmed(section);
    const uint32_t found = findSectionPosition(name, NameIndex::hashOf(name));
    if (found == NameIndex::npos) {
        return false;
    }
    if (found == 0) {
        sections.front().clear();
    } else {
        sections.erase(sections.begin() + found);
        rebuildIndex();
    }
    return true;
}

void Configuration::clear() {
    AutoLock<Lock> guard(lock);
    sections.clear();
    sectionNames.clear();
    appendSection(ConfigurationSection(defaultSection), NameIndex::hashOf(defaultSection));
}

Configuration::StringList Configuration::getKeys(const std::wstring& section) const {
    AutoLock<Lock> guard(lock);
    const ConfigurationSection* found = findSection(ConfigurationText::trimmed(section));
    return found == nullptr ? StringList() : found->getKeys();
}

Configuration::StringList Configuration::getValues(const std::wstring& section) const {
    AutoLock<Lock> guard(lock);
    const ConfigurationSection* found = findSection(ConfigurationText::trimmed(section));
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
    const ConfigurationSection* found = findSection(ConfigurationText::trimmed(name));
    if (found == nullptr) {
        throw KrelIllegalArgumentException(L"Unable to find section named " + name);
    }
    return *found;
}

ConfigurationSection& Configuration::getSection(const std::wstring& name) {
    AutoLock<Lock> guard(lock);
    const std::wstring_view trimmedName = ConfigurationText::trimmed(name);
    const uint32_t hash = NameIndex::hashOf(trimmedName);
    const uint32_t found = findSectionPosition(trimmedName, hash);
    if (found != NameIndex::npos) {
        return sections[found];
    }
    appendSection(ConfigurationSection(name), hash);
    return sections.back();
}

void Configuration::replaceSections(const Configuration& other) {
    if (&other == this) {
        return;
    }
    SectionList copy = other.copySections();
    AutoLock<Lock> guard(lock);
    sections.swap(copy);
    rebuildIndex();
}

void Configuration::takeSections(Configuration& other) {
    if (&other == this) {
        return;
    }
    SectionList taken;
    {
        AutoLock<Lock> otherGuard(other.lock);
        taken.swap(other.sections);
        other.clear();
    }
    AutoLock<Lock> guard(lock);
    sections.swap(taken);
    rebuildIndex();
}

} // namespace krel_std
