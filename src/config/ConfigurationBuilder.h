// Fills a new configuration with the lines a reader found, as fast as the model allows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace krel_std {
class Configuration;
} // namespace krel_std

namespace krel_std_internal {

// Adds sections and elements to a configuration with the effect of Configuration::addSection
// and Configuration::appendElement, minus their checks and copies: the text comes from lines
// already split and trimmed, so it holds no line break, and a NUL was refused before. The
// configuration's lock is not taken: the builder is for a configuration no one else sees yet.
class ConfigurationBuilder {
public:
    explicit ConfigurationBuilder(krel_std::Configuration& configuration);
    ConfigurationBuilder(const ConfigurationBuilder&) = delete;
    ConfigurationBuilder& operator=(const ConfigurationBuilder&) = delete;

    // Makes the section of that trimmed name current, appending it when it is new; a known
    // name selects the existing section, so it keeps its first place.
    void openSection(std::wstring_view name);
    // A key/value line: the text holds the trimmed, non-empty key followed by the value,
    // trimmed at its right end. A key already in the current section gets the new value in its
    // first place.
    void appendKeyValue(std::wstring_view keyAndValue, size_t keyLength);
    // A comment line with the text after its "#".
    void appendComment(std::wstring_view comment);
    void appendEmptyLine();
    // Ends the reading: gives back the room the lists grew for and did not use.
    void finish();

private:
    // Gives back the unused room of the current section's element list when it is left for
    // the first time: most files list each section once, so its list is complete by then.
    // Only once, so that a file that goes back and forth between sections costs no more than
    // one copy of each list.
    void leaveCurrentSection();

    krel_std::Configuration& configuration;
    uint32_t current;
    // Of each section by position: whether it was left before.
    std::vector<bool> left;
};

} // namespace krel_std_internal
