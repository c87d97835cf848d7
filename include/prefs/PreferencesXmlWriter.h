#pragma once

#include <boost/shared_ptr.hpp>
#include <string>

#include "base/Object.h"
#include "file/LockedFile.h"
#include "thread/Lock.h"

namespace krel_std {

class Preferences;

// Writes a preferences node, alone or with its subtree, as an XML document of the standard
// Java preferences type: UTF-8 without a byte-order mark, one TAB per level, CR LF after every
// line. The node's ancestors are written with empty maps.
//
// The output file is created or truncated at construction and held exclusively until the end
// of a write; a later write opens and truncates it again. Each write makes the whole document
// first and writes it only once it is complete, so a node, key or value holding a character
// that an XML 1.0 document cannot carry (most control characters, U+FFFE, U+FFFF, lone
// surrogates) ends the write before the file is reopened or written.
class PreferencesXmlWriter : public Object {
public:
    // Throws KrelIllegalArgumentException naming the node and the key when a name, key or
    // value the document for the node (with its subtree when asked) would hold has a character
    // an XML 1.0 document cannot carry. The export operations of a node call it before they
    // make a writer, which truncates its file.
    static void throwIfCannotBeWritten(const boost::shared_ptr<Preferences>& node, bool subtree);

    // Throws KrelIllegalArgumentException for an empty node or file name, and KrelIOException
    // "Unable to open or create file." when the file cannot be opened alone.
    PreferencesXmlWriter(const boost::shared_ptr<Preferences>& node,
                         const std::wstring& outputFilename);
    PreferencesXmlWriter(const PreferencesXmlWriter&) = delete;
    PreferencesXmlWriter& operator=(const PreferencesXmlWriter&) = delete;
    ~PreferencesXmlWriter() override;

    // "PreferencesXmlWriter{node=<node's text>,outputFilename='<name>'}".
    std::wstring toString() const override;

    // The document for the node alone.
    void writePrefs();
    // The document for the node with its subtree.
    void writePrefsTree();

private:
    struct InMemory {};
    // A writer that only makes documents in memory: it has no file.
    PreferencesXmlWriter(const boost::shared_ptr<Preferences>& node, bool subtree, InMemory);

    void internalWritePrefs();
    // The whole document into `document`.
    void composeDocument();
    void openOutputFile();
    void writeHeader();
    void writePreferences();
    void writeRoot(int level);
    void writeRootMap(int level);
    int writeBeginParents(int level);
    void writeNode(const boost::shared_ptr<Preferences>& current, int level);
    void writeMap(const boost::shared_ptr<Preferences>& current, int level);
    void writeEntries(const boost::shared_ptr<Preferences>& current, int level);
    void writeCloseParents(int level, int count);
    static std::wstring createIndents(int count);
    // An attribute value with the characters that cannot stand raw between double quotes, or
    // would not come back from a parser unchanged, written as character references.
    static std::wstring escape(const std::wstring& text);
    // Throws when the text has a character an XML 1.0 document cannot carry; `what` names the
    // text ("Name", "Key <k>" or "Value of key <k>") and `current` its node.
    static void throwIfCannotCarry(const boost::shared_ptr<Preferences>& current,
                                   const std::wstring& what, const std::wstring& text);
    void writeLine(const std::wstring& text);

    Lock lock;
    const boost::shared_ptr<Preferences> node;
    const std::wstring outputFilename;
    bool subtree;
    LockedFile outputFile;
    // The document being made; written at once when complete.
    std::wstring document;
};

} // namespace krel_std
