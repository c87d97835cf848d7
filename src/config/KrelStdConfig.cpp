// The reading functions of the older configuration API, its list stream and its default path.
// Every call opens the file and reads it from the start; nothing is cached.
#include "config/KrelStdConfig.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <new>

#include "base/InternalTrace.h"
#include "base/KrelStdFields.h"
#include "base/KrelStdUtils.h"
#include "base/LogFunctionCall.h"
#include "config/ConfigDefaults.h"
#include "config/ConfigFileReader.h"
#include "platform/VaListGuard.h"

using krel_std::__internal_debug;
using krel_std::__internal_debug_on;
using krel_std_internal::ConfigDefaults;
using krel_std_internal::ConfigFileReader;

namespace KrelStd {

namespace {

// The default that GetConfigInt asks for: a value that no number reads as tells a missing
// entry from one that is present.
const wchar_t* const MISSING_INT_MARKER = L".mf/@#";

SWString resolvePath(const SWString& file) {
    ConfigDefaults::Guard guard;
    return ConfigDefaults::resolve(guard, file);
}

SWString wideOf(const char* text) {
    SWString wide;
    wide.assign(text, 0);
    return wide;
}

// Copies at most size - 1 bytes of the text's code page 0 form and terminates them; nothing
// for a null target or a size of 0 or less. Answers the number of characters copied.
int copyNarrow(char* target, int size, const SWString& text) {
    if (target == nullptr || size <= 0) {
        return 0;
    }
    const char* narrow = text.mb_str(0);
    const size_t length = std::min(std::strlen(narrow), static_cast<size_t>(size - 1));
    std::memcpy(target, narrow, length);
    target[length] = '\0';
    return static_cast<int>(length);
}

void traceArguments(const SWString& value, const SWString& file, const SWString& section,
                    const SWString& key, const SWString& defaultValue) {
    __internal_debug(L"KrelStd::GetConfigString", KREL_SOURCE_FILE, __LINE__,
                     L"( %ls %ls %ls %ls %ls)\n", value.c_str(), file.c_str(), section.c_str(),
                     key.c_str(), defaultValue.c_str());
}

// Looks for the key's first entry in the section; true with its value when there is one.
// missingSection tells which of the two was not found.
bool findEntry(ConfigFileReader& reader, const SWString& section, const SWString& key,
               SWString& value, bool& missingSection) {
    missingSection = !reader.findSection(section);
    if (missingSection) {
        return false;
    }
    SWString line;
    while (reader.next(line) && !ConfigFileReader::isHeading(line)) {
        if (ConfigFileReader::isEntryFor(line, key)) {
            value = line.substr(key.size() + 1);
            return true;
        }
    }
    return false;
}

// A number read as wcstol reads it, clamped to int: long has more bits here than int.
int clampedNumber(const SWString& text) {
    const long number = std::wcstol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::max<long>(INT_MIN, std::min<long>(INT_MAX, number)));
}

void closeList(const ConfigDefaults::Guard& guard) {
    FILE*& stream = ConfigDefaults::listStream(guard);
    if (stream != nullptr) {
        std::fclose(stream);
        stream = nullptr;
    }
}

// Counts the section's lines after its heading, blank lines included, up to the next heading.
int countSectionLines(ConfigFileReader& reader) {
    const bool tracing = __internal_debug_on();
    int count = 0;
    SWString line;
    while (reader.next(line)) {
        if (ConfigFileReader::isHeading(line)) {
            if (tracing) {
                __internal_debug(L"KrelStd::OpenConfigStringList", KREL_SOURCE_FILE, __LINE__,
                                 L"Found next section:%ls\n", line.c_str());
            }
            break;
        }
        if (tracing && line.empty()) {
            __internal_debug(L"KrelStd::OpenConfigStringList", KREL_SOURCE_FILE, __LINE__,
                             L"Found blank line\n");
        } else if (tracing) {
            __internal_debug(L"KrelStd::OpenConfigStringList", KREL_SOURCE_FILE, __LINE__,
                             L"Found a line in section:%ls\n", line.c_str());
        }
        ++count;
    }
    if (tracing) {
        __internal_debug(L"KrelStd::OpenConfigStringList", KREL_SOURCE_FILE, __LINE__,
                         L"Found %d lines in section\n", count);
    }
    return count;
}

// The section's non-blank line number index (from 0); false when the section or the file
// ends first.
bool findNumberedLine(ConfigFileReader& reader, const SWString& section, int index,
                      SWString& found) {
    if (!reader.findSection(section)) {
        return false;
    }
    int number = 0;
    while (reader.next(found)) {
        if (!found.empty() && found.front() == L'[') {
            return false;
        }
        if (!found.empty() && number++ == index) {
            return true;
        }
    }
    return false;
}

void setDefaultPath(const SWString& path) {
    ConfigDefaults::Guard guard;
    ConfigDefaults::setPath(guard, path);
}

} // namespace

