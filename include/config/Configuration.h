// Configuration, an INI-style configuration: an ordered list of sections under a lock.
#pragma once

#include <string>
#include <vector>

#include "base/Object.h"
#include "config/ConfigurationSection.h"
#include "thread/Lock.h"

namespace krel_std_internal {
class ConfigurationBuilder;
} // namespace krel_std_internal

namespace krel_std {

class ConfigurationElement;
class ConfigurationVisitor;

// An INI-style configuration: an ordered list of sections whose first is always the unnamed
// section (defaultSection). Keys and section names given to the operations are trimmed of
// white space at both ends, then compared exactly.
//
// A recursive lock guards the section list; every operation holds it for its whole run, so a
// reload or save on another thread is atomic against the reads and writes here. Lookups of
// missing sections or keys answer "" or false. Sections, and the keys of each section, are
// found through hash indexes kept beside their ordered lists, so lookups do not scan the lists.
class Configuration : public Object {
public:
    typedef std::vector<ConfigurationSection> SectionList;
    typedef std::vector<std::wstring> StringList;

    // The name of the unnamed section.
    static constexpr const wchar_t* defaultSection = L"";

    // One empty unnamed section.
    Configuration();
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;
    ~Configuration() override;

    // "Configuration{}".
    std::wstring toString() const override;
    // The section's value of the key; "" when the section or key is missing.
    virtual std::wstring getValue(const std::wstring& key,
                                  const std::wstring& section = defaultSection) const;
    // The names of all sections in order, the unnamed one first.
    virtual StringList getSectionNames() const;
    // Sets the key's value in the section, appending the section at the end when it is
    // missing. An empty key throws KrelIllegalArgumentException "key value is empty."; CR, LF
    // or NUL in any argument throw KrelIllegalArgumentException.
    virtual void setValue(const std::wstring& key, const std::wstring& value,
                          const std::wstring& section = defaultSection);
    virtual bool containsKey(const std::wstring& key,
                             const std::wstring& section = defaultSection) const;
    virtual bool containsSection(const std::wstring& section) const;
    // Removes every element of the key; false when the section or key is missing.
    virtual bool removeKeyValue(const std::wstring& key,
                                const std::wstring& section = defaultSection);
    // Appends a copy of a section with a new name; merges one with a known name into the
    // existing section (its keys update or extend it, its other lines are appended).
    virtual void addSection(const ConfigurationSection& section);
    // Removes the first section of that name; the unnamed section is only emptied. True when
    // a section was found.
    virtual bool removeSection(const std::wstring& section);
    // Leaves only an empty unnamed section.
    virtual void clear();

    // The keys, respectively values, of the section's key/value lines; empty for a missing
    // section.
    StringList getKeys(const std::wstring& section = defaultSection) const;
    StringList getValues(const std::wstring& section = defaultSection) const;
    // Gives the element to the section (appended when missing), as
    // ConfigurationSection::appendElement does.
    void appendElement(const ConfigurationElement& element,
                       const std::wstring& section = defaultSection);
    SectionList copySections() const;
    // For each section in order: the visitor's visit(section), then each element's.
    void visit(ConfigurationVisitor& visitor) const;

protected:
    // The section of that name; KrelIllegalArgumentException "Unable to find section named "
    // + name when there is none.
    const ConfigurationSection& getSection(const std::wstring& name) const;
    // The section of that name, appended at the end when missing.
    ConfigurationSection& getSection(const std::wstring& name);
    // Replaces the whole content with a copy of the other configuration's, in one step under
    // this configuration's lock (the other's lock is taken first, and released, to copy).
    void replaceSections(const Configuration& other);
    // Replaces the whole content with the other configuration's, which is left with an empty
    // unnamed section only; the same steps as replaceSections, without the copy.
    void takeSections(Configuration& other);

    // Guards the sections. Recursive, so operations may call one another.
    mutable Lock lock;

private:
    friend class krel_std_internal::ConfigurationBuilder;

    // The section of that (trimmed) name, or null.
    const ConfigurationSection* findSection(std::wstring_view trimmedName) const;
    // The position of the section of that (trimmed) name and its hash, or NameIndex::npos.
    uint32_t findSectionPosition(std::wstring_view trimmedName, uint32_t hash) const;
    // Appends the section, whose name is not in the list yet, and indexes it.
    void appendSection(ConfigurationSection&& section, uint32_t nameHash);
    void rebuildIndex();

    SectionList sections;
    // The sections by name.
    krel_std_internal::NameIndex sectionNames;
};

} // namespace krel_std
