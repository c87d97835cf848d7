#pragma once

#include <string>

namespace krel_std_internal {

// The separator of a raw path text, which may use '\' and '/' alike: the one that occurs later
// (or '/' when neither does). Splitting at the last occurrence of this character splits at the
// later of the two.
inline wchar_t rawPathSeparator(const std::wstring& path) {
    const std::wstring::size_type last = path.find_last_of(L"\\/");
    return last == std::wstring::npos ? L'/' : path[last];
}

} // namespace krel_std_internal
