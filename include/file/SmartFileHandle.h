// SmartFileHandle, the scope holder of a C runtime descriptor or stream.
#pragma once

#include <cstdio>
#include <string>

namespace krel_std {

// Scope holder of one file handle of the C runtime; closes it when destroyed.
template <typename T> class SmartFileHandle;

// Holds a C runtime descriptor (-1 for none); closes a held descriptor with _close when
// destroyed or given another one.
template <> class SmartFileHandle<int> {
public:
    explicit SmartFileHandle(int descriptor = -1);
    SmartFileHandle(const SmartFileHandle&) = delete;
    SmartFileHandle& operator=(const SmartFileHandle&) = delete;
    virtual ~SmartFileHandle();

    // Closes a held descriptor and keeps the new one.
    SmartFileHandle& operator=(int descriptor);
    // Closes a held descriptor now; answers the result of _close (0 when none was held).
    int close();

    int get() const { return descriptor; }
    bool isValid() const { return descriptor >= 0; }

private:
    int descriptor;
};

// Holds a C runtime stream opened with _wfopen; closes it with fclose when destroyed.
template <> class SmartFileHandle<FILE*> {
public:
    // Opens path with mode unless one of them is empty (then no stream is held).
    SmartFileHandle(const std::wstring& path, const std::wstring& mode);
    SmartFileHandle(const SmartFileHandle&) = delete;
    SmartFileHandle& operator=(const SmartFileHandle&) = delete;
    virtual ~SmartFileHandle();

    FILE* get() const { return stream; }

private:
    FILE* stream;
};

} // namespace krel_std
