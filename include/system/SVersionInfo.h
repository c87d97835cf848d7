// The older API's reader of a module file's version resource, and keeper of a set of modules
// whose version lines it prints to a C stream. Failures are answered with booleans and fixed
// texts, never with exceptions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <set>

#include "base/SWString.h"

namespace KrelStd {

class SLog;

class SVersionInfo {
public:
    SVersionInfo();
    explicit SVersionInfo(const SWString& filename);
    // Copies take the file name and the module set and read the resource into a buffer of
    // their own.
    SVersionInfo(const SVersionInfo& other);
    SVersionInfo& operator=(const SVersionInfo& other);
    ~SVersionInfo();

    // Makes the file current and reads its version resource again.
    void SetFilename(const SWString& filename);
    SWString GetFilename() const;
    bool IsValid() const;

    // The resource's string fields in US English, Unicode. "Invalid filename" when the current
    // file has no readable resource; empty when the resource lacks the field.
    SWString GetProductName();
    SWString GetProductVersion();
    SWString GetCompanyName();
    SWString GetCopyright();
    SWString GetComments();
    SWString GetFileDescription();
    SWString GetFileVersion();
    SWString GetInternalName();
    SWString GetLegalTrademarks();
    SWString GetPrivateBuild();
    SWString GetSpecialBuild();

    // Prints the module's line to the stream (not null) when the module is new to the set,
    // making it the current file; adds it to the set in any case.
    bool AddModule(FILE* stream, const SWString& module);
    bool DeleteModule(const SWString& module);
    // Prints the platform, host, time, log settings and then each module's line in name order;
    // a null log prints nothing and answers false.
    bool WriteModuleVerInfo(FILE* stream, SLog* log);

private:
    long InitVer();
    void FreeBuffer();
    SWString QueryString(const wchar_t* key);
    void WriteModuleLine(FILE* stream, const SWString& module);

    SWString filename;
    bool valid;
    uint32_t handle;
    uint32_t size;
    void* buffer;
    void* value;
    uint32_t valueLength;
    std::set<SWString> moduleSet;
};

// The Windows version by name ("XP Service Pack 2", ...); "Failed to get correct Operating
// System." for a version the table does not know.
SWString GetOSName();
// The host name; empty when sockets cannot be started.
SWString GetHostName();
// The local time as "2009-03-07 14:05:09.042 " (with the trailing blank); empty when the local
// time cannot be determined.
SWString GetCurrentTimestamp();

} // namespace KrelStd
