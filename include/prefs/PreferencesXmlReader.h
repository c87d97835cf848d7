// PreferencesXmlReader, the import of a Java preferences XML document.
#pragma once

#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "base/Object.h"
#include "thread/Lock.h"
#include "xml/XmlSystemUse.h"

namespace krel_std {

class Preferences;
class PreferencesDocumentParser;
struct PreferencesDocumentContent;

// Reads an XML document of the standard Java preferences type from a UTF-8 file and stores
// every entry it holds into the user or system tree of the preferences factory in use. Nodes
// are created as needed and nothing is ever removed. The document is parsed whole before
// anything is stored, so a document the parser refuses anywhere stores nothing; the parse
// keeps only what the import reads, in a compact form. Then the entries are put root first,
// each node's map before its child nodes, and each node that took entries is flushed once
// before the import returns, also when the document's content fails a check part-way, so what
// was stored before that failure stays stored.
//
// Every raw CR and LF of the file is dropped before parsing and the text ends at its first NUL;
// line breaks and tabs in values travel as character references.
//
// A document is bounded before it costs memory or time: a file larger than MAX_DOCUMENT_BYTES
// is refused before it is read, bytes that are not well-formed UTF-8 (overlong forms and
// encoded surrogates included) before parsing, a document type declaration with an internal
// subset (the only place entities could be declared) when the parser meets it, and nodes
// nested deeper than MAX_NODE_DEPTH as soon as the parser meets one, before anything is stored.
// The external subset a document type declaration names is never read, so a reference to an
// entity other than the five predefined ones refuses the document, with or without that
// declaration.
// Comments and character data are not kept: the document type holds everything in elements and
// their attributes.
class PreferencesXmlReader : public Object {
public:
    // The largest file an import reads.
    static const unsigned long long MAX_DOCUMENT_BYTES = 64ULL * 1024 * 1024;
    // The deepest nesting of node elements an import accepts: the levels of keys the
    // registry holds.
    static const unsigned int MAX_NODE_DEPTH = 512;

    // Throws KrelIllegalArgumentException for an empty file name and KrelXmlException when the
    // parser cannot be set up or the XML parser library is not running.
    explicit PreferencesXmlReader(const std::wstring& inputFilename);
    PreferencesXmlReader(const PreferencesXmlReader&) = delete;
    PreferencesXmlReader& operator=(const PreferencesXmlReader&) = delete;
    ~PreferencesXmlReader() override;

    // "PreferencesXmlReader{inputFilename='<name>'}".
    std::wstring toString() const override;

    // Reads, parses and stores. A file that cannot be opened throws the LockedFile exceptions;
    // any other bad input KrelInvalidPreferencesFormatException; memory that runs out
    // KrelOutOfResourcesException.
    void importPreferences();

private:
    void internalImportPreferences();
    [[noreturn]] void throwOutOfMemory() const;
    void setupParser();
    // The file's bytes up to its first NUL, checked to be UTF-8, without raw CR and LF.
    std::string getFileContents();
    void throwIfIsTooLarge(unsigned long long size);
    void throwIfIsNotUtf8(const std::string& bytes);
    void readPreferences(const PreferencesDocumentContent& content);
    void readRoot(const PreferencesDocumentContent& content);
    // The one map of the container, named by `tag` in messages, into the node.
    void readMap(const PreferencesDocumentContent& content, std::uint32_t container,
                 const wchar_t* tag, const boost::shared_ptr<Preferences>& target);
    void readEntry(const PreferencesDocumentContent& content, std::uint32_t entry,
                   const boost::shared_ptr<Preferences>& target);
    // The root's "node" children into the node, each with its own nodes, depth first.
    void readNodes(const PreferencesDocumentContent& content, std::uint32_t root,
                   const boost::shared_ptr<Preferences>& target);
    // One "node" container's name and map into a child of the node; answers the child.
    boost::shared_ptr<Preferences> readNode(const PreferencesDocumentContent& content,
                                            std::uint32_t container,
                                            const boost::shared_ptr<Preferences>& target);
    boost::shared_ptr<Preferences> addPreferencesNode(const boost::shared_ptr<Preferences>& parent,
                                                      const std::wstring& name);
    void addKeyValueToPreferences(const boost::shared_ptr<Preferences>& target,
                                  const std::wstring& key, const std::wstring& value);
    void rememberStoredNode(const boost::shared_ptr<Preferences>& target);
    // Whether an ancestor of the node took entries too.
    bool hasStoredAncestor(const boost::shared_ptr<Preferences>& node) const;
    // Flushes each node that took entries once: a node below another such node is flushed with
    // that node's subtree. Every node is tried; the first failure is thrown after the last try.
    void flushStoredNodes();
    // The same after a failure of the import, which stays the failure reported.
    void flushStoredNodesAfterFailure();
    // The naming attribute of a root or node container, named by `tag` and `attribute` in
    // messages.
    std::wstring getAttributeValue(const PreferencesDocumentContent& content,
                                   std::uint32_t container, const wchar_t* tag,
                                   const wchar_t* attribute);
    void throwIfNodeNameIsEmpty(const std::wstring& name);
    // "Input file <name> has invalid XML format." followed by the detail.
    std::wstring invalidFormat(const std::wstring& detail) const;

    Lock lock;
    const std::wstring inputFilename;
    // Keeps the parser library started for as long as the parser lives.
    XmlSystemUse xmlSystem;
    std::unique_ptr<PreferencesDocumentParser> parser;
    // The nodes that took entries since the last flush, in the order of their first entry.
    std::vector<boost::shared_ptr<Preferences>> storedNodes;
    std::unordered_set<const Preferences*> storedNodeSet;
};

} // namespace krel_std
