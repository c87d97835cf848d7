// IArgumentParser, which reads a command line into one-letter options.
#pragma once

#include <string>

namespace krel_std {

// Reads a program's command line into one-letter option keys and their values.
class IArgumentParser {
public:
    // The option that makes an AbstractService run in the console.
    static const wchar_t ARG_FOREGROUND;
    // Reserved for programs that start or stop their service themselves; the library reads no S.
    static const wchar_t ARG_SERVICE_START_STOP;

    IArgumentParser() = default;
    IArgumentParser(const IArgumentParser&) = delete;
    IArgumentParser& operator=(const IArgumentParser&) = delete;
    // Virtual: Application owns its parser through this interface and deletes it so.
    virtual ~IArgumentParser();

    // Parses argv[1..argc-1] afresh; returns the number of distinct keys found.
    virtual unsigned int parseArguments(int argc, wchar_t** argv) = 0;
    virtual bool argumentParsed(const std::wstring& key) = 0;
    virtual std::wstring argumentValue(const std::wstring& key) = 0;
};

} // namespace krel_std
