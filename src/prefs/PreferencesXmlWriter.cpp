#include "prefs/PreferencesXmlWriter.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <vector>

#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "exception/KrelIOException.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "file/File.h"
#include "prefs/Preferences.h"
#include "thread/AutoLock.h"

namespace krel_std {

namespace {

// The document type that the standard Java preferences import accepts.
const wchar_t* const preferencesDtd = L"http://java.sun.com/dtd/preferences.dtd";

// The characters of XML 1.0: TAB, LF, CR, U+0020 to U+D7FF, U+E000 to U+FFFD and the planes
// above the basic one.
bool isXmlCharacter(wchar_t character) {
    const unsigned long code = static_cast<unsigned long>(static_cast<std::uint32_t>(character));
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
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

PreferencesXmlWriter::~PreferencesXmlWriter() {
    outputFile.close();
}

std::wstring PreferencesXmlWriter::toString() const {
    return L"PreferencesXmlWriter{node=" + node->toString() + L",outputFilename='" +
           outputFilename + L"'}";
}

void PreferencesXmlWriter::writePrefs() {
    KREL_TRACE_SCOPE(L"krel_std::PreferencesXmlWriter::writePrefs");
    AutoLock<Lock> guard(lock);
    subtree = false;
    internalWritePrefs();
}

void PreferencesXmlWriter::writePrefsTree() {
    KREL_TRACE_SCOPE(L"krel_std::PreferencesXmlWriter::writePrefsTree");
    AutoLock<Lock> guard(lock);
    subtree = true;
    internalWritePrefs();
}

void PreferencesXmlWriter::internalWritePrefs() {
    try {
        composeDocument();
        if (!outputFile.isOpen()) {
            openOutputFile();
        }
        outputFile.write(ByteArray(document, L"UTF-8"));
        document.clear();
        outputFile.close();
    } catch (const KrelIllegalStateException& cause) {
        outputFile.close();
        KrelIOException error(L"Output file was closed before write.", cause);
        error.logDebug(L"krel_std::PreferencesXmlWriter::internalWritePrefs");
        throw error;
    } catch (...) {
        outputFile.close();
        throw;
    }
}

void PreferencesXmlWriter::composeDocument() {
    document.clear();
    writeHeader();
    writePreferences();
}

void PreferencesXmlWriter::openOutputFile() {
    outputFile.open(File(outputFilename), LockedFile::Overwrite);
}

void PreferencesXmlWriter::writeHeader() {
    writeLine(L"<?xml version=\"1.0\"?>");
    writeLine(std::wstring(L"<!DOCTYPE preferences SYSTEM '") + preferencesDtd + L"'>");
}

void PreferencesXmlWriter::writePreferences() {
    writeLine(L"<preferences>");
    writeRoot(1);
    writeLine(L"</preferences>");
}

void PreferencesXmlWriter::writeRoot(int level) {
    writeLine(createIndents(level) + L"<root type=\"" + (node->isUserNode() ? L"user" : L"system") +
              L"\">");
    writeRootMap(level + 1);
    int nodeLevel = level + 1;
    const int parents = writeBeginParents(nodeLevel);
    nodeLevel += parents;
    writeNode(node, nodeLevel);
    writeCloseParents(nodeLevel, parents);
    writeLine(createIndents(level) + L"</root>");
}

void PreferencesXmlWriter::writeRootMap(int level) {
    if (!node->parent() && !node->keys().empty()) {
        writeMap(node, level);
    } else {
        writeLine(createIndents(level) + L"<map/>");
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
            writeLine(createIndents(level) + L"<node name=\"" + escape(name) + L"\">");
            ++level;
            writeLine(createIndents(level) + L"<map/>");
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
        writeLine(createIndents(level) + L"<node name=\"" + escape(name) + L"\">");
        writeMap(current, level + 1);
    }
    if (subtree) {
        for (const std::wstring& childName : current->childrenNames()) {
            writeNode(current->node(childName), level + 1);
        }
    }
    if (hasParent) {
        writeLine(createIndents(level) + L"</node>");
    }
}

void PreferencesXmlWriter::writeMap(const boost::shared_ptr<Preferences>& current, int level) {
    if (current->keys().empty()) {
        writeLine(createIndents(level) + L"<map/>");
        return;
    }
    writeLine(createIndents(level) + L"<map>");
    writeEntries(current, level + 1);
    writeLine(createIndents(level) + L"</map>");
}

void PreferencesXmlWriter::writeEntries(const boost::shared_ptr<Preferences>& current, int level) {
    const std::wstring indents = createIndents(level);
    for (const std::wstring& key : current->keys()) {
        if (key.empty()) {
            continue;
        }
        const std::wstring value = current->get(key, std::wstring());
        const std::wstring quotedKey = L"key <" + StringUtils::quotedPrefix(key) + L">";
        throwIfCannotCarry(current, L"Key " + quotedKey.substr(4), key);
        throwIfCannotCarry(current, L"Value of " + quotedKey, value);
        writeLine(indents + L"<entry key=\"" + escape(key) + L"\" value=\"" + escape(value) +
                  L"\"/>");
    }
}

void PreferencesXmlWriter::writeCloseParents(int level, int count) {
    for (int index = 0; index < count; ++index) {
        --level;
        writeLine(createIndents(level) + L"</node>");
    }
}

std::wstring PreferencesXmlWriter::createIndents(int count) {
    return count < 1 ? std::wstring() : std::wstring(static_cast<std::size_t>(count), L'\t');
}

std::wstring PreferencesXmlWriter::escape(const std::wstring& text) {
    std::wstring escaped;
    escaped.reserve(text.size());
    for (const wchar_t character : text) {
        switch (character) {
        case L'&':
            escaped += L"&amp;";
            break;
        case L'<':
            escaped += L"&lt;";
            break;
        case L'"':
            escaped += L"&quot;";
            break;
        case L'\r':
            escaped += L"&#13;";
            break;
        case L'\n':
            escaped += L"&#10;";
            break;
        case L'\t':
            escaped += L"&#9;";
            break;
        default:
            escaped += character;
        }
    }
    return escaped;
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

void PreferencesXmlWriter::writeLine(const std::wstring& text) {
    document += text;
    document += File::lineSeparator;
}

} // namespace krel_std
