#include "prefs/PreferencesXmlReader.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <new>
#include <utility>
#include <vector>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>

#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "base/StringUtils.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelInvalidPreferencesFormatException.h"
#include "exception/KrelOutOfResourcesException.h"
#include "exception/KrelXmlException.h"
#include "file/File.h"
#include "file/LockedFile.h"
#include "internal/GuardedCall.h"
#include "platform/Utf16.h"
#include "prefs/Preferences.h"
#include "prefs/PreferencesDocumentParser.h"
#include "thread/AutoLock.h"
#include "xml/XmlUtils.h"

using namespace xercesc;

namespace krel_std {

namespace {

const wchar_t* const IMPORT_CONTEXT = L"krel_std::PreferencesXmlReader::importPreferences";

[[noreturn]] void throwInvalidFormat(const wchar_t* context, const std::wstring& message) {
    KrelInvalidPreferencesFormatException error(message);
    error.logDebug(context);
    throw error;
}

[[noreturn]] void throwInvalidFormat(const wchar_t* context, const std::wstring& message,
                                     const KrelException& cause) {
    KrelInvalidPreferencesFormatException error(message, cause);
    error.logDebug(context);
    throw error;
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at `at`, or 0 when there is none: overlong
// forms, encoded surrogates and values above U+10FFFF are not UTF-8, and an overlong '<' or
// NUL must never reach the parser as the character it stands for.
std::size_t wellFormedSequenceAt(const std::string& bytes, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() - at < length) {
        return 0;
    }
    const unsigned char second = static_cast<unsigned char>(bytes[at + 1]);
    if (second < low || second > high) {
        return 0;
    }
    for (std::size_t index = 2; index < length; ++index) {
        if (!isContinuation(static_cast<unsigned char>(bytes[at + index]))) {
            return 0;
        }
    }
    return length;
}

bool isWellFormedUtf8(const std::string& bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = wellFormedSequenceAt(bytes, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

[[noreturn]] void throwXmlException(const wchar_t* context, const std::wstring& message) {
    KrelXmlException error(message);
    error.logDebug(context);
    throw error;
}

} // namespace

PreferencesXmlReader::PreferencesXmlReader(const std::wstring& inputFilename)
    : inputFilename(inputFilename),
      xmlSystem(L"krel_std::PreferencesXmlReader::PreferencesXmlReader"),
      parser(new PreferencesDocumentParser(MAX_NODE_DEPTH)) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::PreferencesXmlReader";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Input filename <%ls>.", inputFilename.c_str());
    ErrorUtils::isEmptyEx(inputFilename, context, L"Input filename");
    setupParser();
}

PreferencesXmlReader::~PreferencesXmlReader() = default;

std::wstring PreferencesXmlReader::toString() const {
    return L"PreferencesXmlReader{inputFilename='" + inputFilename + L"'}";
}

void PreferencesXmlReader::importPreferences() {
    KREL_TRACE_SCOPE(IMPORT_CONTEXT);
    AutoLock<Lock> guard(lock);
    try {
        internalImportPreferences();
    } catch (const std::bad_alloc&) {
        throwOutOfMemory();
    } catch (const OutOfMemoryException&) {
        throwOutOfMemory();
    }
}

// What the import held is released by now, so the message can still be made.
void PreferencesXmlReader::throwOutOfMemory() const {
    KrelOutOfResourcesException error(L"Not enough memory to import input file <" + inputFilename +
                                      L">.");
    error.logDebug(IMPORT_CONTEXT);
    throw error;
}

// The bytes are handed to the parser as they are and dropped once the parse has ended, so an
// import holds the file's bytes and the content the parse gathers, never a wide copy of the
// whole text. The content is dropped once it is stored, also when storing fails.
void PreferencesXmlReader::internalImportPreferences() {
    struct ContentRelease {
        ~ContentRelease() { parser.clearContent(); }
        PreferencesDocumentParser& parser;
    } release{*parser};
    try {
        {
            const std::string text = getFileContents();
            XmlUtils::parse(IMPORT_CONTEXT, *parser, text);
        }
        readPreferences(parser->getContent());
    } catch (const KrelXmlException& cause) {
        throw KrelInvalidPreferencesFormatException(invalidFormat(std::wstring()), cause);
    }
}

void PreferencesXmlReader::setupParser() {
    try {
        parser->setValidationScheme(SAXParser::Val_Never);
        parser->setDoNamespaces(false);
        parser->setLoadExternalDTD(false);
        parser->setDisableDefaultEntityResolution(true);
    } catch (const XMLException& cause) {
        KrelXmlException error(L"Unable to setup SAXParser: " +
                               krel_platform::utf16ToWide(cause.getMessage()));
        error.logDebug(L"krel_std::PreferencesXmlReader::setupParser");
        throw error;
    }
}

// CR, LF and NUL are single bytes in UTF-8 that no other character's encoding holds, so they
// are dropped and cut from the bytes themselves.
std::string PreferencesXmlReader::getFileContents() {
    LockedFile file;
    const File input(inputFilename);
    file.open(input, LockedFile::Read);
    throwIfIsTooLarge(input.getLength());
    std::string bytes = file.read()->toString();
    file.close();
    throwIfIsTooLarge(bytes.size());
    bytes.resize(std::min(bytes.size(), bytes.find('\0')));
    throwIfIsNotUtf8(bytes);
    bytes.erase(std::remove_if(bytes.begin(), bytes.end(),
                               [](char byte) { return byte == '\r' || byte == '\n'; }),
                bytes.end());
    return bytes;
}

void PreferencesXmlReader::throwIfIsTooLarge(unsigned long long size) {
    if (size > MAX_DOCUMENT_BYTES) {
        throwInvalidFormat(L"krel_std::PreferencesXmlReader::throwIfIsTooLarge",
                           L"Input file <" + inputFilename + L"> is larger than the limit of " +
                               std::to_wstring(MAX_DOCUMENT_BYTES) + L" bytes.");
    }
}

void PreferencesXmlReader::throwIfIsNotUtf8(const std::string& bytes) {
    if (!isWellFormedUtf8(bytes)) {
        throwInvalidFormat(L"krel_std::PreferencesXmlReader::throwIfIsNotUtf8",
                           L"Input file <" + inputFilename + L"> is not in UTF-8 format.");
    }
}

void PreferencesXmlReader::readPreferences(const PreferencesDocumentContent& content) {
    if (!content.otherDocumentElement.empty()) {
        throwXmlException(L"krel_std::PreferencesXmlReader::readPreferences",
                          L"<" +
                              StringUtils::quotedPrefix(
                                  krel_platform::utf16ToWide(content.otherDocumentElement)) +
                              L"> node does not match expected node <preferences>.");
    }
    // Entries stored before a failure, or before the thread's cancellation (which no later
    // cancellation point acts on again while it unwinds), reach the disk before it ends.
    try {
        readRoot(content);
    } catch (...) {
        flushStoredNodesAfterFailure();
        throw;
    }
    flushStoredNodes();
}

// Container 0 is the document element, whose children are the roots.
void PreferencesXmlReader::readRoot(const PreferencesDocumentContent& content) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::readRoot";
    const PreferencesDocumentContent::Container& preferences = content.containers[0];
    if (preferences.childCount != 1) {
        throwXmlException(context, std::to_wstring(preferences.childCount) +
                                       L" child nodes with <root> tag found when expecting one "
                                       L"under <preferences> tag.");
    }
    const std::uint32_t root = preferences.firstChild;
    const std::wstring type = getAttributeValue(content, root, L"root", L"type");
    boost::shared_ptr<Preferences> target;
    if (type == L"system") {
        target = Preferences::systemRoot();
    } else if (type == L"user") {
        target = Preferences::userRoot();
    } else {
        throwInvalidFormat(context, invalidFormat(L" Invalid root type <" +
                                                  StringUtils::quotedPrefix(type) + L">."));
    }
    readMap(content, root, L"root", target);
    readNodes(content, root, target);
}

