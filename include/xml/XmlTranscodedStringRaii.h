// XmlTranscodedStringRaii, the owner of one string the XML parser's transcoder made.
#pragma once

#include <boost/noncopyable.hpp>
#include <string>
#include <xercesc/util/XercesDefs.hpp>

namespace krel_std {

// Owns one narrow string that the parser library's transcoder made from a UTF-16 string, in the
// process's local code page (UTF-8 here), and hands it back to the library when destroyed.
class XmlTranscodedStringRaii : private boost::noncopyable {
public:
    // A null text gives a null string.
    explicit XmlTranscodedStringRaii(const XMLCh* text);
    virtual ~XmlTranscodedStringRaii();

    // A copy of the string; the empty string when it is null.
    std::string getValue() const;

private:
    char* value;
};

} // namespace krel_std