int GetConfigString(SWString& value, SWString const& file, SWString const& section,
                    SWString const& key, SWString const& defaultValue, bool trace) {
    try {
        value = defaultValue;
        const SWString path = resolvePath(file);
        if (path.empty()) {
            return static_cast<int>(value.size());
        }
        const bool tracing = trace && __internal_debug_on();
        ConfigFileReader reader;
        if (!reader.open(path)) {
            const int error = errno;
            if (tracing) {
                traceArguments(value, file, section, key, defaultValue);
                __internal_debug(L"KrelStd::GetConfigString", KREL_SOURCE_FILE, __LINE__,
                                 L"_wfopen(%ls):%d\n", path.c_str(), error);
            }
            return static_cast<int>(value.size());
        }
        SWString found;
        bool missingSection = false;
        if (findEntry(reader, section, key, found, missingSection)) {
            value = found;
        } else if (tracing) {
            traceArguments(value, file, section, key, defaultValue);
            __internal_debug(L"KrelStd::GetConfigString", KREL_SOURCE_FILE, __LINE__,
                             missingSection ? L"Couldn't find Section:%ls\n"
                                            : L"Couldn't find Entry:%ls\n",
                             missingSection ? section.c_str() : key.c_str());
        }
        return static_cast<int>(value.size());
    } catch (const std::bad_alloc&) {
        return static_cast<int>(value.size());
    }
}

int GetConfigString(char* value, int size, char const* file, char const* section, char const* key,
                    char const* defaultValue, bool trace) {
    try {
        SWString wide;
        GetConfigString(wide, wideOf(file), wideOf(section), wideOf(key), wideOf(defaultValue),
                        trace);
        return copyNarrow(value, size, wide);
    } catch (const std::bad_alloc&) {
        return copyNarrow(value, size, SWString());
    }
}

int GetConfigInt(SWString const& file, SWString const& section, SWString const& key,
                 int defaultValue, bool trace) {
    SWString value;
    GetConfigString(value, file, section, key, SWString(MISSING_INT_MARKER), trace);
    if (value.compare(MISSING_INT_MARKER) == 0) {
        return defaultValue;
    }
    return clampedNumber(value);
}

