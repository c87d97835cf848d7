#include "exception/KrelException.h"

#include "base/LogFunctionCall.h"
#include "exception/FaultTranslator.h"
#include "log/ContextLogMessage.h"
#include "log/StaticLog.h"
#include "platform/WinCrt.h"
#include "thread/ReadWriteLock.h"
#include "thread/Thread.h"

namespace krel_std {

namespace {

const int MAX_KEY_VALUE_READERS = 32;

KrelException* copyOf(const KrelException* exception) {
    return exception ? exception->newInstance() : nullptr;
}

// Writes the exception's text form and stack trace at `priority`; builds no text when the
// static log's threshold holds the priority back.
void logAt(const KrelException& exception, LogEventPriority priority, const wchar_t* context,
           unsigned int line) {
    if (!StaticLog::isThresholdOn(priority)) {
        return;
    }
    ContextLogMessage::log(priority, context ? context : L"", L"KrelStd", L"",
                           Thread::getCurrentThreadId(), KREL_SOURCE_FILE, line,
                           L"%ls Stack trace <%ls>.", exception.toString().c_str(),
                           exception.getStackTraceString().c_str());
}

} // namespace

KrelException::KrelException(const std::wstring& message)
    : message(message), cause(nullptr), errNum(0), stackTrace(generateStackTraceString()),
      valuesLock(new ReadWriteLock(MAX_KEY_VALUE_READERS)) {}

KrelException::KrelException(const std::wstring& message, const KrelException& cause)
    : message(message), cause(nullptr), errNum(cause.getErrNum()),
      stackTrace(generateStackTraceString()), valuesLock(new ReadWriteLock(MAX_KEY_VALUE_READERS)) {
    this->cause = cause.newInstance();
}

KrelException::KrelException(const std::wstring& message, int errNum)
    : message(message), cause(nullptr), errNum(errNum), stackTrace(generateStackTraceString()),
      valuesLock(new ReadWriteLock(MAX_KEY_VALUE_READERS)) {}

KrelException::KrelException(const std::wstring& message, int errNum, const KrelException& cause)
    : message(message), cause(nullptr), errNum(errNum), stackTrace(generateStackTraceString()),
      valuesLock(new ReadWriteLock(MAX_KEY_VALUE_READERS)) {
    this->cause = cause.newInstance();
}

KrelException::KrelException(const KrelException& other)
    : std::exception(other), Object(other), message(other.message), cause(nullptr),
      errNum(other.errNum), stackTrace(other.stackTrace),
      valuesLock(new ReadWriteLock(MAX_KEY_VALUE_READERS)) {
    cause = copyOf(other.cause);
}

KrelException& KrelException::operator=(const KrelException& other) {
    if (this == &other) {
        return *this;
    }
    // Copy everything that may fail before anything of this object changes.
    KrelException* newCause = copyOf(other.cause);
    std::map<std::wstring, std::wstring> newValues;
    {
        ReadWriteLock::ReaderLock guard(*other.valuesLock);
        newValues = other.values;
    }
    message = other.message;
    errNum = other.errNum;
    stackTrace = other.stackTrace;
    delete cause;
    cause = newCause;
    ReadWriteLock::WriterLock guard(*valuesLock);
    values.swap(newValues);
    return *this;
}

KrelException::~KrelException() {
    delete cause;
}

KrelException* KrelException::getNestedException() const {
    return copyOf(cause);
}

std::wstring KrelException::getMessage() const {
    if (!cause) {
        return message;
    }
    if (message.empty()) {
        return cause->getMessage();
    }
    return message + L": " + cause->getMessage();
}

int KrelException::getErrNum() const {
    return errNum;
}

std::wstring KrelException::getClassName() const {
    return L"com.vandrel.exception.KrelException";
}

std::wstring KrelException::getStackTraceString() const {
    std::wstring text;
    if (cause) {
        text = cause->getStackTraceString() + L"-------- nested by: ";
    }
    return text + stackTrace;
}

std::wstring KrelException::getValue(const std::wstring& key) const {
    ReadWriteLock::ReaderLock guard(*valuesLock);
    std::map<std::wstring, std::wstring>::const_iterator found = values.find(key);
    return found == values.end() ? std::wstring() : found->second;
}

void KrelException::setValue(const std::wstring& key, const std::wstring& value) {
    ReadWriteLock::WriterLock guard(*valuesLock);
    values[key] = value;
}

KrelException* KrelException::newInstance() const {
    return new KrelException(*this);
}

void KrelException::logDebug(const wchar_t* context) {
    logAt(*this, DEBUG, context, __LINE__);
}

void KrelException::logCall(const wchar_t* context) {
    logAt(*this, CALL, context, __LINE__);
}

void KrelException::logTrace(const wchar_t* context) {
    logAt(*this, TRACE, context, __LINE__);
}

void KrelException::logDump(const wchar_t* context) {
    logAt(*this, DUMP, context, __LINE__);
}

std::wstring KrelException::toString() const {
    std::wstring text = getClassName() + L": " + getMessage();
    if (cause) {
        text += L"; --> nested " + cause->toString();
    }
    return text;
}

std::wstring KrelException::getKeyValuesString() const {
    std::wstring text = L"KeyValues{";
    ReadWriteLock::ReaderLock guard(*valuesLock);
    for (std::map<std::wstring, std::wstring>::const_iterator it = values.begin();
         it != values.end(); ++it) {
        if (it != values.begin()) {
            text += L",";
        }
        text += it->first + L"=" + it->second;
    }
    return text + L"}";
}

void KrelException::installHandler() {
    KREL_TRACE_SCOPE(L"krel_std::KrelException::installHandler");
    krel_std_internal::FaultTranslator::installForCurrentThread();
    _set_invalid_parameter_handler(&krel_std_internal::FaultTranslator::invalidParameter);
}

std::wstring KrelException::generateStackTraceString() {
    return std::wstring();
}

} // namespace krel_std