void PreferencesXmlReader::readMap(const PreferencesDocumentContent& content,
                                   std::uint32_t container, const wchar_t* tag,
                                   const boost::shared_ptr<Preferences>& target) {
    const PreferencesDocumentContent::Container& element = content.containers[container];
    if (element.mapCount != 1) {
        throwXmlException(L"krel_std::PreferencesXmlReader::readMap",
                          std::to_wstring(element.mapCount) +
                              L" child nodes with <map> tag found when expecting one under <" +
                              tag + L"> tag.");
    }
    const PreferencesDocumentContent::Map& map = content.maps[element.firstMap];
    for (std::uint32_t entry = map.firstEntry; entry < map.endEntry; ++entry) {
        readEntry(content, entry, target);
    }
}

void PreferencesXmlReader::readEntry(const PreferencesDocumentContent& content, std::uint32_t index,
                                     const boost::shared_ptr<Preferences>& target) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::readEntry";
    const PreferencesDocumentContent::Entry& entry = content.entries[index];
    if (entry.key == PreferencesDocumentContent::INSTRUCTION) {
        throwXmlException(context, L"<entry> node is invalid.");
    }
    if (entry.key == PreferencesDocumentContent::NONE) {
        throwInvalidFormat(context, invalidFormat(L" Attribute <key> not found."));
    }
    if (entry.value == PreferencesDocumentContent::NONE) {
        throwInvalidFormat(context, invalidFormat(L" Attribute <value> not found."));
    }
    addKeyValueToPreferences(target, content.text(entry.key), content.text(entry.value));
}

