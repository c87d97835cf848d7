#include "platform/UnicodeLocale.h"

#include <cwctype>
#include <wctype.h>

namespace krel_platform {

locale_t unicodeLocale() {
    // "C.UTF-8" ships with every Debian system; should it be missing, the "C" locale still
    // classifies the ASCII range.
    static const locale_t locale = [] {
        locale_t made = newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return made != static_cast<locale_t>(nullptr)
                   ? made
                   : newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return locale;
}

bool isUnicodeSpace(wchar_t character) {
    return iswspace_l(static_cast<wint_t>(character), unicodeLocale()) != 0;
}

} // namespace krel_platform
