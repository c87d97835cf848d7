#include "config/ConfigurationCodec.h"

#include <cstdint>

#include "base/ByteArray.h"
#include "base/EncodingUtils.h"
#include "base/InternalTrace.h"
#include "base/LogFunctionCall.h"
#include "exception/KrelIOException.h"
#include "platform/Utf16.h"
#include "platform/WinNls.h"

namespace krel_std_internal {

namespace {

const wchar_t BYTE_ORDER_MARK = 0xFEFF;

// Charsets whose characters are one byte (windows-1252) or whose NUL character is the single
// byte 0 (UTF-8); everything else is read as UTF-16, two bytes per unit.
bool isByteCharset(const std::wstring& charset) {
    return charset == L"windows-1252" || charset == L"UTF-8";
}

// Whether the UTF-8 bytes hold a form that the decoder reads as U+0000 besides the zero byte:
// the overlong forms C0 80 and E0 80 80. C0 and E0 only ever begin a sequence, so a match is
// always such a form (the four-byte form F0 80 80 80 is refused as invalid).
bool holdsOverlongNul(std::string_view raw) {
    return raw.find("\xC0\x80") != std::string_view::npos ||
           raw.find("\xE0\x80\x80") != std::string_view::npos;
}

} // namespace

bool ConfigurationCodec::beginsWithByteOrderMark(std::string_view bytes) {
    return bytes.substr(0, UTF8_BYTE_ORDER_MARK.size()) == UTF8_BYTE_ORDER_MARK;
}

std::wstring ConfigurationCodec::decode(const krel_std::ByteArray& bytes,
                                        const std::wstring& charset) {
    const std::string_view all(bytes.getArray().get(), static_cast<size_t>(bytes.getLength()));
    const size_t skipped = beginsWithByteOrderMark(all) ? UTF8_BYTE_ORDER_MARK.size() : 0;
    std::wstring text = decodeText(bytes, skipped, charset);
    if (text.find(L'\0') != std::wstring::npos) {
        refuse(L"Configuration text in charset " + charset + L" contains a NUL character.");
    }
    // UTF-16's own mark; the byte charsets' one was skipped above.
    if (!isByteCharset(charset) && !text.empty() && text[0] == BYTE_ORDER_MARK) {
        text.erase(0, 1);
    }
    return text;
}

std::wstring ConfigurationCodec::decodeText(const krel_std::ByteArray& bytes, size_t skipped,
                                            const std::wstring& charset) {
    std::string raw = bytes.toString();
    raw.erase(0, skipped);
    if (raw.empty()) {
        return std::wstring();
    }
    const std::wstring undecodable =
        L"Unable to decode configuration text in charset " + charset + L".";
    if (isByteCharset(charset)) {
        // The byte decoders stop at a decoded zero; a zero is refused above either way, so it is
        // refused here before it could hide the rest of the bytes.
        refuseNul(raw, charset);
    } else if (raw.size() % 2 != 0) {
        refuse(undecodable);
    }
    // UTF-8 is decoded from the copy made above, the other charsets as a byte array does.
    const std::wstring text = charset == L"UTF-8"
                                  ? krel_std::EncodingUtils::convertUtf8ToUnicode(raw)
                              : skipped == 0 ? bytes.toWString(charset)
                                             : krel_std::ByteArray(raw).toWString(charset);
    const bool complete = charset == L"windows-1252" ? text.size() == raw.size() : !text.empty();
    if (!complete) {
        refuse(undecodable);
    }
    return text;
}

void ConfigurationCodec::refuseNul(std::string_view bytes, const std::wstring& charset) {
    if (bytes.find('\0') != std::string_view::npos ||
        (charset == L"UTF-8" && holdsOverlongNul(bytes))) {
        refuse(L"Configuration text in charset " + charset + L" contains a NUL character.");
    }
}

boost::shared_ptr<krel_std::ByteArray> ConfigurationCodec::encode(const std::wstring& text,
                                                                  const std::wstring& charset) {
    return boost::shared_ptr<krel_std::ByteArray>(new krel_std::ByteArray(text, charset));
}

std::size_t ConfigurationCodec::findNonAscii(std::wstring_view text) {
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (static_cast<uint32_t>(text[index]) >= 0x80) {
            return index;
        }
    }
    return std::wstring_view::npos;
}

std::size_t ConfigurationCodec::findUnencodable(std::wstring_view text,
                                                const std::wstring& charset) {
    for (std::size_t index = findNonAscii(text); index < text.size(); ++index) {
        if (static_cast<uint32_t>(text[index]) >= 0x80 && !isEncodable(text[index], charset)) {
            return index;
        }
    }
    return std::wstring_view::npos;
}

// One character through the conversion the charset is written with: windows-1252 through code
// page 0, which tells when it put its default character in; UTF-8 through the code page that
// fails on what it would replace; anything else as the UTF-16 units of the byte array.
bool ConfigurationCodec::isEncodable(wchar_t character, const std::wstring& charset) {
    if (character >= 0xD800 && character <= 0xDFFF) {
        return false;
    }
    if (charset == L"windows-1252") {
        BOOL usedDefault = FALSE;
        return WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, &character, 1, nullptr, 0, nullptr,
                                   &usedDefault) > 0 &&
               usedDefault == FALSE;
    }
    if (charset == L"UTF-8") {
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, &character, 1, nullptr, 0,
                                   nullptr, nullptr) > 0;
    }
    return krel_platform::isFaithfulInUtf16(&character, 1);
}

void ConfigurationCodec::refuse(const std::wstring& message) {
    KREL_INTERNAL_DEBUG(L"krel_std::IniConfigurationSerializer::deserialize", L"%ls",
                        message.c_str());
    throw krel_std::KrelIOException(message);
}

} // namespace krel_std_internal
