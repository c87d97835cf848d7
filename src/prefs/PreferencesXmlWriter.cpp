#include "prefs/PreferencesXmlWriter.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <utility>
#include <vector>

#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "file/File.h"
#include "platform/FileReplacement.h"
#include "platform/Utf8Encoding.h"
#include "platform/WinBase.h"
#include "prefs/Preferences.h"
#include "thread/AutoLock.h"

namespace krel_std {

namespace {

// The document's first lines, the document type being the one that the standard Java
// preferences import accepts.
const char* const DOCUMENT_HEADER =
    "<?xml version=\"1.0\"?>\r\n"
    "<!DOCTYPE preferences SYSTEM 'http://java.sun.com/dtd/preferences.dtd'>\r\n";

// File::lineSeparator in UTF-8.
const char* const LINE_END = "\r\n";

// The size a piece of a document grows to before the next one begins: a block this size comes
// from the heap's free blocks, never from new pages of memory.
const std::size_t PIECE_BYTES = 32 * 1024;

// The characters of XML 1.0: TAB, LF, CR, U+0020 to U+D7FF, U+E000 to U+FFFD and the planes
// above the basic one.
bool isXmlCharacter(wchar_t character) {
    const unsigned long code = static_cast<unsigned long>(static_cast<std::uint32_t>(character));
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

bool canCarry(const std::wstring& text) {
    return std::all_of(text.begin(), text.end(), isXmlCharacter);
}

std::wstring codePointText(wchar_t character) {
    wchar_t text[16];
    std::swprintf(text, sizeof text / sizeof text[0], L"U+%04lX",
                  static_cast<unsigned long>(static_cast<std::uint32_t>(character)));
    return text;
}

} // namespace

PreferencesXmlWriter::PreferencesXmlWriter(const boost::shared_ptr<Preferences>& node,
                                           const std::wstring& outputFilename)
    : node(node), outputFilename(outputFilename), subtree(false) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlWriter::PreferencesXmlWriter";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Node <%p> Output filename <%ls>.", node.get(),
                          outputFilename.c_str());
    ErrorUtils::isNullEx(node, context, L"Preferences node");
    ErrorUtils::isEmptyEx(outputFilename, context, L"Output filename");
    const File file(outputFilename);
    if (!file.isRootDirectory()) {
        file.getParentFile().mkdirs();
    }
    openOutputFile();
}

PreferencesXmlWriter::PreferencesXmlWriter(const boost::shared_ptr<Preferences>& node, bool subtree,
                                           InMemory)
    : node(node), subtree(subtree) {}

void PreferencesXmlWriter::throwIfCannotBeWritten(const boost::shared_ptr<Preferences>& node,
                                                  bool subtree) {
    ErrorUtils::isNullEx(node, L"krel_std::PreferencesXmlWriter::throwIfCannotBeWritten",
                         L"Preferences node");
    try {
        PreferencesXmlWriter(node, subtree, InMemory()).composeDocument();
    } catch (const KrelIllegalStateException&) {
        // A node removed meanwhile: the write itself reports it.
    }
}

void PreferencesXmlWriter::exportPreferences(const boost::shared_ptr<Preferences>& node,
                                             bool subtree, const std::wstring& outputFilename) {
    ErrorUtils::isNullEx(node, L"krel_std::PreferencesXmlWriter::exportPreferences",
                         L"Preferences node");
    PreferencesXmlWriter composer(node, subtree, InMemory());
    bool composed = true;
    try {
        composer.composeDocument();
    } catch (const KrelIllegalStateException&) {
        // A node removed meanwhile: the write itself reports it, as a write on its own would.
        composed = false;
    }
    PreferencesXmlWriter writer(node, outputFilename);
    AutoLock<Lock> guard(writer.lock);
    writer.subtree = subtree;
    if (composed) {
        writer.document = std::move(composer.document);
    }
    writer.internalWritePrefs(composed);
}

PreferencesXmlWriter::~PreferencesXmlWriter() = default;

std::wstring PreferencesXmlWriter::toString() const {
    return L"PreferencesXmlWriter{node=" + node->toString() + L",outputFilename='" +
           outputFilename + L"'}";
}

