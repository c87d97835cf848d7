// ConfigurationVisitor, a walk over a configuration's sections and their lines.
#pragma once

namespace krel_std {

class ConfigurationElement;
class ConfigurationSection;

// Walks a configuration: Configuration::visit calls visit(section) for each section, then
// visit(element) for each of its elements, in file order. Visitors are never deleted through
// this interface, so it has no virtual destructor.
class ConfigurationVisitor {
public:
    virtual void visit(const ConfigurationElement& element) = 0;
    virtual void visit(const ConfigurationSection& section) = 0;

protected:
    ConfigurationVisitor() = default;
    ConfigurationVisitor(const ConfigurationVisitor&) = default;
    ConfigurationVisitor& operator=(const ConfigurationVisitor&) = default;
    ~ConfigurationVisitor() = default;
};

} // namespace krel_std
