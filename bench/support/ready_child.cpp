// The program the process benchmark starts: it sets the named event given as its argument as
// soon as its main runs, and ends.
#include "platform/Utf16.h"
#include "platform/WinSync.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        return 1;
    }
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, krel_platform::utf8ToWide(argv[1]).c_str());
    SetEvent(event);
    CloseHandle(event);
    return 0;
}
