// Where OutputDebugStringW's text goes. By default nowhere (as with no debugger attached);
// KREL_DEBUG_OUTPUT=stderr or KREL_DEBUG_OUTPUT=<file> makes it visible.
#pragma once

#include <functional>
#include <string>

namespace krel_platform {

using DebugOutputHook = std::function<void(const std::wstring&)>;

// Installs a hook that receives every debugger-output text (in addition to the configured
// sink); an empty hook removes it. Meant for tests.
void setDebugOutputHook(DebugOutputHook hook);

// Whether OutputDebugStringW's text goes anywhere: a sink chosen by KREL_DEBUG_OUTPUT or a
// hook. Takes no lock, so a caller can skip building text that nobody would read.
bool isDebugOutputHeard();

} // namespace krel_platform
