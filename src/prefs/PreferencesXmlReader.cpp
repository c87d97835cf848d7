#include "prefs/PreferencesXmlReader.h"

#include <algorithm>
#include <list>
#include <map>
#include <utility>
#include <vector>

#include <xercesc/framework/XMLValidator.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>

#include "base/ByteArray.h"
#include "base/ErrorUtils.h"
#include "base/LogFunctionCall.h"
#include "base/Utf8Utils.h"
#include "exception/KrelIllegalArgumentException.h"
#include "exception/KrelIllegalStateException.h"
#include "exception/KrelInvalidPreferencesFormatException.h"
#include "exception/KrelXmlException.h"
#include "file/File.h"
#include "file/LockedFile.h"
#include "platform/Utf16.h"
#include "prefs/Preferences.h"
#include "thread/AutoLock.h"
#include "xml/XmlUtils.h"

using namespace xercesc;

namespace krel_std {

namespace {

const wchar_t* const importContext = L"krel_std::PreferencesXmlReader::importPreferences";

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

} // namespace

PreferencesXmlReader::PreferencesXmlReader(const std::wstring& inputFilename)
    : inputFilename(inputFilename),
      xmlSystem(L"krel_std::PreferencesXmlReader::PreferencesXmlReader"),
      parser(nullptr, XMLPlatformUtils::fgMemoryManager, nullptr), document(nullptr) {
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
    KREL_TRACE_SCOPE(importContext);
    AutoLock<Lock> guard(lock);
    const std::wstring text = getFileContents();
    try {
        document =
            XmlUtils::parseAndGetDocument(importContext, parser, text.substr(0, text.find(L'\0')));
        readPreferences();
    } catch (const KrelXmlException& cause) {
        throw KrelInvalidPreferencesFormatException(invalidFormat(std::wstring()), cause);
    }
}

void PreferencesXmlReader::setupParser() {
    try {
        parser.setValidationScheme(XercesDOMParser::Val_Never);
        parser.setDoNamespaces(false);
        parser.setLoadExternalDTD(false);
        parser.setDisableDefaultEntityResolution(true);
    } catch (const XMLException& cause) {
        KrelXmlException error(L"Unable to setup XercesDOMParser: " +
                               krel_platform::utf16ToWide(cause.getMessage()));
        error.logDebug(L"krel_std::PreferencesXmlReader::setupParser");
        throw error;
    }
}

std::wstring PreferencesXmlReader::getFileContents() {
    LockedFile file;
    file.open(File(inputFilename), LockedFile::Read);
    const std::string bytes = file.read()->toString();
    throwIfIsNotUtf8(bytes);
    std::wstring text = Utf8Utils::utf8ToUnicode(bytes);
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    text.erase(std::remove(text.begin(), text.end(), L'\n'), text.end());
    file.close();
    return text;
}

void PreferencesXmlReader::throwIfIsNotUtf8(const std::string& bytes) {
    if (!Utf8Utils::isUtf8String(bytes)) {
        throwInvalidFormat(L"krel_std::PreferencesXmlReader::throwIfIsNotUtf8",
                           L"Input file <" + inputFilename + L"> is not in UTF-8 format.");
    }
}

void PreferencesXmlReader::readPreferences() {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::readPreferences";
    DOMElement* preferences = XmlUtils::getDocumentRoot(context, document);
    XmlUtils::throwIfNodeNameIsNotMatchFor(context, preferences, L"preferences");
    readRoot(preferences);
}

void PreferencesXmlReader::readRoot(DOMNode* preferences) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::readRoot";
    DOMNode* root = XmlUtils::getOneChildNodeByTagName(context, preferences, L"root");
    const std::wstring type = getAttributeValue(root, L"type");
    boost::shared_ptr<Preferences> target;
    if (type == L"system") {
        target = Preferences::systemRoot();
    } else if (type == L"user") {
        target = Preferences::userRoot();
    } else {
        throwInvalidFormat(context, invalidFormat(L" Invalid root type <" + type + L">."));
    }
    readMap(root, target);
    readNodes(root, target);
}

void PreferencesXmlReader::readMap(DOMNode* element, const boost::shared_ptr<Preferences>& target) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::readMap";
    DOMNode* map = XmlUtils::getOneChildNodeByTagName(context, element, L"map");
    for (DOMNode* entry : XmlUtils::getChildNodesByTagName(context, map, L"entry")) {
        readEntry(entry, target);
    }
}

void PreferencesXmlReader::readEntry(DOMNode* entry, const boost::shared_ptr<Preferences>& target) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::readEntry";
    const std::map<std::wstring, std::wstring> attributes = XmlUtils::getAttributes(context, entry);
    const auto key = attributes.find(L"key");
    if (key == attributes.end()) {
        throwInvalidFormat(context, invalidFormat(L" Attribute <key> not found."));
    }
    const auto value = attributes.find(L"value");
    if (value == attributes.end()) {
        throwInvalidFormat(context, invalidFormat(L" Attribute <value> not found."));
    }
    addKeyValueToPreferences(target, key->second, value->second);
}

void PreferencesXmlReader::readNodes(DOMNode* element,
                                     const boost::shared_ptr<Preferences>& target) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::readNodes";
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
PreferencesXmlReader::readNode(DOMNode* element, const boost::shared_ptr<Preferences>& target) {
    const std::wstring name = getAttributeValue(element, L"name");
    throwIfNodeNameIsEmpty(name);
    const boost::shared_ptr<Preferences> child = addPreferencesNode(target, name);
    readMap(element, child);
    return child;
}

boost::shared_ptr<Preferences>
PreferencesXmlReader::addPreferencesNode(const boost::shared_ptr<Preferences>& parent,
                                         const std::wstring& name) {
    static const wchar_t* const context = L"krel_std::PreferencesXmlReader::addPreferencesNode";
    const std::wstring message = invalidFormat(L" Invalid preference node name <" + name + L">.");
    // A name is one path step: a '/' would reach other nodes, even the tree's root.
    if (name.find(Preferences::SLASH) != std::wstring::npos) {
        throwInvalidFormat(
            context, message,
            KrelIllegalArgumentException(L"Node name <" + name + L"> contains '/'."));
    }
    try {
        return parent->node(name);
    } catch (const KrelIllegalArgumentException& cause) {
        throwInvalidFormat(context, message, cause);
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
        target->flush();
    } catch (const KrelIllegalArgumentException& cause) {
        throwInvalidFormat(
            L"krel_std::PreferencesXmlReader::addKeyValueToPreferences",
            invalidFormat(L" Invalid attribute key <" + key + L"> or value <" + value + L">."),
            cause);
    } catch (const KrelIllegalStateException&) {
        // The node was removed meanwhile: this entry is skipped and the import goes on.
    }
}

std::wstring PreferencesXmlReader::getAttributeValue(DOMNode* element,
                                                     const std::wstring& attribute) {
    return XmlUtils::getAttributeValue(L"krel_std::PreferencesXmlReader::getAttributeValue",
                                       element, attribute);
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
