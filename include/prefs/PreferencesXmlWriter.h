// PreferencesXmlWriter, the export of a node or subtree as a Java preferences XML document.
#pragma once

#include <boost/shared_ptr.hpp>
#include <memory>
#include <string>
#include <vector>

#include "base/Object.h"
#include "thread/Lock.h"

namespace krel_platform {
class FileReplacement;
} // namespace krel_platform

namespace krel_std {

class Preferences;

// Writes a preferences node, alone or with its subtree, as an XML document of the standard
// Java preferences type: UTF-8 without a byte-order mark, one TAB per level, CR LF after every
// line. The node's ancestors are written with empty maps.
//
// The output file is held exclusively from construction until the end of a write; a later write
// holds it again. A write puts a new file in the place of the output file only once the whole
// document is in it (links at the output resolved as krel_platform::FileReplacement does), so a
// write that fails part-way (a full disk) leaves the old file whole; only an output that is no
// regular file (a pipe, a device) is written in place. Each write makes the whole document (in
// UTF-8) first and writes it only once it is complete, so a node, key or value holding a
// character that an XML 1.0 document cannot carry (most control characters, U+FFFE, U+FFFF,
// lone surrogates) ends the write before the file is touched.
class PreferencesXmlWriter : public Object {
public:
    // Throws KrelIllegalArgumentException naming the node and the key when a name, key or
    // value the document for the node (with its subtree when asked) would hold has a character
    // an XML 1.0 document cannot carry.
    static void throwIfCannotBeWritten(const boost::shared_ptr<Preferences>& node, bool subtree);

    // The export operations of a node: makes the document for the node (with its subtree when
    // asked) once, and only when it is complete makes a writer and writes it. So a character
    // the document cannot carry throws as throwIfCannotBeWritten does and leaves the file as it
    // was; a node removed meanwhile ends the write as writePrefs reports it.
    static void exportPreferences(const boost::shared_ptr<Preferences>& node, bool subtree,
                                  const std::wstring& outputFilename);

    // Throws KrelIllegalArgumentException for an empty node or file name, and KrelIOException
    // "Unable to open or create file." when the file cannot be held alone or written (a link
    // that another account may have planted at it included), its cause naming the file and the
    // Windows error. A write that fails throws KrelIOException "Write file failed." with such a
    // cause (112 for a full disk).
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

    // Writes the document, made first unless `composed` says it is made already.
    void internalWritePrefs(bool composed);
    // The whole document into `document`.
    void composeDocument();
    // An empty piece at the end of the document.
    void startPiece();
    // The line's end; a piece that has grown full goes to the document and the next begins.
    void endLine();
    // Begins the replacement of the output file.
    void openOutputFile();
    // Throws KrelIOException with the message and a cause naming the file and the last error,
    // traced in the context.
    [[noreturn]] void throwFileFailure(const wchar_t* context, const wchar_t* message) const;
    void writePreferences();
    void writeRoot(int level);
    void writeRootMap(int level);
    int writeBeginParents(int level);
    void writeNode(const boost::shared_ptr<Preferences>& current, int level);
    void writeNodeStart(int level, const std::wstring& name);
    void writeMap(const boost::shared_ptr<Preferences>& current, int level);
    void writeEntries(const boost::shared_ptr<Preferences>& current,
                      const std::vector<std::wstring>& keys, int level);
    void writeCloseParents(int level, int count);
    void writeIndents(int count);
    // An attribute value with the characters that cannot stand raw between double quotes, or
    // would not come back from a parser unchanged, written as character references.
    void writeEscaped(const std::wstring& text);
    // One character that can stand raw, in UTF-8.
    void writeCharacter(wchar_t character);
    // Throws when the text has a character an XML 1.0 document cannot carry; `what` names the
    // text ("Name", "Key <k>" or "Value of key <k>") and `current` its node.
    static void throwIfCannotCarry(const boost::shared_ptr<Preferences>& current,
                                   const std::wstring& what, const std::wstring& text);
    // The indents, the markup (ASCII) and the line's end.
    void writeLine(int level, const char* markup);

    Lock lock;
    const boost::shared_ptr<Preferences> node;
    const std::wstring outputFilename;
    bool subtree;
    // The replacement of the output file under way, if any.
    std::unique_ptr<krel_platform::FileReplacement> output;
    // The document, in UTF-8, as pieces of a bounded size: a large document then never needs
    // one large block of memory, nor copies of it as it grows. Written at once when complete.
    std::vector<std::string> document;
    // The piece being made, which ends the document made so far.
    std::string piece;
};

} // namespace krel_std
