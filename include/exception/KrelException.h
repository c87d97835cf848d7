// KrelException, the base of every exception the library throws.
#pragma once

#include <boost/shared_ptr.hpp>
#include <exception>
#include <map>
#include <string>

#include "base/Object.h"

namespace krel_std {

class ReadWriteLock;

// The base of every exception the library throws. It carries a wide message, a private copy of
// the exception that caused it, an error number, a stack-trace text and a map of key/value facts
// that callers attach while the exception travels. Its class is named by a Java class name
// (getClassName), which the text form shows.
//
// The narrow what() of std::exception is left as the standard library's default text: the
// message exists only as wide text and is read with getMessage().
//
// A throw site builds the exception, calls logDebug with its own qualified name and throws it.
class KrelException : public std::exception, public Object {
public:
    KrelException(const std::wstring& message = std::wstring());
    // Stores a copy of the cause (its newInstance) and takes the cause's error number.
    KrelException(const std::wstring& message, const KrelException& cause);
    KrelException(const std::wstring& message, int errNum);
    KrelException(const std::wstring& message, int errNum, const KrelException& cause);
    // Copies message, error number, stack-trace text and cause; the copy gets its own lock and
    // starts with no key/value pairs.
    KrelException(const KrelException& other);
    // Copies message, error number, stack-trace text, cause and the key/value pairs.
    KrelException& operator=(const KrelException& other);
    virtual ~KrelException();

    // A new copy of the cause, owned by the caller; null without a cause.
    virtual KrelException* getNestedException() const;
    // The message, followed by ": " and the cause's message when there is a cause; only the
    // cause's message when this one is empty.
    virtual std::wstring getMessage() const;
    virtual int getErrNum() const;
    virtual std::wstring getClassName() const;
    // The causes' stack-trace texts, innermost first, each followed by "-------- nested by: ",
    // then this exception's own.
    virtual std::wstring getStackTraceString() const;
    // The value stored for the key, or the empty text.
    virtual std::wstring getValue(const std::wstring& key) const;
    // Stores the value for the key, replacing an earlier one.
    virtual void setValue(const std::wstring& key, const std::wstring& value);
    // A new heap copy made by the copy constructor of the dynamic class; the caller owns it.
    virtual KrelException* newInstance() const;

    // Log toString() and the stack-trace text with `context` as the function name, at DEBUG,
    // CALL, TRACE and DUMP respectively, when the static log's threshold lets it through.
    virtual void logDebug(const wchar_t* context);
    virtual void logCall(const wchar_t* context);
    virtual void logTrace(const wchar_t* context);
    virtual void logDump(const wchar_t* context);

    // "<class name>: <message>", then "; --> nested " and the cause's text form.
    std::wstring toString() const override;

    // "KeyValues{k1=v1,k2=v2}" in key order.
    std::wstring getKeyValuesString() const;

    // Turns machine faults on the calling thread into KrelAccessException (access violations)
    // and KrelRuntimeException (everything else) while the thread runs library work. Installs
    // the process-wide fault handler on first use and gives the calling thread what it needs
    // to run it (an alternate signal stack). Also sets the process's invalid-parameter handler,
    // which throws KrelIllegalArgumentException.
    static void installHandler();

private:
    static std::wstring generateStackTraceString();

    std::wstring message;
    KrelException* cause;
    int errNum;

protected:
    // Empty for the library's own exceptions; the Java bridge fills it with a Java stack trace.
    std::wstring stackTrace;

private:
    boost::shared_ptr<ReadWriteLock> valuesLock;
    std::map<std::wstring, std::wstring> values;
};

} // namespace krel_std
