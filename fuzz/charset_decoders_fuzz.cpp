// Feeds arbitrary bytes to the UTF-8 and Base64 decoders. Whatever decodes must encode and
// decode again to the same result; nothing may crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/Base64Utils.h"
#include "base/ByteArray.h"
#include "base/Utf8Utils.h"

using krel_std::Base64Utils;
using krel_std::ByteArray;
using krel_std::Utf8Utils;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void fuzzUtf8(const std::string& bytes) {
    const std::wstring text = Utf8Utils::utf8ToUnicode(bytes);
    check(Utf8Utils::isUtf8String(bytes) || text.empty());
    check(text.size() + 1 <= Utf8Utils::getUnicodeStringLength(bytes));
    const std::string encoded = Utf8Utils::unicodeToUtf8(text);
    check(encoded.size() + 1 == Utf8Utils::getUtf8StringLength(text));
    check(Utf8Utils::utf8ToUnicode(encoded) == text);
}

void fuzzBase64(const std::string& text) {
    const boost::shared_ptr<ByteArray> bytes = Base64Utils::base64ToByteArray(text);
    if (!bytes) {
        check(Base64Utils::base64ToMbcs(text).empty());
        return;
    }
    check(Base64Utils::isBase64String(text));
    const std::string encoded = Base64Utils::byteArrayToBase64(*bytes);
    const boost::shared_ptr<ByteArray> again = Base64Utils::base64ToByteArray(encoded);
    check(again && *again == *bytes);
    check(Base64Utils::mbcsToBase64(bytes->toString()) == encoded);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    fuzzUtf8(input);
    fuzzBase64(input);
    return 0;
}
