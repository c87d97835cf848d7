// Base of the numbered message catalogues.
#pragma once

#include <cstdarg>
#include <string>

#include "base/SWString.h"
#include "log/LogEventPriority.h"

namespace krel_std {

// A catalogue of numbered messages. Each message method formats its fixed text and hands it to
// the static log with its code as error id, the calling operation as function and the
// catalogue's module name. No threshold is tested: the appenders' filters alone decide whether
// a numbered message is written.
class KrelLogger {
public:
    KrelLogger();
    virtual ~KrelLogger();

    // The module name passed with every message of this catalogue.
    virtual std::wstring getModuleName() const = 0;

protected:
    // Level methods: `code` is the message method's qualified name ("...::STD0009"),
    // `context` the qualified name of the operation that logs.
    void Fatal(const KrelStd::SWString& code, const KrelStd::SWString& context,
               const wchar_t* format, ...) const;
    void Error(const KrelStd::SWString& code, const KrelStd::SWString& context,
               const wchar_t* format, ...) const;
    void Warn(const KrelStd::SWString& code, const KrelStd::SWString& context,
              const wchar_t* format, ...) const;
    void Info(const KrelStd::SWString& code, const KrelStd::SWString& context,
              const wchar_t* format, ...) const;

    // Class and operation of a qualified name: the text after the second-to-last "::"; with
    // exactly one "::" the text after it; without any the whole text.
    static std::wstring getQualifiedFunctionName(const std::wstring& text);
    // The text after the last "::", or the whole text without one.
    static std::wstring getFunctionName(const std::wstring& text);

private:
    void logMessage(LogEventPriority priority, const wchar_t* levelFunction,
                    const KrelStd::SWString& code, const KrelStd::SWString& context,
                    const wchar_t* format, va_list arguments) const;
};

} // namespace krel_std
