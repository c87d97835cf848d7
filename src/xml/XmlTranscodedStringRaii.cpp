#include "xml/XmlTranscodedStringRaii.h"

#include <xercesc/util/XMLString.hpp>

namespace krel_std {

XmlTranscodedStringRaii::XmlTranscodedStringRaii(const XMLCh* text)
    : value(text == nullptr ? nullptr : xercesc::XMLString::transcode(text)) {}

XmlTranscodedStringRaii::~XmlTranscodedStringRaii() {
    if (value != nullptr) {
        xercesc::XMLString::release(&value);
    }
}

std::string XmlTranscodedStringRaii::getValue() const {
    return value == nullptr ? std::string() : std::string(value);
}

} // namespace krel_std