void PreferencesXmlWriter::writePrefs() {
    KREL_TRACE_SCOPE(L"krel_std::PreferencesXmlWriter::writePrefs");
    AutoLock<Lock> guard(lock);
    subtree = false;
    internalWritePrefs(false);
}

void PreferencesXmlWriter::writePrefsTree() {
    KREL_TRACE_SCOPE(L"krel_std::PreferencesXmlWriter::writePrefsTree");
    AutoLock<Lock> guard(lock);
    subtree = true;
    internalWritePrefs(false);
}

void PreferencesXmlWriter::internalWritePrefs(bool composed) {
    try {
        if (!composed) {
            composeDocument();
        }
        if (!output) {
            openOutputFile();
        }
        for (const std::string& text : document) {
            if (!output->write(text.data(), text.size())) {
                throwFileFailure(L"krel_std::PreferencesXmlWriter::writePrefs",
                                 L"Write file failed.");
            }
        }
        document.clear();
        if (!output->commit()) {
            throwFileFailure(L"krel_std::PreferencesXmlWriter::writePrefs", L"Write file failed.");
        }
        output.reset();
    } catch (const KrelIllegalStateException& cause) {
        output.reset();
        KrelIOException error(L"Output file was closed before write.", cause);
        error.logDebug(L"krel_std::PreferencesXmlWriter::internalWritePrefs");
        throw error;
    } catch (...) {
        output.reset();
        throw;
    }
}

void PreferencesXmlWriter::composeDocument() {
    document.clear();
    startPiece();
    piece += DOCUMENT_HEADER;
    writePreferences();
    document.push_back(std::move(piece));
}

void PreferencesXmlWriter::startPiece() {
    piece = std::string();
    piece.reserve(PIECE_BYTES + PIECE_BYTES / 8);
}

void PreferencesXmlWriter::endLine() {
    piece += LINE_END;
    if (piece.size() >= PIECE_BYTES) {
        document.push_back(std::move(piece));
        startPiece();
    }
}

void PreferencesXmlWriter::openOutputFile() {
    output.reset(new krel_platform::FileReplacement());
    // Held alone, as an overwriting open would hold it, until the new file is in its place.
    if (!output->begin(File(outputFilename).getCanonicalPath(),
                       krel_platform::FileReplacement::Exclusive)) {
        output.reset();
        throwFileFailure(L"krel_std::PreferencesXmlWriter::openOutputFile",
                         L"Unable to open or create file.");
    }
}

void PreferencesXmlWriter::throwFileFailure(const wchar_t* context, const wchar_t* message) const {
    const int error = static_cast<int>(GetLastError());
    KrelIOException failure(message,
                            KrelIOException(File(outputFilename).getCanonicalPath() + L": " +
                                                ErrorUtils::getWindowsErrorDescription(error),
                                            error));
    failure.logDebug(context);
    throw failure;
}

void PreferencesXmlWriter::writePreferences() {
    writeLine(0, "<preferences>");
    writeRoot(1);
    writeLine(0, "</preferences>");
}

void PreferencesXmlWriter::writeRoot(int level) {
    writeLine(level, node->isUserNode() ? "<root type=\"user\">" : "<root type=\"system\">");
    writeRootMap(level + 1);
    int nodeLevel = level + 1;
    const int parents = writeBeginParents(nodeLevel);
    nodeLevel += parents;
    writeNode(node, nodeLevel);
    writeCloseParents(nodeLevel, parents);
    writeLine(level, "</root>");
}

void PreferencesXmlWriter::writeRootMap(int level) {
    if (node->parent()) {
        writeLine(level, "<map/>");
    } else {
        writeMap(node, level);
    }
}

int PreferencesXmlWriter::writeBeginParents(int level) {
    const std::wstring path = node->absolutePath();
    const std::wstring::size_type last = path.rfind(L'/');
    if (last == std::wstring::npos) {
        return 0;
    }
    const std::wstring ancestors = path.substr(0, last);
    int count = 0;
    std::wstring::size_type start = 0;
    while (start <= ancestors.size()) {
        std::wstring::size_type end = ancestors.find_first_of(L"/\\", start);
        if (end == std::wstring::npos) {
            end = ancestors.size();
        }
        if (end > start) {
            const std::wstring name = ancestors.substr(start, end - start);
            throwIfCannotCarry(node, L"Name", name);
            writeNodeStart(level, name);
            ++level;
            writeLine(level, "<map/>");
            ++count;
        }
        start = end + 1;
    }
    return count;
}

