#include "config/ConfigurationBuilder.h"

#include "config/Configuration.h"
#include "config/NameIndex.h"

namespace krel_std_internal {

using krel_std::ConfigurationElement;
using krel_std::ConfigurationSection;

ConfigurationBuilder::ConfigurationBuilder(krel_std::Configuration& configuration)
    : configuration(configuration), current(0) {}

void ConfigurationBuilder::openSection(std::wstring_view name) {
    const uint32_t hash = NameIndex::hashOf(name);
    const uint32_t found = configuration.findSectionPosition(name, hash);
    leaveCurrentSection();
    if (found != NameIndex::npos) {
        current = found;
        return;
    }
    ConfigurationSection section;
    section.name.assign(name.data(), name.size());
    current = static_cast<uint32_t>(configuration.sections.size());
    configuration.appendSection(std::move(section), hash);
}

void ConfigurationBuilder::appendKeyValue(std::wstring_view keyAndValue, size_t keyLength) {
    ConfigurationSection& section = configuration.sections[current];
    const std::wstring_view key = keyAndValue.substr(0, keyLength);
    const uint32_t hash = NameIndex::hashOf(key);
    const uint32_t found = section.findKey(key, hash);
    if (found == NameIndex::npos) {
        section.appendUnique(ConfigurationElement(keyAndValue, keyLength), hash);
        return;
    }
    ConfigurationElement& element = section.elements[found];
    element.replaceText(element.keyLength, element.valueLength, keyAndValue.substr(keyLength));
    element.valueLength = static_cast<uint32_t>(keyAndValue.size() - keyLength);
}

void ConfigurationBuilder::appendComment(std::wstring_view comment) {
    ConfigurationElement element;
    element.text.assign(comment);
    configuration.sections[current].elements.push_back(std::move(element));
}

void ConfigurationBuilder::appendEmptyLine() {
    configuration.sections[current].elements.emplace_back();
}

void ConfigurationBuilder::finish() {
    for (ConfigurationSection& section : configuration.sections) {
        section.elements.shrink_to_fit();
    }
    configuration.sections.shrink_to_fit();
}

void ConfigurationBuilder::leaveCurrentSection() {
    if (current >= left.size()) {
        left.resize(configuration.sections.size(), false);
    }
    if (!left[current]) {
        left[current] = true;
        configuration.sections[current].elements.shrink_to_fit();
    }
}

} // namespace krel_std_internal
