#pragma once

#include <string>

#include <boost/shared_ptr.hpp>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "base/Object.h"
#include "thread/Lock.h"
#include "xml/XmlSystemUse.h"

namespace krel_std {

class Preferences;

// Reads an XML document of the standard Java preferences type from a UTF-8 file and stores
// every entry it holds into the user or system tree of the preferences factory in use. Nodes
// are created as needed; nothing is ever removed, and each entry is put and flushed on its own,
// so what was stored before a failure stays stored.
//
// Every raw CR and LF of the file is dropped before parsing and the text ends at its first NUL;
// line breaks and tabs in values travel as character references.
class PreferencesXmlReader : public Object {
public:
    // Throws KrelIllegalArgumentException for an empty file name and KrelXmlException when the
    // parser cannot be set up or the XML parser library is not running.
    explicit PreferencesXmlReader(const std::wstring& inputFilename);
    PreferencesXmlReader(const PreferencesXmlReader&) = delete;
    PreferencesXmlReader& operator=(const PreferencesXmlReader&) = delete;
    ~PreferencesXmlReader() override;

    // "PreferencesXmlReader{inputFilename='<name>'}".
    std::wstring toString() const override;

    // Reads, parses and stores. A file that cannot be opened throws the LockedFile exceptions;
    // any other bad input KrelInvalidPreferencesFormatException.
    void importPreferences();

private:
    void setupParser();
    std::wstring getFileContents();
    void throwIfIsNotUtf8(const std::string& bytes);
    void readPreferences();
    void readRoot(xercesc::DOMNode* preferences);
    void readMap(xercesc::DOMNode* element, const boost::shared_ptr<Preferences>& target);
    void readEntry(xercesc::DOMNode* entry, const boost::shared_ptr<Preferences>& target);
    // The element's "node" children into the node, each with its own nodes, depth first.
    void readNodes(xercesc::DOMNode* element, const boost::shared_ptr<Preferences>& target);
    // One "node" element's name and map into a child of the node; answers the child.
    boost::shared_ptr<Preferences> readNode(xercesc::DOMNode* element,
                                            const boost::shared_ptr<Preferences>& target);
    boost::shared_ptr<Preferences> addPreferencesNode(const boost::shared_ptr<Preferences>& parent,
                                                      const std::wstring& name);
    void addKeyValueToPreferences(const boost::shared_ptr<Preferences>& target,
                                  const std::wstring& key, const std::wstring& value);
    std::wstring getAttributeValue(xercesc::DOMNode* element, const std::wstring& attribute);
    void throwIfNodeNameIsEmpty(const std::wstring& name);
    // "Input file <name> has invalid XML format." followed by the detail.
    std::wstring invalidFormat(const std::wstring& detail) const;

    Lock lock;
    const std::wstring inputFilename;
    // Keeps the parser library started for as long as the parser and its document live.
    XmlSystemUse xmlSystem;
    xercesc::XercesDOMParser parser;
    xercesc::DOMDocument* document;
};

} // namespace krel_std
