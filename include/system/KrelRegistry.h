// KrelRegistry, one open registry key with typed reads, writes and listings.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "base/Object.h"
#include "platform/WinReg.h"
#include "thread/Lock.h"

namespace krel_std {

// One open registry key: opens or creates it under a root key, reads and writes text and
// integer values, lists subkeys and values, deletes values and key trees. Every Windows error
// code becomes a typed exception with a fixed message, after a STD3000 warning. A path, value
// name or text value holding NUL (which would end the text the system sees) or a character
// that UTF-16 cannot carry unchanged (which would alias another name) is refused with
// KrelIllegalArgumentException before the registry is called, so nothing is read or written
// under another name.
//
// The wrapper holds at most one key handle; opening or creating closes the one it held. The
// root is not kept: callers name it at each open, create and delete. Each operation takes the
// wrapper's own recursive lock, so threads may share a wrapper.
class KrelRegistry : public Object {
    // Holds the wrapper's lock from its open to its close.
    friend class AutoCloseRegistry;

public:
    KrelRegistry();
    // Copies the path only: the copy has no open key.
    KrelRegistry(const KrelRegistry& other);
    // Closes this wrapper's key and takes the other's path; assigning a wrapper to itself
    // changes nothing.
    KrelRegistry& operator=(const KrelRegistry& other);
    // Closes the key; a failure to close is swallowed.
    ~KrelRegistry() override;

    // "KrelRegistry{registryHandle=<handle as %08X>,path='<path>'}".
    std::wstring toString() const override;

    // Opens path below root; on success the wrapper holds the key and remembers the path. A
    // failure leaves the wrapper closed with its former path.
    void openKey(HKEY root, const std::wstring& path, REGSAM access);
    // Opens or creates path below root (with every missing key on its way); alreadyExists
    // tells whether the key was there before.
    void createKey(bool& alreadyExists, HKEY root, const std::wstring& path, DWORD access,
                   DWORD options);
    void closeKey();
    bool isHandleOpen() const;
    std::wstring getPath() const;

    // The text of a REG_SZ value (at most 258 UTF-16 units) or the decimal text of a REG_DWORD.
    std::wstring getStrValue(const std::wstring& name);
    // A REG_DWORD value, or the signed decimal number a REG_SZ value starts with (after white
    // space); defaultValue when that text holds no number. A missing value throws.
    int getIntValue(const std::wstring& name, int defaultValue);
    void setStrValue(const std::wstring& name, const std::wstring& value);
    void setIntValue(const std::wstring& name, int value);
    void deleteValue(const std::wstring& name);
    // Deletes path below root with everything under it; needs no open key and leaves the
    // wrapper's own key as it is.
    void deleteKey(HKEY root, const std::wstring& path);

    // The names of the open key's subkeys.
    std::vector<std::wstring> getKeys();
    // The names of the open key's values that hold something: a REG_SZ of at least one
    // character, any other type with at least one byte.
    std::vector<std::wstring> getKeysWithValue();
    // Every value of the open key with its text: a REG_SZ's text, a REG_DWORD in decimal, the
    // empty text for other types.
    std::vector<std::pair<std::wstring, std::wstring>> getKeyValues();

    // Throws the exception that the Windows error code maps to, with the message
    // "<what> <kind>: <description>.", after logging STD3000 under function; returns for 0.
    static void convertWinErrToException(const wchar_t* function, long errorCode,
                                         const std::wstring& what);

protected:
    // KrelIllegalArgumentException "Registry handle is NULL." for a null root.
    void checkHKeyArg(const wchar_t* function, HKEY root) const;
    // KrelIllegalStateException "Parent registry key is not open." without an open key.
    void assertHandleIsOpen(const wchar_t* function) const;

    HKEY registryHandle;
    std::wstring path;
    mutable Lock lock;

private:
    // The subject of a failed read, built only when a read fails.
    std::wstring readWhat(const std::wstring& name) const;
    // Reads a REG_DWORD value again into a 4-byte integer that starts from 0.
    int queryNumber(const wchar_t* function, const std::wstring& name);
    // Reads the value into the text buffer; converts an error code and answers the type.
    DWORD queryValue(const wchar_t* function, const std::wstring& name, char16_t* buffer,
                     DWORD& size);
    // Enumerates the index-th value again into a 4-byte integer that starts from 0.
    int enumerateNumber(DWORD index, const std::wstring& what);
    [[noreturn]] void throwWrongType(const wchar_t* function, const std::wstring& name) const;
    // Writes the value and traces the result; the caller converts it.
    LSTATUS setValue(const wchar_t* function, const std::wstring& name, DWORD type,
                     const void* data, DWORD size);
};

} // namespace krel_std
