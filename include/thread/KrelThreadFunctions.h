// The older API's thread functions: the calling thread's id, a test of an id, and sleeping.
#pragma once

namespace KrelStd {

// The calling thread's operating-system id.
unsigned int KrelGetThreadID();
// True unless the id is 0xFFFFFFFF, the value that stands for no thread.
bool KrelIsValidThreadID(unsigned int id);
// Sleeps the calling thread (a negative time sleeps 0 ms) and answers true.
bool KrelSleep_ms(int ms);

} // namespace KrelStd
