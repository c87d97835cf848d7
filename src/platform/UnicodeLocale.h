#pragma once

#include <locale.h>

namespace krel_platform {

// The one "C.UTF-8" locale through which the library classifies and case-maps characters with
// the _l functions: full Unicode, independent of the host's locale and of setlocale. Made on
// first use and never freed.
locale_t unicodeLocale();

// True for white space as the Unicode locale classifies it.
bool isUnicodeSpace(wchar_t character);

} // namespace krel_platform
