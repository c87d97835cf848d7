// A short tour of KrelStd for a newcomer: run it with `make demo`.
#include <iostream>

#include "base/Object.h"
#include "base/StringUtils.h"
#include "exception/KrelAccessException.h"
#include "exception/KrelIOException.h"
#include "log/StaticLog.h"
#include "thread/Event.h"
#include "thread/Lock.h"
#include "thread/Thread.h"

using namespace krel_std;

namespace {

void showObjects() {
    std::wcout << L"Objects print themselves:\n";
    std::wcout << L"  " << Object().toString() << L"\n";
    std::wcout << L"  " << Lock().toString() << L"\n";
    std::wcout << L"  " << Event(false, true).toString() << L"\n";
}

void showExceptionChain() {
    std::wcout << L"Exceptions carry their cause and a Java class name:\n";
    try {
        try {
            throw KrelAccessException(L"Access is denied.", 5);
        } catch (const KrelException& cause) {
            throw KrelIOException(L"Unable to open <settings.cfg>", cause);
        }
    } catch (const KrelException& e) {
        std::wcout << L"  " << e.toString() << L"\n";
        std::wcout << L"  error number " << e.getErrNum() << L"\n";
    }
}

void showFormatting() {
    std::wcout << L"printf-style formatting follows the Windows runtime's rules\n"
                  L"(in a wide format %s takes wide text and %S narrow text):\n";
    std::wstring text;
    StringUtils::sprintfStringAppend(
        text, L"  wide <%s>, narrow <%S>, 64-bit <%I64d>, pointer <%p>", L"caf\u00e9", "bytes",
        static_cast<long long>(1) << 40, reinterpret_cast<void*>(0xBEEF));
    std::wcout << text << L"\n";
    std::wcout << L"  \"10 kb\" is " << StringUtils::convertSizeString(L"10 kb", 0)
               << L" bytes, \"1.5MB\" is " << StringUtils::convertSizeString(L"1.5MB", 0)
               << L" bytes\n";
}

void showDebugOutput() {
    std::wcout << L"Before the log is started, log lines go to the debugger output, which\n"
                  L"`make demo` shows on stderr (KREL_DEBUG_OUTPUT=stderr):\n"
               << std::flush;
    StaticLog::log(INFO, L"demo::main", L"Started", L"Demo", L"", Thread::getCurrentThreadId(),
                   L"main.cpp", __LINE__);
    StaticLog::log(DEBUG, L"demo::main", L"a debug line", L"Demo", L"",
                   Thread::getCurrentThreadId(), L"main.cpp", __LINE__);
}

} // namespace

int main() {
    std::ios::sync_with_stdio(false);
    std::locale::global(std::locale("C.UTF-8"));
    std::wcout.imbue(std::locale("C.UTF-8"));
    showObjects();
    showExceptionChain();
    showFormatting();
    showDebugOutput();
    return 0;
}
