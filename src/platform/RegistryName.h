// Names of registry keys and values, and the paths that join key names.
#pragma once

#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace krel_platform {

// A key or value name as the registry store keeps it: the spelling as UTF-16LE bytes, and the
// folded form under which names compare (each UTF-16 unit upper-cased, as big-endian bytes, so
// that comparing the bytes compares the units in order).
class RegistryName {
public:
    // Longest key name and value name, in UTF-16 units.
    static constexpr size_t MAX_KEY_NAME_LENGTH = 255;
    static constexpr size_t MAX_VALUE_NAME_LENGTH = 16383;

    RegistryName() = default;
    explicit RegistryName(const std::u16string& text);

    // The name of a value (null is the unnamed default value): ERROR_SUCCESS, or
    // ERROR_INVALID_PARAMETER for a name too long or one that UTF-16 cannot carry unchanged (see
    // isFaithfulInUtf16: such names would alias others). U+FFFD itself is an ordinary character.
    static LSTATUS fromValueName(LPCWSTR text, RegistryName& name);
    // The elements of a '\'-separated path (null or empty: none). A trailing '\' is ignored; a
    // leading one or an empty element is ERROR_BAD_PATHNAME, an element too long or a path that
    // UTF-16 cannot carry unchanged ERROR_INVALID_PARAMETER.
    static LSTATUS splitPath(LPCWSTR path, std::vector<RegistryName>& elements);

    // The wide text of stored UTF-16LE bytes.
    static std::wstring textOf(const void* bytes, size_t size);

    const std::string& spelling() const { return spelled; }
    const std::string& folded() const { return foldedForm; }

private:
    std::string spelled;
    std::string foldedForm;
};

} // namespace krel_platform
