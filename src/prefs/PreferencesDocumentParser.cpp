#include "prefs/PreferencesDocumentParser.h"

#include <algorithm>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLString.hpp>

#include "base/StringUtils.h"
#include "exception/KrelXmlException.h"
#include "platform/Utf16.h"

using namespace xercesc;

namespace krel_std {

namespace {

bool isNamed(const XMLCh* name, const char16_t* wanted) {
    return XMLString::equals(name, wanted);
}

// The value of the attribute of that name, or null.
const XMLCh* findAttribute(const RefVectorOf<XMLAttr>& attributes, XMLSize_t count,
                           const char16_t* name) {
    for (XMLSize_t index = 0; index < count; ++index) {
        const XMLAttr* attribute = attributes.elementAt(index);
        if (isNamed(attribute->getQName(), name)) {
            return attribute->getValue();
        }
    }
    return nullptr;
}

[[noreturn]] void throwXmlException(const wchar_t* context, const std::wstring& message) {
    KrelXmlException error(message);
    error.logDebug(context);
    throw error;
}

} // namespace

std::wstring PreferencesDocumentContent::text(std::uint32_t at) const {
    const std::uint32_t length =
        static_cast<std::uint32_t>(texts[at]) | static_cast<std::uint32_t>(texts[at + 1]) << 16;
    return krel_platform::utf16ToWide(texts.data() + at + 2, length);
}

std::uint32_t PreferencesDocumentContent::addText(const char16_t* text) {
    if (text == nullptr) {
        return NONE;
    }
    const std::uint32_t at = static_cast<std::uint32_t>(texts.size());
    const std::uint32_t length = static_cast<std::uint32_t>(XMLString::stringLen(text));
    texts.push_back(static_cast<char16_t>(length & 0xFFFF));
    texts.push_back(static_cast<char16_t>(length >> 16));
    texts.insert(texts.end(), text, text + length);
    return at;
}

void PreferencesDocumentContent::shrink() {
    containers.shrink_to_fit();
    maps.shrink_to_fit();
    entries.shrink_to_fit();
    texts.shrink_to_fit();
}

PreferencesDocumentParser::PreferencesDocumentParser(unsigned int maxNodeDepth)
    : SAXParser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr), gatherer(maxNodeDepth) {
    installAdvDocHandler(&gatherer);
    setDTDHandler(&declarations);
}

PreferencesDocumentParser::~PreferencesDocumentParser() {
    setDTDHandler(nullptr);
    removeAdvDocHandler(&gatherer);
}

void PreferencesDocumentParser::clearContent() {
    gatherer.clear();
}

void PreferencesDocumentParser::Gatherer::clear() {
    content = PreferencesDocumentContent();
    open = std::vector<Open>();
}

void PreferencesDocumentParser::Gatherer::startDocument() {
    clear();
    nodeDepth = 0;
}

void PreferencesDocumentParser::Gatherer::startElement(const XMLElementDecl& element,
                                                       const unsigned int, const XMLCh* const,
                                                       const RefVectorOf<XMLAttr>& attributes,
                                                       const XMLSize_t attributeCount,
                                                       const bool isEmpty, const bool) {
    const XMLCh* const name = element.getFullName();
    const bool isNode = isNamed(name, u"node");
    if (isNode) {
        throwIfTooDeep();
        ++nodeDepth;
    }
    std::uint32_t index = PreferencesDocumentContent::NONE;
    const Role role = add(name, &attributes, attributeCount, index);
    open.push_back(Open{role, index, PreferencesDocumentContent::NONE});
    // The parser reports no end of an empty element.
    if (isEmpty) {
        closeElement(isNode);
    }
}

void PreferencesDocumentParser::Gatherer::endElement(const XMLElementDecl& element,
                                                     const unsigned int, const bool,
                                                     const XMLCh* const) {
    closeElement(isNamed(element.getFullName(), u"node"));
}

void PreferencesDocumentParser::Gatherer::endDocument() {
    content.shrink();
}

void PreferencesDocumentParser::Gatherer::docPI(const XMLCh* const target, const XMLCh* const) {
    if (!open.empty()) {
        std::uint32_t index = PreferencesDocumentContent::NONE;
        add(target, nullptr, 0, index);
    }
}

void PreferencesDocumentParser::doctypeDecl(const DTDElementDecl& element,
                                            const XMLCh* const publicId,
                                            const XMLCh* const systemId, const bool hasIntSubset,
                                            const bool hasExtSubset) {
    if (hasIntSubset) {
        throwXmlException(L"krel_std::PreferencesDocumentParser::doctypeDecl",
                          L"A document type declaration with an internal subset is not "
                          L"accepted.");
    }
    SAXParser::doctypeDecl(element, publicId, systemId, hasIntSubset, hasExtSubset);
    // The external subset is never read, so the document declares no entity at all: read as
    // one without a document type declaration, a reference to any entity but the five
    // predefined ones is the error it is there, not a reference silently left out. The parser
    // lends its scanner only for reading; the scanner itself is the parser's own and not const.
    const_cast<XMLScanner&>(getScanner()).setHasNoDTD(true);
}

