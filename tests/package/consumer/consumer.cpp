// Uses the installed library through its installed headers: the load hook registered the
// paths provider, system properties keep what is set, the JDK's headers are on the path, and a
// document parsed through the XML headers (which use the XML parser's own types) links and runs.
#include <iostream>
#include <jni.h>

#include "base/Class.h"
#include "log/StaticLog.h"
#include "system/KrelSystem.h"
#include "system/Paths.h"
#include "xml/XmlUtils.h"

namespace {

// The root element's name of a small document, parsed by a parser the consumer makes itself.
std::wstring parsedRootName() {
    krel_std::XmlUtils::initializeXercesSystem();
    xercesc::XercesDOMParser parser;
    xercesc::DOMDocument* document = krel_std::XmlUtils::parseAndGetDocument(
        L"consumer", parser, std::string("<consumer ok=\"yes\"/>"));
    xercesc::DOMElement* root = krel_std::XmlUtils::getDocumentRoot(L"consumer", document);
    return krel_std::XmlUtils::getAttributeValue(L"consumer", root, L"ok");
}

} // namespace

int main() {
    static_assert(sizeof(jint) == 4, "the JDK's jni.h");
    krel_std::KrelSystem::getInstance().setProperty(L"consumer", L"installed");
    const bool property =
        krel_std::KrelSystem::getInstance().getProperty(L"consumer", L"") == L"installed";
    const bool paths =
        krel_std::Class::getInstance().getObject<krel_std::Paths>(L"krel_std.Paths") != nullptr;
    krel_std::StaticLog::log(krel_std::LogEventPriority::INFO, L"main", L"consumer runs",
                             L"Consumer", L"", 0, L"", 0);
    const bool xml = parsedRootName() == L"yes";
    if (!property || !paths || !xml) {
        std::cerr << "property " << property << ", paths " << paths << ", xml " << xml << std::endl;
        return 1;
    }
    std::cout << "consumer ok" << std::endl;
    return 0;
}
