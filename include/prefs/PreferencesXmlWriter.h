#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

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
// of a write; a later write opens and truncates it again.
class PreferencesXmlWriter : public Object {
public:
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
    void internalWritePrefs();
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
    void writeLine(const std::wstring& text);

    Lock lock;
    const boost::shared_ptr<Preferences> node;
    const std::wstring outputFilename;
    bool subtree;
    LockedFile outputFile;
};

} // namespace krel_std
