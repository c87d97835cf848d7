#include "platform/CommandLine.h"

namespace krel_platform {

namespace {

bool isBlank(wchar_t character) {
    return character == L' ' || character == L'\t';
}

const wchar_t* skipBlanks(const wchar_t* position) {
    while (isBlank(*position)) {
        ++position;
    }
    return position;
}

// The program name: a quoted part runs to the next quote, anything else to the next blank.
const wchar_t* readProgramName(const wchar_t* position, std::wstring& name) {
    bool quoted = false;
    for (; *position != L'\0'; ++position) {
        if (*position == L'"') {
            quoted = !quoted;
        } else if (!quoted && isBlank(*position)) {
            break;
        } else {
            name += *position;
        }
    }
    return position;
}

const wchar_t* readArgument(const wchar_t* position, std::wstring& argument) {
    bool quoted = false;
    while (*position != L'\0' && (quoted || !isBlank(*position))) {
        size_t backslashes = 0;
        while (*position == L'\\') {
            ++backslashes;
            ++position;
        }
        if (*position != L'"') {
            argument.append(backslashes, L'\\');
            if (backslashes == 0) {
                argument += *position++;
            }
            continue;
        }
        argument.append(backslashes / 2, L'\\');
        if (backslashes % 2 == 1) {
            argument += L'"';
        } else if (quoted && position[1] == L'"') {
            argument += L'"';
            ++position;
        } else {
            quoted = !quoted;
        }
        ++position;
    }
    return position;
}

bool needsQuotes(const std::wstring& argument) {
    return argument.empty() || argument.find_first_of(L" \t\"") != std::wstring::npos;
}

void appendQuoted(const std::wstring& argument, std::wstring& line) {
    if (!needsQuotes(argument)) {
        line += argument;
        return;
    }
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t character : argument) {
        if (character == L'\\') {
            ++backslashes;
            continue;
        }
        if (character == L'"') {
            line.append(2 * backslashes + 1, L'\\');
        } else {
            line.append(backslashes, L'\\');
        }
        backslashes = 0;
        line += character;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

} // namespace

std::vector<std::wstring> splitCommandLine(const wchar_t* commandLine) {
    std::vector<std::wstring> arguments;
    std::wstring program;
    const wchar_t* position = readProgramName(commandLine, program);
    arguments.push_back(program);
    for (position = skipBlanks(position); *position != L'\0'; position = skipBlanks(position)) {
        std::wstring argument;
        position = readArgument(position, argument);
        arguments.push_back(argument);
    }
    return arguments;
}

std::wstring joinCommandLine(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    for (size_t index = 0; index < arguments.size(); ++index) {
        if (index == 0) {
            // The program name takes no escapes: it is quoted whole when it has blanks.
            const std::wstring& program = arguments[0];
            line += program.find_first_of(L" \t") == std::wstring::npos || program.empty()
                        ? program
                        : L"\"" + program + L"\"";
            continue;
        }
        line += L' ';
        appendQuoted(arguments[index], line);
    }
    return line;
}

} // namespace krel_platform
