#pragma once

#include <boost/shared_ptr.hpp>
#include <string>
#include <unordered_set>
#include <vector>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

#include "prefs/PreferencesXmlReader.h"
#include "thread/Lock.h"
#include "xml/XmlSystemUse.h"

namespace krel_test {

using krel_std::Preferences;

// An import of an XML preferences document that builds the parser's whole DOM first and then
// walks it. The tests compare the library's streaming import with it: both must refuse the same
// documents with the same messages and store the same trees.
class DomPreferencesXmlReader {
public:
    static const unsigned long long MAX_DOCUMENT_BYTES =
        krel_std::PreferencesXmlReader::MAX_DOCUMENT_BYTES;
    static const unsigned int MAX_NODE_DEPTH = krel_std::PreferencesXmlReader::MAX_NODE_DEPTH;

    // Throws KrelIllegalArgumentException for an empty file name and KrelXmlException when the
    // parser cannot be set up or the XML parser library is not running.
    explicit DomPreferencesXmlReader(const std::wstring& inputFilename);
    DomPreferencesXmlReader(const DomPreferencesXmlReader&) = delete;
    DomPreferencesXmlReader& operator=(const DomPreferencesXmlReader&) = delete;
    ~DomPreferencesXmlReader();

    // Reads, parses and stores. A file that cannot be opened throws the LockedFile exceptions;
    // any other bad input KrelInvalidPreferencesFormatException; memory that runs out
    // KrelOutOfResourcesException.
    void importPreferences();

private:
    // The DOM parser of a preferences document. The document type needs no entities, and an
    // entity lets a small document expand itself without bound, so a document type
    // declaration with an internal subset, and any entity declaration, ends the parse with
    // KrelXmlException before the parser reads it. So does a node element nested deeper than
    // MAX_NODE_DEPTH node elements, as soon as it starts. After a document type declaration the
    // document is read as one without it, since its external subset is never read: a reference
    // to an undeclared entity is an error then too. Character data (the white space between
    // elements) makes no nodes.
    class DocumentParser : public xercesc::XercesDOMParser {
    public:
        DocumentParser();
        void startDocument() override;
        void startElement(const xercesc::XMLElementDecl& element, const unsigned int uriId,
                          const XMLCh* const prefix,
                          const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes,
                          const XMLSize_t attributeCount, const bool isEmpty,
                          const bool isRoot) override;
        // Called for empty elements too.
        void endElement(const xercesc::XMLElementDecl& element, const unsigned int uriId,
                        const bool isRoot, const XMLCh* const prefix) override;
        void doctypeDecl(const xercesc::DTDElementDecl& element, const XMLCh* const publicId,
                         const XMLCh* const systemId, const bool hasIntSubset,
                         const bool hasExtSubset) override;
        void entityDecl(const xercesc::DTDEntityDecl& entity, const bool isPEDecl,
                        const bool isIgnored) override;
        void docCharacters(const XMLCh* const characters, const XMLSize_t length,
                           const bool cdataSection) override;

    private:
        // The node elements open around the parser's position.
        unsigned int nodeDepth = 0;
    };

    void internalImportPreferences();
    [[noreturn]] void throwOutOfMemory() const;
    void setupParser();
    // The file's bytes up to its first NUL, checked to be UTF-8, without raw CR and LF.
    std::string getFileContents();
    void throwIfIsTooLarge(unsigned long long size);
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
    void rememberStoredNode(const boost::shared_ptr<Preferences>& target);
    // Whether an ancestor of the node took entries too.
    bool hasStoredAncestor(const boost::shared_ptr<Preferences>& node) const;
    // Flushes each node that took entries once: a node below another such node is flushed with
    // that node's subtree. Every node is tried; the first failure is thrown after the last try.
    void flushStoredNodes();
    // The same after a failure of the import, which stays the failure reported.
    void flushStoredNodesAfterFailure();
    std::wstring getAttributeValue(xercesc::DOMNode* element, const std::wstring& attribute);
    void throwIfNodeNameIsEmpty(const std::wstring& name);
    // "Input file <name> has invalid XML format." followed by the detail.
    std::wstring invalidFormat(const std::wstring& detail) const;

    krel_std::Lock lock;
    const std::wstring inputFilename;
    // Keeps the parser library started for as long as the parser and its document live.
    krel_std::XmlSystemUse xmlSystem;
    DocumentParser parser;
    xercesc::DOMDocument* document;
    // The nodes that took entries since the last flush, in the order of their first entry.
    std::vector<boost::shared_ptr<Preferences>> storedNodes;
    std::unordered_set<const Preferences*> storedNodeSet;
};

} // namespace krel_test
