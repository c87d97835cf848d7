// Holds a LockedFile open for another process's tests.
//
// Usage: krel_lock_holder <path> <read|overwrite>
// Opens the file, writes "locked" (or "failed" when the open is refused) and a newline to
// stdout, then keeps the file open until stdin reaches its end.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "exception/KrelException.h"
#include "file/File.h"
#include "file/LockedFile.h"
#include "platform/Utf16.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: krel_lock_holder <path> <read|overwrite>" << std::endl;
        return 2;
    }
    const krel_std::LockedFile::AccessType type = std::strcmp(argv[2], "read") == 0
                                                      ? krel_std::LockedFile::Read
                                                      : krel_std::LockedFile::Overwrite;
    krel_std::LockedFile file;
    try {
        file.open(krel_std::File(krel_platform::utf8ToWide(argv[1])), type);
    } catch (const krel_std::KrelException&) {
        std::cout << "failed" << std::endl;
        return 1;
    }
    std::cout << "locked" << std::endl;
    std::string ignored;
    while (std::getline(std::cin, ignored)) {
    }
    return 0;
}
