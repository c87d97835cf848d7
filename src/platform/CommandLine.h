// The Windows rules for splitting a command line into arguments, and their inverse.
#pragma once

#include <string>
#include <vector>

namespace krel_platform {

// The program name ends at the first blank outside quotes and takes no escapes. In the later
// arguments, 2n backslashes before a quote give n backslashes and the quote toggles quoting;
// 2n + 1 give n backslashes and a literal quote; other backslashes are literal; inside quotes
// a doubled quote is one literal quote.
std::vector<std::wstring> splitCommandLine(const wchar_t* commandLine);

// A command line that splitCommandLine turns back into exactly these arguments.
std::wstring joinCommandLine(const std::vector<std::wstring>& arguments);

} // namespace krel_platform
