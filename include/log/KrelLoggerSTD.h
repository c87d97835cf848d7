// The library's own catalogue of numbered messages.
#pragma once

#include <boost/noncopyable.hpp>
#include <cstdint>
#include <string>

#include "log/KrelLogger.h"
#include "pattern/Singleton.h"

namespace krel_std {

// Numbered operational messages of the library, reached through
// `Singleton<KrelLoggerSTD>::getInstance()`. Every method takes first the qualified name of the
// operation that logs ("krel_std::StaticLogConfig::onConfigChange") and then the message's
// arguments. Codes starting with 0 log at INFO, with 2 at ERROR and with 3 at WARN.
class KrelLoggerSTD : public Singleton<KrelLoggerSTD>,
                      private boost::noncopyable,
                      public KrelLogger {
    friend class Singleton<KrelLoggerSTD>;

public:
    ~KrelLoggerSTD() override;

    // "KrelStd".
    std::wstring getModuleName() const override;

    void STD0000(const wchar_t* context) const;
    void STD0001(const wchar_t* context) const;
    void STD0002(const wchar_t* context, const std::wstring& factoryName) const;
    void STD0003(const wchar_t* context, const std::wstring& className) const;
    void STD0004(const wchar_t* context, const std::wstring& client,
                 const std::wstring& service) const;
    void STD0005(const wchar_t* context, const std::wstring& client,
                 const std::wstring& service) const;
    void STD0006(const wchar_t* context, const std::wstring& libraryPath) const;
    void STD0007(const wchar_t* context, const std::wstring& libraryPath) const;
    void STD0008(const wchar_t* context, const std::wstring& priorityName) const;
    // Sizes and counts above 0xFFFFFFFF are written as 4294967295.
    void STD0009(const wchar_t* context, unsigned long size) const;
    void STD0010(const wchar_t* context, unsigned long count) const;

    void STD2000(const wchar_t* context, const std::wstring& client,
                 const std::wstring& service) const;
    void STD2001(const wchar_t* context, const std::wstring& client) const;
    void STD2002(const wchar_t* context, const std::wstring& reason) const;
    void STD2003(const wchar_t* context, int errorCode, const std::wstring& description) const;
    void STD2004(const wchar_t* context, int errorCode, const std::wstring& description) const;

    void STD3000(const wchar_t* context, const std::wstring& subject, const std::wstring& errorText,
                 const std::wstring& description) const;
    void STD3001(const wchar_t* context, const std::wstring& name) const;
    void STD3002(const wchar_t* context, const std::wstring& name) const;
    void STD3003(const wchar_t* context) const;
    void STD3004(const wchar_t* context, unsigned int size) const;
    void STD3005(const wchar_t* context, unsigned int size) const;
    void STD3006(const wchar_t* context, const std::wstring& reason) const;
    void STD3007(const wchar_t* context, const std::wstring& reason) const;
    void STD3008(const wchar_t* context, const std::wstring& threadId,
                 const std::wstring& threadName, const std::wstring& reason) const;
    void STD3009(const wchar_t* context, uint64_t threadId, const std::wstring& threadName,
                 const std::wstring& pool, const std::wstring& task,
                 const std::wstring& runningTask) const;
    void STD3010(const wchar_t* context, const std::wstring& factory, const std::wstring& pool,
                 const std::wstring& task) const;

private:
    KrelLoggerSTD();
    static const wchar_t* getSingletonName();
};

} // namespace krel_std