void PreferencesDocumentParser::entityDecl(const DTDEntityDecl&, const bool, const bool) {
    throwXmlException(L"krel_std::PreferencesDocumentParser::entityDecl",
                      L"An entity declaration is not accepted.");
}

void PreferencesDocumentParser::Gatherer::throwIfTooDeep() {
    if (nodeDepth == maxNodeDepth) {
        throwXmlException(L"krel_std::PreferencesDocumentParser::Gatherer::startElement",
                          L"Nodes are nested deeper than the limit of " +
                              std::to_wstring(maxNodeDepth) + L" levels.");
    }
}

PreferencesDocumentParser::Gatherer::Role
PreferencesDocumentParser::Gatherer::add(const XMLCh* name, const RefVectorOf<XMLAttr>* attributes,
                                         XMLSize_t attributeCount, std::uint32_t& index) {
    if (open.empty()) {
        addDocumentElement(name);
        index = 0;
        return content.otherDocumentElement.empty() ? Role::Preferences : Role::Ignored;
    }
    const Open& parent = open.back();
    if (parent.role == Role::Preferences && isNamed(name, u"root")) {
        index = addContainer(u"type", attributes, attributeCount);
        return Role::Container;
    }
    if (parent.role == Role::Container && isNamed(name, u"node")) {
        index = addContainer(u"name", attributes, attributeCount);
        return Role::Container;
    }
    if (parent.role == Role::Container && isNamed(name, u"map")) {
        // Only a container's one map is ever read: the entries of any further map are not.
        if (content.containers[parent.index].mapCount++ == 0) {
            index = static_cast<std::uint32_t>(content.maps.size());
            content.containers[parent.index].firstMap = index;
            addMap();
            return attributes == nullptr ? Role::Ignored : Role::Map;
        }
        return Role::Ignored;
    }
    if (parent.role == Role::Map && isNamed(name, u"entry")) {
        addEntry(attributes, attributeCount);
    }
    return Role::Ignored;
}

void PreferencesDocumentParser::Gatherer::addDocumentElement(const XMLCh* name) {
    if (isNamed(name, u"preferences")) {
        content.containers.emplace_back();
        return;
    }
    // Twice the characters a message quotes, so that surrogate pairs still give enough.
    const std::size_t units = 2 * (StringUtils::QUOTED_TEXT_LIMIT + 1);
    content.otherDocumentElement.assign(name, std::min(units, XMLString::stringLen(name)));
}

std::uint32_t
PreferencesDocumentParser::Gatherer::addContainer(const XMLCh* namingAttribute,
                                                  const RefVectorOf<XMLAttr>* attributes,
                                                  XMLSize_t attributeCount) {
    const std::uint32_t index = static_cast<std::uint32_t>(content.containers.size());
    PreferencesDocumentContent::Container container;
    container.instruction = attributes == nullptr;
    container.hasAttributes = attributeCount > 0;
    if (attributes != nullptr) {
        container.name =
            content.addText(findAttribute(*attributes, attributeCount, namingAttribute));
    }
    content.containers.push_back(container);
    Open& parent = open.back();
    PreferencesDocumentContent::Container& parentContainer = content.containers[parent.index];
    ++parentContainer.childCount;
    if (parent.lastChild == PreferencesDocumentContent::NONE) {
        parentContainer.firstChild = index;
    } else {
        content.containers[parent.lastChild].nextSibling = index;
    }
    parent.lastChild = index;
    return index;
}

void PreferencesDocumentParser::Gatherer::addMap() {
    const std::uint32_t end = static_cast<std::uint32_t>(content.entries.size());
    content.maps.push_back(PreferencesDocumentContent::Map{end, end});
}

void PreferencesDocumentParser::Gatherer::addEntry(const RefVectorOf<XMLAttr>* attributes,
                                                   XMLSize_t attributeCount) {
    PreferencesDocumentContent::Entry entry{PreferencesDocumentContent::INSTRUCTION,
                                            PreferencesDocumentContent::NONE};
    if (attributes != nullptr) {
        entry.key = content.addText(findAttribute(*attributes, attributeCount, u"key"));
        entry.value = content.addText(findAttribute(*attributes, attributeCount, u"value"));
    }
    content.entries.push_back(entry);
    content.maps[open.back().index].endEntry = static_cast<std::uint32_t>(content.entries.size());
}

void PreferencesDocumentParser::Gatherer::closeElement(bool isNode) {
    open.pop_back();
    if (isNode && nodeDepth > 0) {
        --nodeDepth;
    }
}

} // namespace krel_std
