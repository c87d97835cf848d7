#include "xml/XmlUtils.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMConfiguration.hpp>
#include <xercesc/dom/DOMError.hpp>
#include <xercesc/dom/DOMErrorHandler.hpp>
#include <xercesc/dom/DOMException.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMNodeList.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/Wrapper4InputSource.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXException.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLString.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "base/ErrorUtils.h"
#include "base/StringUtils.h"
#include "exception/KrelXmlException.h"
#include "log/KrelLoggerSTD.h"
#include "pattern/Singleton.h"
#include "platform/Utf16.h"
#include "xml/XmlSystemUse.h"
#include "xml/XmlTranscodedStringRaii.h"

using namespace xercesc;

namespace krel_std {

namespace {

std::wstring toWide(const XMLCh* text) {
    return text == nullptr ? std::wstring() : krel_platform::utf16ToWide(std::u16string(text));
}

// A text of the document as a message quotes it: only its first characters are converted.
std::wstring quoted(const XMLCh* text) {
    if (text == nullptr) {
        return std::wstring();
    }
    // Twice the characters quoted, so that surrogate pairs still give enough characters.
    const std::size_t units = 2 * (StringUtils::QUOTED_TEXT_LIMIT + 1);
    const std::size_t length = XMLString::stringLen(text);
    return StringUtils::quotedPrefix(
        krel_platform::utf16ToWide(std::u16string(text, std::min(length, units))));
}

[[noreturn]] void throwXmlException(const wchar_t* context, const std::wstring& message) {
    KrelXmlException error(message);
    error.logDebug(context);
    throw error;
}

// Ends a parse at its first error or fatal error; without it the parser answers a partial
// document for malformed text.
class ThrowingErrorHandler : public ErrorHandler {
public:
    void warning(const SAXParseException&) override {}
    void error(const SAXParseException& failure) override { throw failure; }
    void fatalError(const SAXParseException& failure) override { throw failure; }
    void resetErrors() override {}
};

// Keeps the first error a load-and-save parser reports and stops the parse there.
class RecordingDomErrorHandler : public DOMErrorHandler {
public:
    bool handleError(const DOMError& failure) override {
        if (failure.getSeverity() == DOMError::DOM_SEVERITY_WARNING) {
            return true;
        }
        if (!failed) {
            failed = true;
            message = toWide(failure.getMessage());
        }
        return false;
    }

    bool failed = false;
    std::wstring message;
};

// For the length of one parse by a DOM or streaming parser: the throwing error handler unless
// the caller set one, entity expansion bounded unless the caller set its own bound, and no
// default entity resolution, so no external entity or DTD is read.
//
// A parse that ran out of memory leaves the parser marked as parsing, and the parser then
// refuses to change its settings: the handler and the bound stay set, so both are shared and
// never destroyed, and the guard's end never throws.
template <typename Parser> class ParserGuard {
public:
    explicit ParserGuard(Parser& parser)
        : parser(parser), ownHandler(parser.getErrorHandler() == nullptr),
          ownSecurity(parser.getSecurityManager() == nullptr) {
        // Never destroyed: parses on other threads may still run while the process exits.
        static ThrowingErrorHandler& handler = *new ThrowingErrorHandler;
        static SecurityManager& security = *new SecurityManager;
        if (ownHandler) {
            parser.setErrorHandler(&handler);
        }
        if (ownSecurity) {
            parser.setSecurityManager(&security);
        }
        parser.setDisableDefaultEntityResolution(true);
        parser.setLoadExternalDTD(false);
    }
    ParserGuard(const ParserGuard&) = delete;
    ParserGuard& operator=(const ParserGuard&) = delete;
    ~ParserGuard() {
        try {
            if (ownHandler) {
                parser.setErrorHandler(nullptr);
            }
            if (ownSecurity) {
                parser.setSecurityManager(nullptr);
            }
        } catch (const XMLException&) {
            // Still marked as parsing after running out of memory: the shared settings stay.
        }
    }

private:
    Parser& parser;
    const bool ownHandler;
    const bool ownSecurity;
};

// The load-and-save parser's counterpart of ParserGuard.
class LsParserGuard {
public:
    explicit LsParserGuard(DOMLSParser& parser) : config(*parser.getDomConfig()) {
        config.setParameter(XMLUni::fgDOMErrorHandler,
                            static_cast<const void*>(static_cast<DOMErrorHandler*>(&handler)));
        config.setParameter(XMLUni::fgXercesSecurityManager, &security);
        config.setParameter(XMLUni::fgXercesDisableDefaultEntityResolution, true);
        config.setParameter(XMLUni::fgXercesLoadExternalDTD, false);
    }
    LsParserGuard(const LsParserGuard&) = delete;
    LsParserGuard& operator=(const LsParserGuard&) = delete;
    ~LsParserGuard() {
        config.setParameter(XMLUni::fgDOMErrorHandler, static_cast<const void*>(nullptr));
        config.setParameter(XMLUni::fgXercesSecurityManager, static_cast<const void*>(nullptr));
    }

