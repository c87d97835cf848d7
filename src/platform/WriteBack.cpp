#include "platform/WriteBack.h"

#include <fcntl.h>

namespace krel_platform {

bool startWriteBack(int descriptor) {
    // A length of 0 covers the file up to its end, whatever it has grown to.
    return sync_file_range(descriptor, 0, 0, SYNC_FILE_RANGE_WRITE) == 0;
}

} // namespace krel_platform
