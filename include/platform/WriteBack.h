// Handing a file's changed data to the disk early, without waiting for it.
#pragma once

namespace krel_platform {

// Asks the system to begin writing the changed data of the open file to the disk and returns
// without waiting for the disk. A later flush of the file, or of a file system journal that
// carries the file's new blocks (the flush of any other file on the same disk may), then finds
// the data written or on its way instead of writing all of it at that moment. False with errno
// set when the descriptor cannot be written back (not a regular file, closed); nothing changes
// then.
bool startWriteBack(int descriptor);

} // namespace krel_platform
