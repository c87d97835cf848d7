// XmlSystemUse, one use of the XML parser library, which keeps it started.
#pragma once

#include <chrono>

namespace krel_std {

class XmlUtils;

// One use of the XML parser library: while it lives the library stays started, so every parser,
// document and transcoded string made under it stays valid. Stopping the library closes it to
// new uses and waits for the uses in progress to end.
// A use begun after the library started closing is refused, even on a thread that holds one.
class XmlSystemUse {
public:
    // Throws KrelXmlException "XML system is not running." when the library was never started
    // or is stopping or stopped; the exception is traced with the context.
    explicit XmlSystemUse(const wchar_t* context);
    XmlSystemUse(const XmlSystemUse&) = delete;
    XmlSystemUse& operator=(const XmlSystemUse&) = delete;
    ~XmlSystemUse();

    // Whether a new use would be given now.
    static bool isAvailable();

private:
    friend class XmlUtils;

    // Starts the parser library and opens it to new uses. Starts are counted: the library
    // stays open while any start is not yet matched by a stop. Lets the parser's XMLException
    // pass.
    static void start();
    // Matches one start; a stop without a start left to match does nothing. The stop that
    // matches the last start closes the library to new uses and waits, at most `limit`, for
    // the uses in progress to end, then stops the parser library. Answers the number of uses still
    // in progress when the wait ran out: then the parser library is left started, as a use still
    // needs it. Lets the parser's XMLException pass.
    static unsigned int stop(std::chrono::milliseconds limit);
};

} // namespace krel_std
