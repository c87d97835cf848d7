// WildcardFileFilter, a listing filter by a name pattern with '?' and '*'.
#pragma once

#include <string>
#include <vector>

#include "file/IFileFilter.h"

namespace krel_std {

// Keeps the files whose name matches a pattern of literal text, '?' (any one character) and
// '*' (any run of characters, none included). ASCII letters match in either case.
class WildcardFileFilter : public IFileFilter {
public:
    // An empty pattern throws KrelIllegalArgumentException "matchString value is empty.".
    explicit WildcardFileFilter(const std::wstring& matchString);

    // Matches the file's getName().
    bool accept(const File& file) const override;
    ~WildcardFileFilter() override;

private:
    // The lower-cased pattern split into literal runs and one-character wildcard tokens:
    // "a*b?c" gives a, *, b, ? and c.
    static std::vector<std::wstring> tokenize(const std::wstring& pattern);
    bool matches(const std::wstring& name) const;

    std::vector<std::wstring> tokens;
};

} // namespace krel_std
