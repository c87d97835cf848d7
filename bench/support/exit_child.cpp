// The program the exit benchmark starts: built twice, linked with the library (which it uses
// for one lock, never touching the Java bridge) and without it. It ends at once.
#ifdef KREL_EXIT_CHILD_LINKED
#include "thread/Lock.h"
#endif

int main() {
#ifdef KREL_EXIT_CHILD_LINKED
    krel_std::Lock lock;
    lock.lock();
    lock.unlock();
#endif
    return 0;
}
