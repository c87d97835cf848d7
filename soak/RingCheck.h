// The check of what the log ring kept against what the service's threads logged.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace krel_soak {

// (instance, thread) -> the last number that thread of that service instance logged.
typedef std::map<std::pair<unsigned, unsigned>, unsigned long> LoggedLines;

struct RingFigures {
    unsigned long logged = 0;
    unsigned long kept = 0;
    unsigned files = 0;
    unsigned long largestFile = 0;
    unsigned long otherLines = 0;
    // Misses.
    unsigned long duplicates = 0;
    unsigned long torn = 0;
    unsigned long unexpected = 0;
    // Places where a thread's lines in one file are not consecutive numbers: lines lost, or a
    // file that holds lines of two turns of the ring.
    unsigned long splitRuns = 0;
    // Threads whose last line is not in the ring.
    unsigned long newestMissing = 0;
    std::vector<std::string> examples;

    unsigned long misses() const {
        return duplicates + torn + unexpected + splitRuns + newestMissing;
    }
};

// Reads the files <directory>/Soak<digits>.log. Each thread's numbers, instance after instance,
// are one sequence. The ring only removes whole files, so a thread's lines in each kept file
// must be consecutive numbers of that sequence (a gap may lie only between files), with no
// number kept twice, no torn line, and the thread's newest line kept. A live check, made while
// the service writes, leaves out the part line at a file's end, the newest lines and the
// bounds of the running instance's numbers.
RingFigures checkRing(const std::string& directory, const LoggedLines& logged, bool live);

} // namespace krel_soak
