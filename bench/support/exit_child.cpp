// The program the exit benchmark starts: built twice, linked with the library (which it uses
// for one lock, never touching the Java bridge) and without it. Right before main returns it
// writes one byte to the descriptor named by its argument, so that its exit alone can be timed.
#include <cstdlib>
#include <unistd.h>
#ifdef KREL_EXIT_CHILD_LINKED
#include "thread/Lock.h"
#endif

int main(int argc, char** argv) {
#ifdef KREL_EXIT_CHILD_LINKED
    krel_std::Lock lock;
    lock.lock();
    lock.unlock();
#endif
    if (argc > 1) {
        const int returning = std::atoi(argv[1]);
        const char byte = 'x';
        if (write(returning, &byte, 1) != 1) {
            return 1;
        }
        close(returning);
    }
    return 0;
}
