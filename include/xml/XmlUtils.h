// XmlUtils, the library's checked layer over the XML DOM parser.
#pragma once

#include <list>
#include <map>
#include <string>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMLSParser.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>

namespace krel_std {

// The library's thin layer over the XML parser: starts and stops the parser library with the
// library itself, parses documents held in memory, into a DOM or through a streaming parser's
// handlers, and walks the DOM with checks that turn every unexpected shape into a
// KrelXmlException with a fixed message.
//
// Every operation that takes a context (the qualified name of the caller) traces each exception
// it builds with that context before throwing it. Node names are compared exactly with the DOM
// node name, so text and comment nodes ("#text", "#comment") never match a tag name.
//
// Parsing never reads anything outside the text: external entities and DTDs are not resolved,
// entity expansion is bounded, and every parser error ends the parse with an exception.
class XmlUtils {
public:
    XmlUtils(const XmlUtils& other);
    XmlUtils& operator=(const XmlUtils& other);
    virtual ~XmlUtils();

    // Starts the parser library; its failure is logged (STD3006), never thrown. Starts and
    // stops are counted (the library's load hook makes one start): parsing stays available
    // while any start is not yet matched by a stop.
    static void initializeXercesSystem();
    // Matches one start; its failure is logged (STD3007), never thrown. The stop of the last
    // start refuses new parses from the start; the library stops once the parses in progress
    // have ended (each holds an XmlSystemUse). Parses still running after 5 seconds keep it
    // started (STD3007).
    static void terminateXercesSystem();

    // Every parse and transcoding below holds an XmlSystemUse, so each throws KrelXmlException
    // "XML system is not running." when the parser library is not started or is stopping.

    // Parses the text up to its first NUL byte. The document stays owned by the parser.
    // Throws KrelXmlException "Unable to parse input: " + the parser's message, or
    // "Unable to get XML document from input string." when the parser gives none.
    static xercesc::DOMDocument* parseAndGetDocument(const wchar_t* context,
                                                     xercesc::XercesDOMParser& parser,
                                                     const std::string& text);
    // Parses the text up to its first NUL byte with a streaming parser, whose handlers take
    // what they need as the parse goes. Throws KrelXmlException "Unable to parse input: " + the
    // parser's message; an exception a handler throws passes unchanged.
    static void parse(const wchar_t* context, xercesc::SAXParser& parser, const std::string& text);
    // The text in the local code page, then as the narrow form.
    static xercesc::DOMDocument* parseAndGetDocument(const wchar_t* context,
                                                     xercesc::XercesDOMParser& parser,
                                                     const std::wstring& text);
    // As the narrow form, through a DOM load-and-save parser. The document stays owned by it.
    static xercesc::DOMDocument* parseAndGetDocument(const wchar_t* context,
                                                     xercesc::DOMLSParser& parser,
                                                     const std::wstring& text);

    static xercesc::DOMElement* getDocumentRoot(const wchar_t* context,
                                                xercesc::DOMDocument* document);
    static void throwIfNodeNameIsNotMatchFor(const wchar_t* context, xercesc::DOMNode* node,
                                             const std::wstring& name);
    // The one attribute of that name of an element that has attributes.
    static std::wstring getAttributeValue(const wchar_t* context, xercesc::DOMNode* node,
                                          const std::wstring& attribute);
    // The value of the one attribute of that name of an element, or null when it has none. The
    // value stays owned by the document.
    static const XMLCh* findAttributeValue(const wchar_t* context, xercesc::DOMNode* node,
                                           const std::wstring& attribute);
    // Every attribute of an element by name; empty when it has none.
    static std::map<std::wstring, std::wstring> getAttributes(const wchar_t* context,
                                                              xercesc::DOMNode* node);
    // The direct children of that name, in document order.
    static std::list<xercesc::DOMNode*> getChildNodesByTagName(const wchar_t* context,
                                                               xercesc::DOMNode* node,
                                                               const std::wstring& name);
    // The one direct child of that name.
    static xercesc::DOMNode* getOneChildNodeByTagName(const wchar_t* context,
                                                      xercesc::DOMNode* node,
                                                      const std::wstring& name);
    // The descendants of that name in depth-first pre-order, the node itself left out.
    static std::list<xercesc::DOMNode*> getDescendantNodesByTagName(const wchar_t* context,
                                                                    xercesc::DOMNode* node,
                                                                    const std::wstring& name);
    // The same list as getDescendantNodesByTagName.
    static std::list<xercesc::DOMNode*> getAncestorNodesByTagName(const wchar_t* context,
                                                                  xercesc::DOMNode* node,
                                                                  const std::wstring& name);

    static std::string transcodeString(const std::wstring& text);
    static std::string transcodeString(const XMLCh* text);

private:
    XmlUtils();

    static void throwIfTagIsNull(const wchar_t* context, xercesc::DOMElement* element);
    static void throwIfIsInvalidNodeType(const wchar_t* context, xercesc::DOMNode* node);
    static void throwIfNodeHasNoAttributes(const wchar_t* context, xercesc::DOMNode* node);
    static void appendDescendants(xercesc::DOMNode* node, const std::u16string& name,
                                  std::list<xercesc::DOMNode*>& found);
};

} // namespace krel_std