int OpenConfigStringList(SWString const& file, SWString const& section) {
    try {
        ConfigDefaults::Guard guard;
        const SWString path = ConfigDefaults::resolve(guard, file);
        closeList(guard);
        ConfigFileReader reader;
        if (path.empty() || !reader.open(path) || !reader.findSection(section)) {
            return 0;
        }
        KREL_INTERNAL_DEBUG(L"KrelStd::OpenConfigStringList", L"Found section heading: %ls\n",
                            ConfigFileReader::headingOf(section).c_str());
        const long start = std::ftell(reader.get());
        const int count = countSectionLines(reader);
        if (start < 0 || count <= 0 || std::fseek(reader.get(), start, SEEK_SET) != 0) {
            return 0;
        }
        ConfigDefaults::listStream(guard) = reader.release();
        return count;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int FetchConfigStringList(SWString& line) {
    line.clear();
    ConfigDefaults::Guard guard;
    FILE*& stream = ConfigDefaults::listStream(guard);
    try {
        ConfigFileReader reader(stream);
        if (!reader.next(line)) {
            line.clear();
            stream = nullptr;
            return 0;
        }
        reader.release();
        if (ConfigFileReader::isHeading(line)) {
            line.clear();
            return 0;
        }
        return 1;
    } catch (const std::bad_alloc&) {
        // The reader closed the stream on its way out.
        stream = nullptr;
        line.clear();
        return 0;
    }
}

int FetchConfigStringList(char* line, int size) {
    SWString wide;
    const int result = FetchConfigStringList(wide);
    copyNarrow(line, size, wide);
    return result;
}

int CloseConfigStringList() {
    ConfigDefaults::Guard guard;
    closeList(guard);
    return 1;
}

int FetchConfigVals(SWString& value, SWString const& file, SWString const& section, SWString& key,
                    int index) {
    value.clear();
    key.clear();
    try {
        const SWString path = resolvePath(file);
        ConfigFileReader reader;
        SWString line;
        if (path.empty() || !reader.open(path) || !findNumberedLine(reader, section, index, line)) {
            return 0;
        }
        reader.close();
        const int keyLength = GetDelimField(key, line, 1, L'=');
        if (static_cast<size_t>(keyLength) + 1 < line.size()) {
            value = line.substr(static_cast<size_t>(keyLength) + 1);
        }
        return keyLength;
    } catch (const std::bad_alloc&) {
        value.clear();
        key.clear();
        return 0;
    }
}

int FetchConfigVals(char* value, int size, char const* file, char const* section, char* key,
                    int index) {
    SWString wideValue;
    SWString wideKey;
    int result = 0;
    try {
        result = FetchConfigVals(wideValue, wideOf(file), wideOf(section), wideKey, index);
    } catch (const std::bad_alloc&) {
        result = 0;
    }
    copyNarrow(value, size, wideValue);
    copyNarrow(key, size, wideKey);
    return result;
}

int GetConfigSectionList(std::vector<SWString>& sections, SWString const& file) {
    sections.clear();
    ConfigFileReader reader;
    if (file.empty() || !reader.open(file)) {
        return -1;
    }
    const bool tracing = __internal_debug_on();
    SWString line;
    while (reader.next(line)) {
        if (!ConfigFileReader::isHeading(line)) {
            continue;
        }
        if (tracing) {
            __internal_debug(L"KrelStd::GetConfigSectionList", KREL_SOURCE_FILE, __LINE__,
                             L"Found section heading:%ls\n", line.c_str());
        }
        sections.push_back(SWString(line, 1, static_cast<unsigned int>(line.size() - 2)));
    }
    if (tracing) {
        __internal_debug(L"KrelStd::GetConfigSectionList", KREL_SOURCE_FILE, __LINE__,
                         L"Found %d sections.\n", static_cast<int>(sections.size()));
    }
    return static_cast<int>(sections.size());
}

int GetConfigStringList(std::vector<SWString>& lines, SWString const& file,
                        SWString const& section) {
    lines.clear();
    ConfigFileReader reader;
    if (file.empty() || !reader.open(file)) {
        return -1;
    }
    const bool tracing = __internal_debug_on();
    SWString line;
    if (reader.findSection(section)) {
        while (reader.next(line)) {
            if (ConfigFileReader::isHeading(line)) {
                if (tracing) {
                    __internal_debug(L"KrelStd::GetConfigStringList", KREL_SOURCE_FILE, __LINE__,
                                     L"Found next section:%ls\n", line.c_str());
                }
                break;
            }
            if (line.empty()) {
                if (tracing) {
                    __internal_debug(L"KrelStd::GetConfigStringList", KREL_SOURCE_FILE, __LINE__,
                                     L"Found blank line\n");
                }
                continue;
            }
            if (tracing) {
                __internal_debug(L"KrelStd::GetConfigStringList", KREL_SOURCE_FILE, __LINE__,
                                 L"Found a line in section:%ls\n", line.c_str());
            }
            lines.push_back(line);
        }
    }
    if (tracing) {
        __internal_debug(L"KrelStd::GetConfigStringList", KREL_SOURCE_FILE, __LINE__,
                         L"Found %d strings.\n", static_cast<int>(lines.size()));
    }
    return static_cast<int>(lines.size());
}

void CfgSetFilePath(char const* format, ...) {
    va_list args;
    va_start(args, format);
    krel_platform::VaListGuard endArguments(args);
    setDefaultPath(sprintfStringVA(args, format));
}

void CfgSetFilePath(wchar_t const* format, ...) {
    va_list args;
    va_start(args, format);
    krel_platform::VaListGuard endArguments(args);
    setDefaultPath(sprintfStringVA(args, format));
}

void CfgSetFilePath(SFilePath path) {
    setDefaultPath(path);
}

char const* CfgGetFilePath() {
    ConfigDefaults::Guard guard;
    return ConfigDefaults::narrowPath(guard);
}

wchar_t const* WCfgGetFilePath() {
    ConfigDefaults::Guard guard;
    return ConfigDefaults::widePath(guard);
}

} // namespace KrelStd