void PreferencesXmlReader::readNodes(const PreferencesDocumentContent& content, std::uint32_t root,
                                     const boost::shared_ptr<Preferences>& target) {
    // Depth first in document order, kept on a stack of its own so that deeply nested
    // documents cannot exhaust the call stack.
    std::vector<std::pair<std::uint32_t, boost::shared_ptr<Preferences>>> pending;
    const auto pushChildren = [&pending, &content](std::uint32_t parent,
                                                   const boost::shared_ptr<Preferences>& node) {
        const std::size_t first = pending.size();
        for (std::uint32_t child = content.containers[parent].firstChild;
             child != PreferencesDocumentContent::NONE;
             child = content.containers[child].nextSibling) {
            pending.emplace_back(child, node);
        }
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
    };
    pushChildren(root, target);
    while (!pending.empty()) {
        const std::pair<std::uint32_t, boost::shared_ptr<Preferences>> next = pending.back();
        pending.pop_back();
        pushChildren(next.first, readNode(content, next.first, next.second));
    }
}

boost::shared_ptr<Preferences>
PreferencesXmlReader::readNode(const PreferencesDocumentContent& content, std::uint32_t container,
                               const boost::shared_ptr<Preferences>& target) {
    const std::wstring name = getAttributeValue(content, container, L"node", L"name");
    throwIfNodeNameIsEmpty(name);
    const boost::shared_ptr<Preferences> child = addPreferencesNode(target, name);
    readMap(content, container, L"node", child);
    return child;
}

boost::shared_ptr<Preferences>
PreferencesXmlReader::addPreferencesNode(const boost::shared_ptr<Preferences>& parent,
                                         const std::wstring& name) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::addPreferencesNode";
    const auto invalidName = [this, &name] {
        return invalidFormat(L" Invalid preference node name <" + StringUtils::quotedPrefix(name) +
                             L">.");
    };
    // A name is one path step: a '/' would reach other nodes, even the tree's root.
    if (name.find(Preferences::SLASH) != std::wstring::npos) {
        throwInvalidFormat(context, invalidName(),
                           KrelIllegalArgumentException(L"Node name <" +
                                                        StringUtils::quotedPrefix(name) +
                                                        L"> contains '/'."));
    }
    try {
        return parent->node(name);
    } catch (const KrelIllegalArgumentException& cause) {
        throwInvalidFormat(context, invalidName(), cause);
    } catch (KrelIllegalStateException& cause) {
        cause.logDebug(context);
        throw;
    }
}