    RecordingDomErrorHandler handler;

private:
    DOMConfiguration& config;
    SecurityManager security;
};

// How long stopping the parser library waits for the parses in progress on other threads.
constexpr std::chrono::milliseconds PARSES_END_LIMIT{5000};

std::unique_ptr<MemBufInputSource> memorySource(const std::string& text) {
    const char* bytes = text.c_str();
    return std::unique_ptr<MemBufInputSource>(
        new MemBufInputSource(reinterpret_cast<const XMLByte*>(bytes), XMLString::stringLen(bytes),
                              "test", false, XMLPlatformUtils::fgMemoryManager));
}

std::wstring parseFailure(const XMLCh* message) {
    return L"Unable to parse input: " + quoted(message);
}

// Runs one parse, which may set the failure text itself; a Xerces exception becomes the failure
// text too, and a failure the library's XML exception.
template <typename Parse> void parseOrThrowFailure(const wchar_t* context, Parse parse) {
    std::wstring failure;
    try {
        parse(failure);
    } catch (const XMLException& error) {
        failure = parseFailure(error.getMessage());
    } catch (const DOMException& error) {
        failure = parseFailure(error.getMessage());
    } catch (const SAXException& error) {
        failure = parseFailure(error.getMessage());
    }
    if (!failure.empty()) {
        throwXmlException(context, failure);
    }
}

// As parseOrThrowFailure for a parse that answers the document, which must be there.
template <typename Parse> DOMDocument* parseOrThrow(const wchar_t* context, Parse parse) {
    DOMDocument* document = nullptr;
    parseOrThrowFailure(context, [&](std::wstring& failure) { document = parse(failure); });
    if (document == nullptr) {
        throwXmlException(context, L"Unable to get XML document from input string.");
    }
    return document;
}

// The parses and the transcoding below run under the caller's XmlSystemUse.
std::string transcode(const XMLCh* text) {
    return XmlTranscodedStringRaii(text).getValue();
}

DOMDocument* parseNarrow(const wchar_t* context, XercesDOMParser& parser, const std::string& text) {
    return parseOrThrow(context, [&](std::wstring&) {
        ParserGuard<XercesDOMParser> guard(parser);
        const std::unique_ptr<MemBufInputSource> source = memorySource(text);
        parser.parse(*source);
        return parser.getDocument();
    });
}

} // namespace

XmlUtils::XmlUtils() = default;

XmlUtils::XmlUtils(const XmlUtils&) = default;

XmlUtils& XmlUtils::operator=(const XmlUtils&) = default;

XmlUtils::~XmlUtils() = default;

void XmlUtils::initializeXercesSystem() {
    try {
        XmlSystemUse::start();
    } catch (const XMLException& failure) {
        Singleton<KrelLoggerSTD>::getInstance().STD3006(
            L"krel_std::XmlUtils::initializeXercesSystem", toWide(failure.getMessage()));
    }
}

// Parses on other threads may still run, as at process exit: new parses are refused at once,
// and the parser library stops once the parses in progress have ended. Parses that outlast the
// wait keep it started.
void XmlUtils::terminateXercesSystem() {
    static const wchar_t* const context = L"krel_std::XmlUtils::terminateXercesSystem";
    try {
        const unsigned int running = XmlSystemUse::stop(PARSES_END_LIMIT);
        if (running > 0) {
            Singleton<KrelLoggerSTD>::getInstance().STD3007(
                context, std::to_wstring(running) + L" parses still in progress.");
        }
    } catch (const XMLException& failure) {
        Singleton<KrelLoggerSTD>::getInstance().STD3007(context, toWide(failure.getMessage()));
    }
}

DOMDocument* XmlUtils::parseAndGetDocument(const wchar_t* context, XercesDOMParser& parser,
                                           const std::string& text) {
    const XmlSystemUse use(context);
    return parseNarrow(context, parser, text);
}

void XmlUtils::parse(const wchar_t* context, SAXParser& parser, const std::string& text) {
    const XmlSystemUse use(context);
    parseOrThrowFailure(context, [&](std::wstring&) {
        ParserGuard<SAXParser> guard(parser);
        const std::unique_ptr<MemBufInputSource> source = memorySource(text);
        parser.parse(*source);
    });
}

DOMDocument* XmlUtils::parseAndGetDocument(const wchar_t* context, XercesDOMParser& parser,
                                           const std::wstring& text) {
    const XmlSystemUse use(context);
    return parseNarrow(context, parser, transcode(krel_platform::wideToUtf16(text).c_str()));
}

DOMDocument* XmlUtils::parseAndGetDocument(const wchar_t* context, DOMLSParser& parser,
                                           const std::wstring& text) {
    const XmlSystemUse use(context);
    return parseOrThrow(context, [&](std::wstring& failure) {
        LsParserGuard guard(parser);
        const std::string bytes = transcode(krel_platform::wideToUtf16(text).c_str());
        const std::unique_ptr<MemBufInputSource> source = memorySource(bytes);
        Wrapper4InputSource input(source.get(), false, XMLPlatformUtils::fgMemoryManager);
        DOMDocument* document = parser.parse(&input);
        if (guard.handler.failed) {
            failure = L"Unable to parse input: " + StringUtils::quotedPrefix(guard.handler.message);
        }
        return document;
    });
}

DOMElement* XmlUtils::getDocumentRoot(const wchar_t* context, DOMDocument* document) {
    ErrorUtils::isNullEx(document, context, L"XML document");
    DOMElement* element = document->getDocumentElement();
    throwIfTagIsNull(context, element);
    return element;
}

void XmlUtils::throwIfNodeNameIsNotMatchFor(const wchar_t* context, DOMNode* node,
                                            const std::wstring& name) {
    ErrorUtils::isNullEx(node, context, L"XML node");
    if (krel_platform::wideToUtf16(name) != node->getNodeName()) {
        throwXmlException(context, L"<" + quoted(node->getNodeName()) +
                                       L"> node does not match expected node <" + name + L">.");
    }
}

std::wstring XmlUtils::getAttributeValue(const wchar_t* context, DOMNode* node,
                                         const std::wstring& attribute) {
    ErrorUtils::isNullEx(node, context, L"XML node");
    throwIfIsInvalidNodeType(context, node);
    throwIfNodeHasNoAttributes(context, node);
    const XMLCh* value = findAttributeValue(context, node, attribute);
    if (value == nullptr) {
        throwXmlException(context, L"Attribute <" + attribute + L"> not found for node <" +
                                       quoted(node->getNodeName()) + L">.");
    }
    return toWide(value);
}

const XMLCh* XmlUtils::findAttributeValue(const wchar_t* context, DOMNode* node,
                                          const std::wstring& attribute) {
    ErrorUtils::isNullEx(node, context, L"XML node");
    throwIfIsInvalidNodeType(context, node);
    const DOMNamedNodeMap* attributes = node->getAttributes();
    if (attributes == nullptr) {
        return nullptr;
    }
    const std::u16string wanted = krel_platform::wideToUtf16(attribute);
    const XMLCh* value = nullptr;
    for (XMLSize_t index = 0; index < attributes->getLength(); ++index) {
        const DOMAttr* item = static_cast<const DOMAttr*>(attributes->item(index));
        if (wanted != item->getName()) {
            continue;
        }
        if (value != nullptr) {
            throwXmlException(context, L"Attribute <" + attribute +
                                           L"> found more than once for node <" +
                                           quoted(node->getNodeName()) + L">.");
        }
        value = item->getValue();
    }
    return value;
}

std::map<std::wstring, std::wstring> XmlUtils::getAttributes(const wchar_t* context,
                                                             DOMNode* node) {
    ErrorUtils::isNullEx(node, context, L"XML node");
    throwIfIsInvalidNodeType(context, node);
    std::map<std::wstring, std::wstring> values;
    if (!node->hasAttributes()) {
        return values;
    }
    const DOMNamedNodeMap* attributes = node->getAttributes();
    for (XMLSize_t index = 0; index < attributes->getLength(); ++index) {
        const DOMAttr* item = static_cast<const DOMAttr*>(attributes->item(index));
        if (!values.emplace(toWide(item->getName()), toWide(item->getValue())).second) {
            throwXmlException(context, L"Attribute <" + quoted(item->getName()) +
                                           L"> found more than once for node <" +
                                           quoted(node->getNodeName()) + L">.");
        }
    }
    return values;
}

std::list<DOMNode*> XmlUtils::getChildNodesByTagName(const wchar_t* context, DOMNode* node,
                                                     const std::wstring& name) {
    ErrorUtils::isNullEx(node, context, L"XML node");
    const std::u16string wanted = krel_platform::wideToUtf16(name);
    std::list<DOMNode*> found;
    for (DOMNode* child = node->getFirstChild(); child != nullptr;
         child = child->getNextSibling()) {
        if (wanted == child->getNodeName()) {
            found.push_back(child);
        }
    }
    return found;
}

DOMNode* XmlUtils::getOneChildNodeByTagName(const wchar_t* context, DOMNode* node,
                                            const std::wstring& name) {
    ErrorUtils::isNullEx(node, context, L"XML node");
    const std::list<DOMNode*> found = getChildNodesByTagName(context, node, name);
    if (found.size() != 1) {
        throwXmlException(context, std::to_wstring(found.size()) + L" child nodes with <" + name +
                                       L"> tag found when expecting one under <" +
                                       quoted(node->getNodeName()) + L"> tag.");
    }
    return found.front();
}

std::list<DOMNode*> XmlUtils::getDescendantNodesByTagName(const wchar_t* context, DOMNode* node,
                                                          const std::wstring& name) {
    ErrorUtils::isNullEx(node, context, L"XML node");
    std::list<DOMNode*> found;
    appendDescendants(node, krel_platform::wideToUtf16(name), found);
    return found;
}

std::list<DOMNode*> XmlUtils::getAncestorNodesByTagName(const wchar_t* context, DOMNode* node,
                                                        const std::wstring& name) {
    return getDescendantNodesByTagName(context, node, name);
}

std::string XmlUtils::transcodeString(const std::wstring& text) {
    const std::u16string wide = krel_platform::wideToUtf16(text);
    return transcodeString(wide.c_str());
}

std::string XmlUtils::transcodeString(const XMLCh* text) {
    const XmlSystemUse use(L"krel_std::XmlUtils::transcodeString");
    return transcode(text);
}

void XmlUtils::throwIfTagIsNull(const wchar_t* context, DOMElement* element) {
    if (element == nullptr) {
        throwXmlException(context, L"Document root element is NULL.");
    }
}

void XmlUtils::throwIfIsInvalidNodeType(const wchar_t* context, DOMNode* node) {
    if (node->getNodeType() != DOMNode::ELEMENT_NODE) {
        throwXmlException(context, L"<" + quoted(node->getNodeName()) + L"> node is invalid.");
    }
}

void XmlUtils::throwIfNodeHasNoAttributes(const wchar_t* context, DOMNode* node) {
    if (!node->hasAttributes()) {
        throwXmlException(context,
                          L"<" + quoted(node->getNodeName()) + L"> node has no attributes.");
    }
}

void XmlUtils::appendDescendants(DOMNode* node, const std::u16string& name,
                                 std::list<DOMNode*>& found) {
    // Pre-order without recursion, so deeply nested documents cannot exhaust the stack.
    DOMNode* current = node->getFirstChild();
    while (current != nullptr) {
        if (name == current->getNodeName()) {
            found.push_back(current);
        }
        if (current->getFirstChild() != nullptr) {
            current = current->getFirstChild();
            continue;
        }
        while (current != node && current->getNextSibling() == nullptr) {
            current = current->getParentNode();
        }
        current = current == node ? nullptr : current->getNextSibling();
    }
}

} // namespace krel_std
