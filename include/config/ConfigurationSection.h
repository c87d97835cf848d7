// ConfigurationSection, a named, ordered list of configuration lines.
#pragma once

#include <string>
#include <vector>

#include "base/Object.h"
#include "config/ConfigurationElement.h"
#include "config/NameIndex.h"

namespace krel_std {

class ConfigurationVisitor;

// A named, ordered list of configuration lines; the unnamed section has the name "".
//
// Keys given to the operations are trimmed of white space at both ends and then compared
// exactly (case-sensitive). Only key/value elements take part in key lookups: a blank key never
// matches a comment or an empty line. A section has no lock; Configuration guards it.
class ConfigurationSection : public Object {
public:
    typedef std::vector<ConfigurationElement> ElementList;
    typedef std::vector<std::wstring> StringList;

    // The unnamed section.
    ConfigurationSection();
    // No elements; the name is trimmed at both ends. A name holding CR, LF or NUL throws
    // KrelIllegalArgumentException.
    explicit ConfigurationSection(const std::wstring& name);
    ConfigurationSection(const ConfigurationSection& other) = default;
    ConfigurationSection(ConfigurationSection&& other) noexcept = default;
    ConfigurationSection& operator=(const ConfigurationSection& other) = default;
    ConfigurationSection& operator=(ConfigurationSection&& other) noexcept = default;
    ~ConfigurationSection() override;

    // "ConfigurationSection{name='...'}".
    std::wstring toString() const override;
    // Removes all elements and keeps the name.
    virtual void clear();

    std::wstring getName() const;
    // The number of elements of every kind.
    size_t getSize() const;
    // The value of the first element with the key; "" when there is none.
    std::wstring getValue(const std::wstring& key) const;
    bool contains(const std::wstring& key) const;
    // Gives the first element with the key the value, or appends a new element at the end.
    void setValue(const std::wstring& key, const std::wstring& value);
    // Removes every element with the key; true when at least one was removed.
    bool removeKeyValue(const std::wstring& key);
    // A key/value element goes through setValue (a repeated key updates its first occurrence
    // in place); a comment or empty element is appended.
    void appendElement(const ConfigurationElement& element);
    // appendElement for each element of the other section, in order.
    void appendElements(const ConfigurationSection& other);
    // The keys, respectively values, of the key/value elements in order.
    StringList getKeys() const;
    StringList getValues() const;
    // Calls the visitor for each element in order.
    void visit(ConfigurationVisitor& visitor) const;

private:
    friend class Configuration;
    friend class krel_std_internal::ConfigurationBuilder;

    static constexpr uint32_t npos = krel_std_internal::NameIndex::npos;

    // The position of the key/value element with that key, or npos.
    uint32_t findKey(std::wstring_view trimmedKey) const;
    uint32_t findKey(std::wstring_view trimmedKey, uint32_t hash) const;
    // Appends the element, indexing its key; the key must not be in the section yet.
    void appendUnique(ConfigurationElement&& element, uint32_t keyHash);
    void rebuildIndex();

    std::wstring name;
    ElementList elements;
    // The key/value elements by key.
    krel_std_internal::NameIndex keys;
};

} // namespace krel_std
