// The program the process benchmark starts: as soon as its main runs it writes one byte to the
// FIFO named by its argument, and ends. It does not link the library, so that what is timed is
// the start of a program, not the load of the library's own dependencies into it.
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2) {
        return 1;
    }
    const int fifo = open(argv[1], O_WRONLY | O_CLOEXEC);
    if (fifo < 0) {
        return 1;
    }
    const char ready = 'r';
    const bool written = write(fifo, &ready, 1) == 1;
    close(fifo);
    return written ? 0 : 1;
}
