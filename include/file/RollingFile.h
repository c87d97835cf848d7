#pragma once

#include <atomic>
#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Object.h"
#include "file/File.h"
#include "file/SmartFileHandle.h"
#include "thread/Lock.h"

namespace krel_std {

class RollingFileHeader;

// Writes bytes to a numbered set of files of bounded size: <directory>/<base><index><extension>,
// the index at least four digits long. When a write would pass the size limit, the current file
// is filled with blanks to exactly the limit and the next index is taken (back to 1 after the
// maximum file count); the index is recorded in the index file <base>_<extension>.idx beside
// the set, and each new file starts with the registered headers.
//
// Several writers, in this process or in others, may share one set. They take turns on the
// index file (an exclusive lock around each read-modify-write): a writer whose file is full
// and who finds the index already moved on joins that file; only the writer that advances the
// index replaces the file at the new index (the wrap-around). The index file also counts the
// roll-overs: a writer that finds the index and the count as it last left or read them knows
// that the next file was begun on an earlier lap and starts it afresh, whatever limit it was
// filled to; a writer that finds the index file new or without a valid index replaces only a
// full file there. Either way a file that another writer has begun and recorded is never
// removed before the ring comes round to it again. Once a writer has seen
// another writer's bytes or index, each of its writes leaves it knowing the file's real end,
// so no file passes the limit by more than one write per writer; before that it asks for the
// end every 32 writes, and every other write or so above 95% of the limit. A writer also notices,
// at most once a second, that its file was removed or filled by another writer, and then rolls
// over.
//
// A write lands whole or not at all: one that the file system cuts short (a full disk, a file
// size limit) is cut back off the file, so the next text never continues a torn line.
//
// Every operation but toString and isOpenForWriting holds the object's recursive lock for its
// whole run.
class RollingFile : public Object, private boost::noncopyable {
public:
    typedef std::vector<boost::shared_ptr<RollingFileHeader>> HeaderList;

    // Closed, no path, limits and index 0, no headers.
    RollingFile();
    // Closes the file without writing anything.
    ~RollingFile() override;

    // "RollingFile{path='<dir>/<base><ext>',index='..',maxSize='..',maxFiles='..'}".
    std::wstring toString() const override;

    // Closes the current file and binds the set of the given file name, which must hold a '.'
    // (KrelIllegalArgumentException "Invalid value for filename." otherwise, or for a
    // directory); then chooses the index from the index file.
    void setFilePath(const File& file);
    // The current file's path; "" while the directory, base name or extension is empty.
    std::wstring getFilePath() const;

    // Opens the current file for appending and writes the headers. A full file at the current
    // index is never removed by a writer that joined it: the writer moves on to the next index
    // instead. Throws KrelIOException "Current path is invalid or has not been set." and
    // "Unable to open file: ...".
    void open();
    // The size is kept; a pending reopen after a failed roll-over is dropped.
    void close();
    bool isOpen() const;
    // Open, or closed by a failed roll-over whose reopen is pending: a write may succeed. Takes
    // no lock: answers the state that the last finished operation left.
    bool isOpenForWriting() const;

    // Writes count bytes from buffer + offset, rolling over first when they would pass the
    // limit; returns count. A write cut short is taken back and throws KrelIOException
    // "Unable to write file: ..." as a failed one does. A file that could not be opened
    // during a roll-over is opened again by the next write.
    unsigned long write(const char* buffer, unsigned long offset, unsigned long count);

    // Values from 2^31 on are stored as 2147483647. While the file is open a lower limit rolls
    // over at once when the file is already past it.
    void setMaximumSize(unsigned long maximumSize);
    unsigned long getMaximumSize() const;
    // Used from the next roll-over on; 0 behaves as 1.
    void setMaximumFiles(unsigned long maximumFiles);
    unsigned long getMaximumFiles() const;

    // Appends a header unless it is empty or already present (the same object).
    void addHeader(const boost::shared_ptr<RollingFileHeader>& header);
    void removeHeader(const boost::shared_ptr<RollingFileHeader>& header);
    bool hasHeader(const boost::shared_ptr<RollingFileHeader>& header) const;

private:
    class WritableNote;

    std::wstring getIndexFile() const;
    // Chooses the index under the index file's lock: joins a newer index that another writer
    // recorded, or advances the own index, replaces the file there as removeReplacedFile says
    // and records the index with the roll-over count.
    void updateIndex();
    // Re-reads the size from the descriptor when the file is near or past the limit.
    void updateSize();
    // The size as the system reports it for the descriptor.
    void readSize();
    // Appends the bytes whole; the size becomes the end they left when the end is asked for.
    void append(const char* bytes, uint32_t count);
    // Whether the file's end is to be asked for after this write.
    bool isEndCheckDue();
    // Cuts the written bytes of a short write off the file's end, unless the file has grown
    // past them since.
    void takeBack(int64_t end, uint32_t written);
    // Rolls over when a write of count bytes would pass the limit, or when another writer
    // removed or filled the file. Called holding the lock.
    void rolloverIfNecessary(unsigned long count);
    // Asks the system, at most once a second, whether the file was removed (true) or has
    // reached the limit (the size is then taken from the system).
    bool isFileRemovedByOthers();
    void rollover();
    void writeHeaders();
    // The index after the own one, 1 after the maximum file count.
    uint32_t nextIndex() const;
    bool isFull(const File& file) const;
    // Removes the file at the current index when it was begun on an earlier lap of the ring,
    // whatever limit it was written under, or when it is full; only the writer that has just
    // advanced the index calls it, holding the index file's lock.
    void removeReplacedFile(bool ofEarlierLap);
    // Opens the file at the current path, moving on past full files that this writer did not
    // start itself.
    void openCurrent();

    mutable Lock lock;
    uint32_t maximumSize;
    uint32_t maximumFiles;
    uint32_t index;
    // The index file's roll-over count as this writer last read or recorded it.
    uint64_t rolloverCount;
    uint32_t size;
    File directory;
    std::wstring baseName;
    std::wstring extension;
    SmartFileHandle<int> descriptor;
    HeaderList headers;
    int32_t writeCount;
    // A roll-over could not open its new file: the next write tries again.
    bool reopenPending;
    // The tick count from which the next check for other writers' changes is due.
    uint64_t nextSharedCheck;
    // Another writer's bytes or index were seen: the end is asked for after every write.
    bool othersSeen;
    uint32_t writesSinceEndCheck;
    // Operations running, nested in one another, on the thread holding the lock.
    uint32_t operationDepth;
    // Whether a write may succeed, as the last finished operation left it.
    std::atomic<bool> writable;
};

} // namespace krel_std
