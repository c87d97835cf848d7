// The streaming parser of an XML preferences document and the compact content it gathers: only
// what an import reads, in a few flat arrays, so that a parse costs little beside the stored tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/sax/DTDHandler.hpp>

namespace krel_std {

// The parts of a preferences document that an import reads: the document element's name, its
// "root" children, and below each root or node its "map" and "node" children and each map's
// "entry" children, in document order. Processing instructions whose targets carry those names
// stand where they are, as the names of such children do. Every other part of the document
// is left out.
struct PreferencesDocumentContent {
    // An index or text that is not there.
    static const std::uint32_t NONE = UINT32_MAX;
    // The key of an entry that is a processing instruction.
    static const std::uint32_t INSTRUCTION = UINT32_MAX - 1;

    // A "key" and "value" attribute's texts.
    struct Entry {
        std::uint32_t key;
        std::uint32_t value;
    };

    // A map's entries are entries[firstEntry, endEntry).
    struct Map {
        std::uint32_t firstEntry;
        std::uint32_t endEntry;
    };

    // The document element, a "root" or a "node": the text of its naming attribute ("type" of a
    // root, "name" of a node), its maps (the first, and how many), and its first root or node
    // child, whose further siblings follow by nextSibling.
    struct Container {
        std::uint32_t name = NONE;
        std::uint32_t firstMap = NONE;
        std::uint32_t mapCount = 0;
        std::uint32_t childCount = 0;
        std::uint32_t firstChild = NONE;
        std::uint32_t nextSibling = NONE;
        bool instruction = false;
        bool hasAttributes = false;
    };

    // The document element's name when it is not "preferences", cut to what a message quotes;
    // empty otherwise, and then containers[0] is the document element.
    std::u16string otherDocumentElement;
    std::vector<Container> containers;
    std::vector<Map> maps;
    std::vector<Entry> entries;
    // Each text as its length in two units, low first, followed by its units.
    std::vector<char16_t> texts;

    // The text that starts at `at`.
    std::wstring text(std::uint32_t at) const;
    // Answers where the text starts; a null text is NONE.
    std::uint32_t addText(const char16_t* text);
    // Gives back the room the arrays grew beyond their size.
    void shrink();
};

// Parses a preferences document and gathers its content, refusing what an import refuses while
// the document is read: a document type declaration with an internal subset (the only place
// entities could be declared), any entity declaration, and a "node" element nested deeper than
// `maxNodeDepth` "node" elements, each with KrelXmlException before the parser reads further.
// After a document type declaration the document is read as one without it, since its external
// subset is never read: a reference to an undeclared entity is an error then too.
class PreferencesDocumentParser : public xercesc::SAXParser {
public:
    explicit PreferencesDocumentParser(unsigned int maxNodeDepth);
    ~PreferencesDocumentParser() override;

    // The content of the last parse, which was empty before it.
    const PreferencesDocumentContent& getContent() const { return gatherer.content; }
    // Empties the content.
    void clearContent();

    void doctypeDecl(const xercesc::DTDElementDecl& element, const XMLCh* const publicId,
                     const XMLCh* const systemId, const bool hasIntSubset,
                     const bool hasExtSubset) override;
    void entityDecl(const xercesc::DTDEntityDecl& entity, const bool isPEDecl,
                    const bool isIgnored) override;

private:
    // The scanner's events of the document's content, as the parser passes them on.
    class Gatherer : public xercesc::XMLDocumentHandler {
    public:
        explicit Gatherer(unsigned int maxNodeDepth) : maxNodeDepth(maxNodeDepth) {}

        void clear();

        void startDocument() override;
        void startElement(const xercesc::XMLElementDecl& element, const unsigned int uriId,
                          const XMLCh* const prefix,
                          const xercesc::RefVectorOf<xercesc::XMLAttr>& attributes,
                          const XMLSize_t attributeCount, const bool isEmpty,
                          const bool isRoot) override;
        void endElement(const xercesc::XMLElementDecl& element, const unsigned int uriId,
                        const bool isRoot, const XMLCh* const prefix) override;
        void endDocument() override;
        void docPI(const XMLCh* const target, const XMLCh* const data) override;
        void docCharacters(const XMLCh* const, const XMLSize_t, const bool) override {}
        void docComment(const XMLCh* const) override {}
        void endEntityReference(const xercesc::XMLEntityDecl&) override {}
        void ignorableWhitespace(const XMLCh* const, const XMLSize_t, const bool) override {}
        void resetDocument() override {}
        void startEntityReference(const xercesc::XMLEntityDecl&) override {}
        void XMLDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const,
                     const XMLCh* const) override {}

        PreferencesDocumentContent content;

    private:
        // What an open element is to the import.
        enum class Role : std::uint8_t { Ignored, Preferences, Container, Map };

        struct Open {
            Role role;
            // The container or map it is.
            std::uint32_t index;
            // A container's last root or node child so far.
            std::uint32_t lastChild;
        };

        void throwIfTooDeep();
        // The role of an element or instruction of that name below the innermost open
        // element, with what it adds to the content and where (`index`); `attributes` is null
        // for an instruction, whose children are none: a map it stands for is empty.
        Role add(const XMLCh* name, const xercesc::RefVectorOf<xercesc::XMLAttr>* attributes,
                 XMLSize_t attributeCount, std::uint32_t& index);
        void addDocumentElement(const XMLCh* name);
        std::uint32_t addContainer(const XMLCh* namingAttribute,
                                   const xercesc::RefVectorOf<xercesc::XMLAttr>* attributes,
                                   XMLSize_t attributeCount);
        void addMap();
        void addEntry(const xercesc::RefVectorOf<xercesc::XMLAttr>* attributes,
                      XMLSize_t attributeCount);
        void closeElement(bool isNode);

        const unsigned int maxNodeDepth;
        std::vector<Open> open;
        // The node elements open around the parser's position.
        unsigned int nodeDepth = 0;
    };

    // The parser hands document type declarations to this parser only while it has a handler
    // for their notations and unparsed entities, which the document type declares none of.
    class DeclarationSink : public xercesc::DTDHandler {
    public:
        void notationDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const) override {}
        void unparsedEntityDecl(const XMLCh* const, const XMLCh* const, const XMLCh* const,
                                const XMLCh* const) override {}
        void resetDocType() override {}
    };

    Gatherer gatherer;
    DeclarationSink declarations;
};

} // namespace krel_std