void PreferencesXmlWriter::writeNode(const boost::shared_ptr<Preferences>& current, int level) {
    const bool hasParent = static_cast<bool>(current->parent());
    if (hasParent) {
        const std::wstring name = current->name();
        throwIfCannotCarry(current, L"Name", name);
        writeNodeStart(level, name);
        writeMap(current, level + 1);
    }
    if (subtree) {
        for (const std::wstring& childName : current->childrenNames()) {
            writeNode(current->node(childName), level + 1);
        }
    }
    if (hasParent) {
        writeLine(level, "</node>");
    }
}

void PreferencesXmlWriter::writeNodeStart(int level, const std::wstring& name) {
    writeIndents(level);
    piece += "<node name=\"";
    writeEscaped(name);
    piece += "\">";
    endLine();
}

void PreferencesXmlWriter::writeMap(const boost::shared_ptr<Preferences>& current, int level) {
    const std::vector<std::wstring> keys = current->keys();
    if (keys.empty()) {
        writeLine(level, "<map/>");
        return;
    }
    writeLine(level, "<map>");
    writeEntries(current, keys, level + 1);
    writeLine(level, "</map>");
}

void PreferencesXmlWriter::writeEntries(const boost::shared_ptr<Preferences>& current,
                                        const std::vector<std::wstring>& keys, int level) {
    for (const std::wstring& key : keys) {
        if (key.empty()) {
            continue;
        }
        const std::wstring value = current->get(key, std::wstring());
        if (!canCarry(key) || !canCarry(value)) {
            const std::wstring quotedKey = L"key <" + StringUtils::quotedPrefix(key) + L">";
            throwIfCannotCarry(current, L"Key " + quotedKey.substr(4), key);
            throwIfCannotCarry(current, L"Value of " + quotedKey, value);
        }
        writeIndents(level);
        piece += "<entry key=\"";
        writeEscaped(key);
        piece += "\" value=\"";
        writeEscaped(value);
        piece += "\"/>";
        endLine();
    }
}

void PreferencesXmlWriter::writeCloseParents(int level, int count) {
    for (int index = 0; index < count; ++index) {
        --level;
        writeLine(level, "</node>");
    }
}

void PreferencesXmlWriter::writeIndents(int count) {
    if (count > 0) {
        piece.append(static_cast<std::size_t>(count), '\t');
    }
}

void PreferencesXmlWriter::writeEscaped(const std::wstring& text) {
    for (const wchar_t character : text) {
        switch (character) {
        case L'&':
            piece += "&amp;";
            break;
        case L'<':
            piece += "&lt;";
            break;
        case L'"':
            piece += "&quot;";
            break;
        case L'\r':
            piece += "&#13;";
            break;
        case L'\n':
            piece += "&#10;";
            break;
        case L'\t':
            piece += "&#9;";
            break;
        default:
            writeCharacter(character);
        }
    }
}

void PreferencesXmlWriter::writeCharacter(wchar_t character) {
    if (static_cast<std::uint32_t>(character) < 0x80) {
        piece += static_cast<char>(character);
        return;
    }
    char bytes[4];
    const wchar_t* next = &character;
    const char* const end = krel_platform::encodeUtf8(next, next + 1, bytes, bytes + sizeof bytes,
                                                      krel_platform::Utf8Surrogates::ENCODE);
    piece.append(bytes, static_cast<std::size_t>(end - bytes));
}

void PreferencesXmlWriter::throwIfCannotCarry(const boost::shared_ptr<Preferences>& current,
                                              const std::wstring& what, const std::wstring& text) {
    const auto found = std::find_if_not(text.begin(), text.end(), isXmlCharacter);
    if (found == text.end()) {
        return;
    }
    KrelIllegalArgumentException error(
        what + L" of node <" + StringUtils::quotedPrefix(current->absolutePath()) + L"> holds " +
        codePointText(*found) + L", which an XML document cannot carry.");
    error.logDebug(L"krel_std::PreferencesXmlWriter::throwIfCannotCarry");
    throw error;
}

void PreferencesXmlWriter::writeLine(int level, const char* markup) {
    writeIndents(level);
    piece += markup;
    endLine();
}

} // namespace krel_std
