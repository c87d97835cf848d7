#include "service/ArgumentParser.h"

#include "exception/KrelIllegalArgumentException.h"
#include "platform/UnicodeLocale.h"

namespace krel_std {

namespace {

// White space is classified by the library's own Unicode locale, never the process's locale.
std::wstring trimmed(const std::wstring& text) {
    std::wstring::size_type begin = 0;
    std::wstring::size_type end = text.size();
    while (begin < end && krel_platform::isUnicodeSpace(text[begin])) {
        ++begin;
    }
    while (end > begin && krel_platform::isUnicodeSpace(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

} // namespace

const wchar_t ArgumentParser::ARGUMENT_SWITCH = L'-';

ArgumentParser::ArgumentParser() {}

ArgumentParser::~ArgumentParser() {
    options.clear();
}

unsigned int ArgumentParser::parseArguments(int argc, wchar_t** argv) {
    options.clear();
    std::wstring currentKey;
    for (int index = 1; index < argc; ++index) {
        const std::wstring argument = argv[index] != nullptr ? argv[index] : L"";
        if (argument.size() >= 2 && argument[0] == ARGUMENT_SWITCH) {
            currentKey = argument.substr(1, 1);
            options.insert(std::make_pair(currentKey, trimmed(argument.substr(2))));
        } else if (argument.size() == 1 && argument[0] == ARGUMENT_SWITCH) {
            continue;
        } else if (!currentKey.empty()) {
            options[currentKey] += argument;
        }
    }
    return static_cast<unsigned int>(options.size());
}

bool ArgumentParser::argumentParsed(const std::wstring& key) {
    return options.find(key) != options.end();
}

std::wstring ArgumentParser::argumentValue(const std::wstring& key) {
    if (!argumentParsed(key)) {
        throw KrelIllegalArgumentException(L"The argument \"" + key + L"\" was not parsed.");
    }
    return options[key];
}

} // namespace krel_std
