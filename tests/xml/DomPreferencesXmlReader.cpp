#include "xml/DomPreferencesXmlReader.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <list>
#include <new>
#include <utility>
#include <vector>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/framework/XMLValidator.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
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
#include "thread/AutoLock.h"
#include "xml/XmlUtils.h"

using namespace xercesc;
using namespace krel_std;

namespace krel_test {

namespace {

const wchar_t* const IMPORT_CONTEXT = L"krel_test::DomPreferencesXmlReader::importPreferences";

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

bool isNodeElement(const XMLElementDecl& element) {
    static const std::u16string name = u"node";
    return name == element.getFullName();
}

} // namespace

DomPreferencesXmlReader::DocumentParser::DocumentParser()
    : XercesDOMParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr) {}

void DomPreferencesXmlReader::DocumentParser::startDocument() {
    nodeDepth = 0;
    XercesDOMParser::startDocument();
}

void DomPreferencesXmlReader::DocumentParser::startElement(const XMLElementDecl& element,
                                                           const unsigned int uriId,
                                                           const XMLCh* const prefix,
                                                           const RefVectorOf<XMLAttr>& attributes,
                                                           const XMLSize_t attributeCount,
                                                           const bool isEmpty, const bool isRoot) {
    if (isNodeElement(element)) {
        if (nodeDepth == MAX_NODE_DEPTH) {
            KrelXmlException error(L"Nodes are nested deeper than the limit of " +
                                   std::to_wstring(MAX_NODE_DEPTH) + L" levels.");
            error.logDebug(L"krel_test::DomPreferencesXmlReader::DocumentParser::startElement");
            throw error;
        }
        ++nodeDepth;
    }
    XercesDOMParser::startElement(element, uriId, prefix, attributes, attributeCount, isEmpty,
                                  isRoot);
}

void DomPreferencesXmlReader::DocumentParser::endElement(const XMLElementDecl& element,
                                                         const unsigned int uriId,
                                                         const bool isRoot,
                                                         const XMLCh* const prefix) {
    XercesDOMParser::endElement(element, uriId, isRoot, prefix);
    if (isNodeElement(element) && nodeDepth > 0) {
        --nodeDepth;
    }
}

void DomPreferencesXmlReader::DocumentParser::doctypeDecl(const DTDElementDecl& element,
                                                          const XMLCh* const publicId,
                                                          const XMLCh* const systemId,
                                                          const bool hasIntSubset,
                                                          const bool hasExtSubset) {
    if (hasIntSubset) {
        KrelXmlException error(L"A document type declaration with an internal subset is not "
                               L"accepted.");
        error.logDebug(L"krel_test::DomPreferencesXmlReader::DocumentParser::doctypeDecl");
        throw error;
    }
    XercesDOMParser::doctypeDecl(element, publicId, systemId, hasIntSubset, hasExtSubset);
    // The external subset is never read, so the document declares no entity at all: read as
    // one without a document type declaration, a reference to any entity but the five
    // predefined ones is the error it is there, not a reference silently left out.
    getScanner()->setHasNoDTD(true);
}

void DomPreferencesXmlReader::DocumentParser::entityDecl(const DTDEntityDecl&, const bool,
                                                         const bool) {
    KrelXmlException error(L"An entity declaration is not accepted.");
    error.logDebug(L"krel_test::DomPreferencesXmlReader::DocumentParser::entityDecl");
    throw error;
}

void DomPreferencesXmlReader::DocumentParser::docCharacters(const XMLCh* const, const XMLSize_t,
                                                            const bool) {}

DomPreferencesXmlReader::DomPreferencesXmlReader(const std::wstring& inputFilename)
    : inputFilename(inputFilename),
      xmlSystem(L"krel_test::DomPreferencesXmlReader::DomPreferencesXmlReader"), document(nullptr) {
    static const wchar_t* const context =
        L"krel_test::DomPreferencesXmlReader::DomPreferencesXmlReader";
    KREL_TRACE_SCOPE_ARGS(context, L"Begin. Input filename <%ls>.", inputFilename.c_str());
    ErrorUtils::isEmptyEx(inputFilename, context, L"Input filename");
    setupParser();
}

DomPreferencesXmlReader::~DomPreferencesXmlReader() = default;

