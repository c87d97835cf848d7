// The logging class of the older API. It owns no files or settings of its own: every message
// goes to the static log, and the static log's threshold answers its threshold questions.
#pragma once

#include <cstdarg>

#include "base/SWString.h"
#include "thread/Lock.h"

namespace KrelStd {

class SFilePath;

// The debug thresholds that IsDebugThresholdOn asks about.
enum thresholdEnumType {
    THRESHOLD_NONE = 0,
    DEBUG_THRESHOLD = 3,
    CALL_THRESHOLD = 4,
    TRACE_THRESHOLD = 5,
    DUMP_THRESHOLD = 6
};

// Severity methods come in pairs that differ in the format's width, and, with names ending in
// C, with the texts given as terminated strings. Fatal to Debug are written whatever the
// threshold (the appenders' filters still apply); Trace and the Thresh family are written only
// when the static log's threshold lets their priority through. A format that cannot be filled
// is replaced by a fixed error text; no severity method throws because of its format.
class SLog {
public:
    SLog();
    SLog(const SLog& other);
    virtual ~SLog();

    virtual bool Init(const SWString& logFile, const SWString& debugFile);
    virtual bool Init();
    virtual bool Init(const SFilePath& configFile, const SFilePath& logFile,
                      const SFilePath& debugFile, bool createLog, bool createDebug);
    // Does nothing: the log stays initialised.
    virtual void Close();
    bool IsInitialized() const;

    // The process-wide default log; an empty log of the library's own while none is set.
    static SLog* GetDefaultLog();
    // The previous default is not deleted; null brings the empty log back.
    static void SetDefaultLog(SLog* log);
    static bool IsDefaultLogEmpty();

    void Fatal(const SWString& errorId, const SWString& function, const char* format, ...);
    void Fatal(const SWString& errorId, const SWString& function, const wchar_t* format, ...);
    void Fatal(const SWString& errorId, const SWString& function, SWString format, ...);
    void FatalC(const char* errorId, const char* function, const char* format, ...);
    void FatalC(const wchar_t* errorId, const wchar_t* function, const wchar_t* format, ...);
    void Error(const SWString& errorId, const SWString& function, const char* format, ...);
    void Error(const SWString& errorId, const SWString& function, const wchar_t* format, ...);
    void ErrorC(const char* errorId, const char* function, const char* format, ...);
    void ErrorC(const wchar_t* errorId, const wchar_t* function, const wchar_t* format, ...);
    void Major(const SWString& errorId, const SWString& function, const char* format, ...);
    void Major(const SWString& errorId, const SWString& function, const wchar_t* format, ...);
    void MajorC(const char* errorId, const char* function, const char* format, ...);
    void MajorC(const wchar_t* errorId, const wchar_t* function, const wchar_t* format, ...);
    void Warn(const SWString& errorId, const SWString& function, const char* format, ...);
    void Warn(const SWString& errorId, const SWString& function, const wchar_t* format, ...);
    void WarnC(const char* errorId, const char* function, const char* format, ...);
    void WarnC(const wchar_t* errorId, const wchar_t* function, const wchar_t* format, ...);
    void Minor(const SWString& errorId, const SWString& function, const char* format, ...);
    void Minor(const SWString& errorId, const SWString& function, const wchar_t* format, ...);
    void MinorC(const char* errorId, const char* function, const char* format, ...);
    void MinorC(const wchar_t* errorId, const wchar_t* function, const wchar_t* format, ...);
    void Info(const SWString& errorId, const SWString& function, const char* format, ...);
    void Info(const SWString& errorId, const SWString& function, const wchar_t* format, ...);
    void InfoC(const char* errorId, const char* function, const char* format, ...);
    void InfoC(const wchar_t* errorId, const wchar_t* function, const wchar_t* format, ...);
    // The level is accepted and not used.
    void Debug(int level, const SWString& function, const char* format, ...);
    void Debug(int level, const SWString& function, const wchar_t* format, ...);
    void DebugC(int level, const char* function, const char* format, ...);
    void DebugC(int level, const wchar_t* function, const wchar_t* format, ...);
    void Trace(const SWString& function, const char* format, ...);
    void Trace(const SWString& function, const wchar_t* format, ...);
    void TraceC(const char* function, const char* format, ...);
    void TraceC(const char* function, const wchar_t* format, ...);
    void ThreshDebug(const wchar_t* function, const wchar_t* format, ...);
    void ThreshCall(const wchar_t* function, const wchar_t* format, ...);
    void ThreshTrace(const wchar_t* function, const wchar_t* format, ...);
    void ThreshDump(const wchar_t* function, const wchar_t* format, ...);

    bool IsDebugOn();
    // DEBUG_THRESHOLD, CALL_THRESHOLD and TRACE_THRESHOLD ask for their priority; every other
    // value asks for DUMP.
    bool IsDebugThresholdOn(thresholdEnumType threshold);
    bool IsDebugLevelOn(int level);
    SWString GetThreshold();

    // Settings of the log's former own files and outputs: accepted and ignored.
    void SetThreshold(const SWString& threshold);
    void SetDebugRange(int low, int high);
    void SetDebugLevel(int level);
    void SetCallThresholdRange(int low, int high);
    void SetTraceThresholdRange(int low, int high);
    void SetDumpThresholdRange(int low, int high);
    void SetDebugThresholdRange(int low, int high);
    void SetProgName(const SWString& name);
    void SetDbgFileSize(int size);
    void SetLogFileSize(int size);
    void SetDbgFiles(int count);
    void SetLogFiles(int count);
    void AddAppender(const SWString& name);
    void RemoveAppender(const SWString& name);
    bool EnableNTEventLogging(const SWString& source);
    void DisableNTEventLogging();
    void EnableOutputDebugAppending();
    void DisableOutputDebugAppending();
    bool StartCfgFileMonitoring();
    bool StopCfgFileMonitoring();
    bool AddVersionModule(const SWString& module);
    bool DeleteVersionModule(const SWString& module);
    int GetDbgFileSize();
    int GetLogFileSize();
    int GetDbgFiles();
    int GetLogFiles();

protected:
    // Fills output with the format and the arguments (the format's width decides the rules);
    // a format that cannot be filled gives the fixed error text.
    template <typename Text>
    static void FormatMessageW(Text& output, const Text& format, va_list arguments);

    static SLog* defaultLog;
    static SLog* emptyLog;
    // Made when the library is loaded and never destroyed.
    static krel_std::Lock& defaultLogLock();
    static krel_std::Lock& emptyLogLock();

private:
    krel_std::Lock lock;
    bool initialized;
};

} // namespace KrelStd