void PreferencesXmlReader::addKeyValueToPreferences(const boost::shared_ptr<Preferences>& target,
                                                    const std::wstring& key,
                                                    const std::wstring& value) {
    try {
        target->put(key, value);
        rememberStoredNode(target);
    } catch (const KrelIllegalArgumentException& cause) {
        throwInvalidFormat(L"krel_std::PreferencesXmlReader::addKeyValueToPreferences",
                           invalidFormat(L" Invalid attribute key <" +
                                         StringUtils::quotedPrefix(key) + L"> or value <" +
                                         StringUtils::quotedPrefix(value) + L">."),
                           cause);
    } catch (const KrelIllegalStateException&) {
        // The node was removed meanwhile: this entry is skipped and the import goes on.
    }
}

void PreferencesXmlReader::rememberStoredNode(const boost::shared_ptr<Preferences>& target) {
    if (storedNodeSet.insert(target.get()).second) {
        storedNodes.push_back(target);
    }
}

bool PreferencesXmlReader::hasStoredAncestor(const boost::shared_ptr<Preferences>& node) const {
    try {
        for (boost::shared_ptr<Preferences> ancestor = node->parent(); ancestor;
             ancestor = ancestor->parent()) {
            if (storedNodeSet.count(ancestor.get()) != 0) {
                return true;
            }
        }
    } catch (const KrelIllegalStateException&) {
        // A node removed meanwhile is flushed on its own, which stores nothing.
    }
    return false;
}

void PreferencesXmlReader::flushStoredNodes() {
    std::vector<boost::shared_ptr<Preferences>> topmost;
    for (const boost::shared_ptr<Preferences>& node : storedNodes) {
        if (!hasStoredAncestor(node)) {
            topmost.push_back(node);
        }
    }
    storedNodes.clear();
    storedNodeSet.clear();
    std::exception_ptr firstFailure;
    for (const boost::shared_ptr<Preferences>& node : topmost) {
        krel_std_internal::callSwallowing([&] { node->flush(); },
                                          [&] {
                                              try {
                                                  throw;
                                              } catch (const KrelIllegalStateException&) {
                                                  // The node was removed meanwhile: its entries are
                                                  // skipped, as a put into it is.
                                              } catch (...) {
                                                  if (!firstFailure) {
                                                      firstFailure = std::current_exception();
                                                  }
                                              }
                                          });
    }
    if (firstFailure) {
        std::rethrow_exception(firstFailure);
    }
}

void PreferencesXmlReader::flushStoredNodesAfterFailure() {
    krel_std_internal::callSwallowing([&] { flushStoredNodes(); },
                                      [&] {
                                          try {
                                              throw;
                                          } catch (KrelException& error) {
                                              error.logDebug(IMPORT_CONTEXT);
                                          } catch (...) {
                                              // The import's own failure is the one reported.
                                          }
                                      });
}

std::wstring PreferencesXmlReader::getAttributeValue(const PreferencesDocumentContent& content,
                                                     std::uint32_t index, const wchar_t* tag,
                                                     const wchar_t* attribute) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::getAttributeValue";
    const PreferencesDocumentContent::Container& container = content.containers[index];
    if (container.instruction) {
        throwXmlException(context, L"<" + std::wstring(tag) + L"> node is invalid.");
    }
    if (!container.hasAttributes) {
        throwXmlException(context, L"<" + std::wstring(tag) + L"> node has no attributes.");
    }
    if (container.name == PreferencesDocumentContent::NONE) {
        throwXmlException(context, L"Attribute <" + std::wstring(attribute) +
                                       L"> not found for node <" + tag + L">.");
    }
    return content.text(container.name);
}

void PreferencesXmlReader::throwIfNodeNameIsEmpty(const std::wstring& name) {
    if (name.empty()) {
        throwInvalidFormat(L"krel_std::PreferencesXmlReader::throwIfNodeNameIsEmpty",
                           invalidFormat(L" Node name is empty."));
    }
}

std::wstring PreferencesXmlReader::invalidFormat(const std::wstring& detail) const {
    return L"Input file <" + inputFilename + L"> has invalid XML format." + detail;
}

} // namespace krel_std