void DomPreferencesXmlReader::importPreferences() {
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
void DomPreferencesXmlReader::throwOutOfMemory() const {
    KrelOutOfResourcesException error(L"Not enough memory to import input file <" + inputFilename +
                                      L">.");
    error.logDebug(IMPORT_CONTEXT);
    throw error;
}

// The bytes are handed to the parser as they are and dropped once the document is built, so
// an import holds the file's bytes and the document, never a wide copy of the whole text.
void DomPreferencesXmlReader::internalImportPreferences() {
    try {
        {
            const std::string text = getFileContents();
            document = XmlUtils::parseAndGetDocument(IMPORT_CONTEXT, parser, text);
        }
        readPreferences();
    } catch (const KrelXmlException& cause) {
        throw KrelInvalidPreferencesFormatException(invalidFormat(std::wstring()), cause);
    }
}

void DomPreferencesXmlReader::setupParser() {
    try {
        parser.setValidationScheme(XercesDOMParser::Val_Never);
        parser.setDoNamespaces(false);
        parser.setLoadExternalDTD(false);
        parser.setDisableDefaultEntityResolution(true);
        parser.setCreateCommentNodes(false);
    } catch (const XMLException& cause) {
        KrelXmlException error(L"Unable to setup XercesDOMParser: " +
                               krel_platform::utf16ToWide(cause.getMessage()));
        error.logDebug(L"krel_test::DomPreferencesXmlReader::setupParser");
        throw error;
    }
}

// CR, LF and NUL are single bytes in UTF-8 that no other character's encoding holds, so they
// are dropped and cut from the bytes themselves.
std::string DomPreferencesXmlReader::getFileContents() {
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

void DomPreferencesXmlReader::throwIfIsTooLarge(unsigned long long size) {
    if (size > MAX_DOCUMENT_BYTES) {
        throwInvalidFormat(L"krel_test::DomPreferencesXmlReader::throwIfIsTooLarge",
                           L"Input file <" + inputFilename + L"> is larger than the limit of " +
                               std::to_wstring(MAX_DOCUMENT_BYTES) + L" bytes.");
    }
}

void DomPreferencesXmlReader::throwIfIsNotUtf8(const std::string& bytes) {
    if (!isWellFormedUtf8(bytes)) {
        throwInvalidFormat(L"krel_test::DomPreferencesXmlReader::throwIfIsNotUtf8",
                           L"Input file <" + inputFilename + L"> is not in UTF-8 format.");
    }
}

void DomPreferencesXmlReader::readPreferences() {
    static const wchar_t* const context = L"krel_test::DomPreferencesXmlReader::readPreferences";
    DOMElement* preferences = XmlUtils::getDocumentRoot(context, document);
    XmlUtils::throwIfNodeNameIsNotMatchFor(context, preferences, L"preferences");
    // Entries stored before a failure, or before the thread's cancellation (which no later
    // cancellation point acts on again while it unwinds), reach the disk before it ends.
    try {
        readRoot(preferences);
    } catch (...) {
        flushStoredNodesAfterFailure();
        throw;
    }
    flushStoredNodes();
}

void DomPreferencesXmlReader::readRoot(DOMNode* preferences) {
    static const wchar_t* const context = L"krel_test::DomPreferencesXmlReader::readRoot";
    DOMNode* root = XmlUtils::getOneChildNodeByTagName(context, preferences, L"root");
    const std::wstring type = getAttributeValue(root, L"type");
    boost::shared_ptr<Preferences> target;
    if (type == L"system") {
        target = Preferences::systemRoot();
    } else if (type == L"user") {
        target = Preferences::userRoot();
    } else {
        throwInvalidFormat(context, invalidFormat(L" Invalid root type <" +
                                                  StringUtils::quotedPrefix(type) + L">."));
    }
    readMap(root, target);
    readNodes(root, target);
}

void DomPreferencesXmlReader::readMap(DOMNode* element,
                                      const boost::shared_ptr<Preferences>& target) {
    static const wchar_t* const context = L"krel_test::DomPreferencesXmlReader::readMap";
    DOMNode* map = XmlUtils::getOneChildNodeByTagName(context, element, L"map");
    for (DOMNode* entry : XmlUtils::getChildNodesByTagName(context, map, L"entry")) {
        readEntry(entry, target);
    }
}

void DomPreferencesXmlReader::readEntry(DOMNode* entry,
                                        const boost::shared_ptr<Preferences>& target) {
    static const wchar_t* const context = L"krel_test::DomPreferencesXmlReader::readEntry";
    const XMLCh* const key = XmlUtils::findAttributeValue(context, entry, L"key");
    if (key == nullptr) {
        throwInvalidFormat(context, invalidFormat(L" Attribute <key> not found."));
    }
    const XMLCh* const value = XmlUtils::findAttributeValue(context, entry, L"value");
    if (value == nullptr) {
        throwInvalidFormat(context, invalidFormat(L" Attribute <value> not found."));
    }
    addKeyValueToPreferences(target, krel_platform::utf16ToWide(key),
                             krel_platform::utf16ToWide(value));
}

void DomPreferencesXmlReader::readNodes(DOMNode* element,
                                        const boost::shared_ptr<Preferences>& target) {
    static const wchar_t* const context = L"krel_test::DomPreferencesXmlReader::readNodes";
    // Depth first in document order, kept on a stack of its own so that deeply nested
    // documents cannot exhaust the call stack.
    std::vector<std::pair<DOMNode*, boost::shared_ptr<Preferences>>> pending;
    const auto pushChildren = [&pending](DOMNode* parentElement,
                                         const boost::shared_ptr<Preferences>& parentNode) {
        const std::list<DOMNode*> children =
            XmlUtils::getChildNodesByTagName(context, parentElement, L"node");
        for (auto child = children.rbegin(); child != children.rend(); ++child) {
            pending.emplace_back(*child, parentNode);
        }
    };
    pushChildren(element, target);
    while (!pending.empty()) {
        const std::pair<DOMNode*, boost::shared_ptr<Preferences>> next = pending.back();
        pending.pop_back();
        pushChildren(next.first, readNode(next.first, next.second));
    }
}

boost::shared_ptr<Preferences>
DomPreferencesXmlReader::readNode(DOMNode* element, const boost::shared_ptr<Preferences>& target) {
    const std::wstring name = getAttributeValue(element, L"name");
    throwIfNodeNameIsEmpty(name);
    const boost::shared_ptr<Preferences> child = addPreferencesNode(target, name);
    readMap(element, child);
    return child;
}

boost::shared_ptr<Preferences>
DomPreferencesXmlReader::addPreferencesNode(const boost::shared_ptr<Preferences>& parent,
                                            const std::wstring& name) {
    static const wchar_t* const context = L"krel_test::DomPreferencesXmlReader::addPreferencesNode";
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

void DomPreferencesXmlReader::addKeyValueToPreferences(const boost::shared_ptr<Preferences>& target,
                                                       const std::wstring& key,
                                                       const std::wstring& value) {
    try {
        target->put(key, value);
        rememberStoredNode(target);
    } catch (const KrelIllegalArgumentException& cause) {
        throwInvalidFormat(L"krel_test::DomPreferencesXmlReader::addKeyValueToPreferences",
                           invalidFormat(L" Invalid attribute key <" +
                                         StringUtils::quotedPrefix(key) + L"> or value <" +
                                         StringUtils::quotedPrefix(value) + L">."),
                           cause);
    } catch (const KrelIllegalStateException&) {
        // The node was removed meanwhile: this entry is skipped and the import goes on.
    }
}

void DomPreferencesXmlReader::rememberStoredNode(const boost::shared_ptr<Preferences>& target) {
    if (storedNodeSet.insert(target.get()).second) {
        storedNodes.push_back(target);
    }
}

bool DomPreferencesXmlReader::hasStoredAncestor(const boost::shared_ptr<Preferences>& node) const {
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

void DomPreferencesXmlReader::flushStoredNodes() {
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
                                                  // The node was removed meanwhile.
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

void DomPreferencesXmlReader::flushStoredNodesAfterFailure() {
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

std::wstring DomPreferencesXmlReader::getAttributeValue(DOMNode* element,
                                                        const std::wstring& attribute) {
    return XmlUtils::getAttributeValue(L"krel_test::DomPreferencesXmlReader::getAttributeValue",
                                       element, attribute);
}

void DomPreferencesXmlReader::throwIfNodeNameIsEmpty(const std::wstring& name) {
    if (name.empty()) {
        throwInvalidFormat(L"krel_test::DomPreferencesXmlReader::throwIfNodeNameIsEmpty",
                           invalidFormat(L" Node name is empty."));
    }
}

std::wstring DomPreferencesXmlReader::invalidFormat(const std::wstring& detail) const {
    return L"Input file <" + inputFilename + L"> has invalid XML format." + detail;
}

} // namespace krel_test
