// ArgumentParser, the parser of "-<key><value>" command-line options.
#pragma once

#include <map>
#include <string>

#include "service/IArgumentParser.h"

namespace krel_std {

// Options are "-<key><value>": the key is the one character after the switch, the value the rest
// of that argument, trimmed. Plain arguments after an option are appended to its value untrimmed;
// plain arguments before the first option and a lone switch are ignored. A repeated key keeps its
// first value, but plain arguments that follow it still extend that value.
class ArgumentParser : public IArgumentParser {
public:
    static const wchar_t ARGUMENT_SWITCH;

    ArgumentParser();
    ~ArgumentParser() override;

    unsigned int parseArguments(int argc, wchar_t** argv) override;
    bool argumentParsed(const std::wstring& key) override;
    // Throws KrelIllegalArgumentException for a key that was not parsed.
    std::wstring argumentValue(const std::wstring& key) override;

private:
    std::map<std::wstring, std::wstring> options;
};

} // namespace krel_std
