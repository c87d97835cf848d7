#include "file/WildcardFileFilter.h"

#include "base/ErrorUtils.h"
#include "file/File.h"

namespace krel_std {

namespace {

std::wstring toLowerAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

bool isWildcard(wchar_t c) {
    return c == L'*' || c == L'?';
}

} // namespace

WildcardFileFilter::WildcardFileFilter(const std::wstring& matchString) {
    ErrorUtils::isEmptyEx(matchString, L"krel_std::WildcardFileFilter::WildcardFileFilter",
                          L"matchString");
    tokens = tokenize(toLowerAscii(matchString));
}

WildcardFileFilter::~WildcardFileFilter() {}

bool WildcardFileFilter::accept(const File& file) const {
    return matches(toLowerAscii(file.getName()));
}

std::vector<std::wstring> WildcardFileFilter::tokenize(const std::wstring& pattern) {
    std::vector<std::wstring> result;
    std::wstring literal;
    for (wchar_t c : pattern) {
        if (!isWildcard(c)) {
            literal += c;
            continue;
        }
        if (!literal.empty()) {
            result.push_back(literal);
            literal.clear();
        }
        result.push_back(std::wstring(1, c));
    }
    if (!literal.empty()) {
        result.push_back(literal);
    }
    return result;
}

// A backtracking match: on a mismatch the most recent '*' takes one more character and the
// tokens after it are tried again. Only the most recent '*' needs retrying, since any earlier
// one can be matched by it taking more.
bool WildcardFileFilter::matches(const std::wstring& name) const {
    const size_t none = static_cast<size_t>(-1);
    size_t position = 0;
    size_t token = 0;
    size_t starToken = none;
    size_t starPosition = 0;
    for (;;) {
        if (token < tokens.size()) {
            const std::wstring& current = tokens[token];
            if (current == L"*") {
                starToken = token++;
                starPosition = position;
                continue;
            }
            const bool any = current == L"?";
            if (any ? position < name.size()
                    : name.compare(position, current.size(), current) == 0) {
                position += any ? 1 : current.size();
                ++token;
                continue;
            }
        } else if (position == name.size()) {
            return true;
        }
        if (starToken == none || starPosition >= name.size()) {
            return false;
        }
        token = starToken + 1;
        position = ++starPosition;
    }
}

} // namespace krel_std
