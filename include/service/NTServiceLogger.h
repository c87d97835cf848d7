// The numbered messages of the service code.
#pragma once

#include <string>

#include "log/KrelLogger.h"

namespace krel_std {

// The service code's catalogue of numbered messages, one method per code. Every method takes
// first the qualified name of the operation that logs, then the values of its format. Codes
// starting with 1 or 2 log at ERROR, with 4 at INFO; the line feed that ends some formats is
// part of the message.
class NTServiceLogger : public KrelLogger {
public:
    // The process's instance, made on first use and never deleted.
    static NTServiceLogger& getInstance();

    NTServiceLogger(const NTServiceLogger&) = delete;
    NTServiceLogger& operator=(const NTServiceLogger&) = delete;
    ~NTServiceLogger() override;

    // "KrelStd".
    std::wstring getModuleName() const override;
    void SL1005(const wchar_t* context) const;
    void SL1006(const wchar_t* context, const wchar_t* serviceName, int error) const;
    void SL1007(const wchar_t* context, const wchar_t* serviceName, int error) const;
    void SL1008(const wchar_t* context) const;
    void SL1009(const wchar_t* context) const;
    void SL1010(const wchar_t* context) const;
    void SL2000(const wchar_t* context) const;
    void SL2001(const wchar_t* context) const;
    void SL4007(const wchar_t* context) const;
    void SL4008(const wchar_t* context) const;
    void SL4009(const wchar_t* context) const;
    void SL4010(const wchar_t* context) const;
    void SL4011(const wchar_t* context) const;
    void SL4012(const wchar_t* context) const;
    void SL4013(const wchar_t* context) const;
    void SL4014(const wchar_t* context) const;
    void SL4015(const wchar_t* context) const;
    void SL4016(const wchar_t* context, const wchar_t* serviceName, int majorVersion,
                int minorVersion) const;
    void SL4017(const wchar_t* context, const wchar_t* state) const;
    void SL4018(const wchar_t* context, const wchar_t* serviceName) const;
    void SL4019(const wchar_t* context, const wchar_t* serviceName) const;
    void SL4020(const wchar_t* context, const wchar_t* serviceName) const;
    void SL4021(const wchar_t* context, const wchar_t* serviceName) const;
    void SL4022(const wchar_t* context) const;
    void SL4023(const wchar_t* context) const;
    void SL4024(const wchar_t* context) const;
    void SL4025(const wchar_t* context) const;
    void SL4026(const wchar_t* context) const;
    void SL4027(const wchar_t* context) const;
    void SL4028(const wchar_t* context) const;
    void SL4029(const wchar_t* context) const;
    void SL4031(const wchar_t* context) const;
    void SL4032(const wchar_t* context) const;
    void SL4033(const wchar_t* context) const;
    void SL4034(const wchar_t* context, const wchar_t* moduleFile, const wchar_t* productName,
                const wchar_t* productVersion, const wchar_t* privateBuild,
                const wchar_t* specialBuild, const wchar_t* platform,
                const wchar_t* debugThreshold) const;
    void SL4035(const wchar_t* context) const;
    void SL4036(const wchar_t* context, const wchar_t* moduleFile, const wchar_t* productName,
                const wchar_t* productVersion, const wchar_t* privateBuild,
                const wchar_t* specialBuild) const;
    void SL4037(const wchar_t* context, const wchar_t* platform) const;
    void SL4038(const wchar_t* context, const wchar_t* debugThreshold) const;

private:
    NTServiceLogger();
};

} // namespace krel_std
