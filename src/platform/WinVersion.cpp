#include "platform/WinVersion.h"

#include <cerrno>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <new>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>

#include "platform/NativePath.h"
#include "platform/Utf16.h"
#include "platform/WinBase.h"
#include "platform/WinError.h"

namespace {

const char RECORD_SECTION[] = ".krel_version";
const char RECORD_MAGIC[] = "KRELVERSIONINFO1";
// A record is a few hundred bytes; anything much larger is not one of ours.
const uint64_t MAX_RECORD_SIZE = 64 * 1024;
const DWORD BLOCK_MAGIC = 0x314B5256u; // "VRK1"
// US English, Unicode: the only language a record is written in.
const wchar_t RECORD_LANGUAGE[] = L"040904B0";
const DWORD RECORD_TRANSLATION = 0x04B00409u;

// The head of the block that GetFileVersionInfoW hands out. The string fields follow it as
// pairs of terminated wide texts, name then value. Every member is a DWORD, so the texts that
// follow are aligned for wchar_t in a buffer from the C heap.
struct BlockHeader {
    DWORD magic;
    DWORD length; // bytes of the block that the buffer holds, this header included
    DWORD translation;
    VS_FIXEDFILEINFO fixed;
};

using Fields = std::vector<std::pair<std::wstring, std::wstring>>;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    const int fd;
};

bool readAt(int fd, uint64_t offset, void* target, size_t length) {
    char* out = static_cast<char*>(target);
    while (length > 0) {
        const ssize_t got = ::pread(fd, out, length, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        out += got;
        offset += static_cast<uint64_t>(got);
        length -= static_cast<size_t>(got);
    }
    return true;
}

// Finds the record section of an ELF file of one class and reads its bytes. False when the
// file is no ELF file of that class or has no such section; every offset and size taken from
// the file is checked against the file's size before it is used.
template <typename Ehdr, typename Shdr>
bool readRecordSection(int fd, uint64_t fileSize, std::string& record) {
    Ehdr header;
    if (fileSize < sizeof(header) || !readAt(fd, 0, &header, sizeof(header)) ||
        header.e_shentsize != sizeof(Shdr) || header.e_shnum == 0 ||
        header.e_shstrndx >= header.e_shnum) {
        return false;
    }
    const uint64_t tableSize = uint64_t(header.e_shnum) * sizeof(Shdr);
    if (header.e_shoff > fileSize || tableSize > fileSize - header.e_shoff) {
        return false;
    }
    std::vector<Shdr> sections(header.e_shnum);
    if (!readAt(fd, header.e_shoff, sections.data(), tableSize)) {
        return false;
    }
    const Shdr& names = sections[header.e_shstrndx];
    if (names.sh_offset > fileSize || names.sh_size > fileSize - names.sh_offset) {
        return false;
    }
    std::string nameTable(names.sh_size, '\0');
    if (!readAt(fd, names.sh_offset, &nameTable[0], nameTable.size())) {
        return false;
    }
    for (const Shdr& section : sections) {
        if (section.sh_name >= nameTable.size() ||
            std::strcmp(nameTable.c_str() + section.sh_name, RECORD_SECTION) != 0) {
            continue;
        }
        if (section.sh_type == SHT_NOBITS || section.sh_size > MAX_RECORD_SIZE ||
            section.sh_offset > fileSize || section.sh_size > fileSize - section.sh_offset) {
            return false;
        }
        record.assign(section.sh_size, '\0');
        return readAt(fd, section.sh_offset, &record[0], record.size());
    }
    return false;
}

// Splits a record into its fields: the magic, then name and value pairs up to an empty name.
bool parseRecord(const std::string& record, Fields& fields) {
    size_t position = 0;
    auto next = [&record, &position](std::string& text) {
        const size_t end = record.find('\0', position);
        if (end == std::string::npos) {
            return false;
        }
        text.assign(record, position, end - position);
        position = end + 1;
        return true;
    };
    std::string name;
    std::string value;
    if (!next(name) || name != RECORD_MAGIC) {
        return false;
    }
    for (;;) {
        if (!next(name)) {
            return false;
        }
        if (name.empty()) {
            return true;
        }
        if (!next(value)) {
            return false;
        }
        fields.emplace_back(krel_platform::utf8ToWide(name), krel_platform::utf8ToWide(value));
    }
}

// Reads the version fields of a file; on failure sets the Windows error and answers false.
bool readFields(LPCWSTR filename, Fields& fields) {
    if (filename == nullptr || *filename == L'\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const FileDescriptor file(
        ::open(krel_platform::nativePath(filename).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat status = {};
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0) {
        krel_platform::setLastErrorFromErrno();
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(status.st_size);
    unsigned char ident[EI_NIDENT] = {};
    std::string record;
    const bool found = size >= EI_NIDENT && readAt(file.fd, 0, ident, EI_NIDENT) &&
                       std::memcmp(ident, ELFMAG, SELFMAG) == 0 &&
                       (ident[EI_CLASS] == ELFCLASS64
                            ? readRecordSection<Elf64_Ehdr, Elf64_Shdr>(file.fd, size, record)
                            : ident[EI_CLASS] == ELFCLASS32 &&
                                  readRecordSection<Elf32_Ehdr, Elf32_Shdr>(file.fd, size, record));
    if (!found) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return false;
    }
    if (!parseRecord(record, fields)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    return true;
}

const std::wstring* findField(const Fields& fields, const wchar_t* name) {
    for (const auto& field : fields) {
        if (field.first == name) {
            return &field.second;
        }
    }
    return nullptr;
}

// "a.b.c.d" as the two DWORDs of a fixed version; missing or unreadable parts count 0.
void parseVersion(const std::wstring* text, DWORD& high, DWORD& low) {
    DWORD parts[4] = {};
    if (text != nullptr) {
        size_t position = 0;
        for (DWORD& part : parts) {
            DWORD value = 0;
            bool digits = false;
            while (position < text->size() && (*text)[position] >= L'0' &&
                   (*text)[position] <= L'9' && value <= 0xFFFF) {
                value = value * 10 + DWORD((*text)[position++] - L'0');
                digits = true;
            }
            if (!digits) {
                break;
            }
            part = value > 0xFFFF ? 0xFFFF : value;
            if (position >= text->size() || (*text)[position] != L'.') {
                break;
            }
            ++position;
        }
    }
    high = (parts[0] << 16) | parts[1];
    low = (parts[2] << 16) | parts[3];
}

bool endsWithLibrarySuffix(const std::wstring& name) {
    return name.size() >= 3 &&
           (name.compare(name.size() - 3, 3, L".so") == 0 || name.find(L".so.") != name.npos);
}

size_t blockSize(const Fields& fields) {
    size_t size = sizeof(BlockHeader);
    for (const auto& field : fields) {
        size += (field.first.size() + field.second.size() + 2) * sizeof(wchar_t);
    }
    return size;
}

// Lays the block out in a buffer of exactly blockSize(fields) bytes.
void writeBlock(const Fields& fields, const std::wstring& filename, char* buffer) {
    BlockHeader header = {};
    header.magic = BLOCK_MAGIC;
    header.length = static_cast<DWORD>(blockSize(fields));
    header.translation = RECORD_TRANSLATION;
    header.fixed.dwSignature = VS_FFI_SIGNATURE;
    header.fixed.dwStrucVersion = VS_FFI_STRUCVERSION;
    header.fixed.dwFileOS = VOS__WINDOWS32;
    header.fixed.dwFileType = endsWithLibrarySuffix(filename) ? VFT_DLL : VFT_APP;
    parseVersion(findField(fields, L"FileVersion"), header.fixed.dwFileVersionMS,
                 header.fixed.dwFileVersionLS);
    parseVersion(findField(fields, L"ProductVersion"), header.fixed.dwProductVersionMS,
                 header.fixed.dwProductVersionLS);
    std::memcpy(buffer, &header, sizeof(header));
    wchar_t* text = reinterpret_cast<wchar_t*>(buffer + sizeof(header));
    for (const auto& field : fields) {
        for (const std::wstring* part : {&field.first, &field.second}) {
            std::memcpy(text, part->c_str(), (part->size() + 1) * sizeof(wchar_t));
            text += part->size() + 1;
        }
    }
}

bool equalsIgnoringCase(const wchar_t* first, size_t length, const wchar_t* second) {
    auto fold = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c; };
    for (size_t i = 0; i < length; ++i) {
        if (second[i] == L'\0' || fold(first[i]) != fold(second[i])) {
            return false;
        }
    }
    return second[length] == L'\0';
}

// The elements of a sub-block path, between backslashes.
std::vector<std::pair<const wchar_t*, size_t>> splitPath(const wchar_t* path) {
    std::vector<std::pair<const wchar_t*, size_t>> parts;
    while (*path != L'\0') {
        while (*path == L'\\') {
            ++path;
        }
        const wchar_t* start = path;
        while (*path != L'\0' && *path != L'\\') {
            ++path;
        }
        if (path != start) {
            parts.emplace_back(start, size_t(path - start));
        }
    }
    return parts;
}

// The length of the terminated text at text, or -1 when no terminator comes before end.
ptrdiff_t boundedLength(const wchar_t* text, const wchar_t* end) {
    for (const wchar_t* at = text; at < end; ++at) {
        if (*at == L'\0') {
            return at - text;
        }
    }
    return -1;
}

const wchar_t* findString(const char* block, DWORD length, const wchar_t* name, size_t nameLength,
                          UINT& valueLength) {
    const wchar_t* at = reinterpret_cast<const wchar_t*>(block + sizeof(BlockHeader));
    const wchar_t* end = reinterpret_cast<const wchar_t*>(block + sizeof(BlockHeader) +
                                                          (length - sizeof(BlockHeader)) /
                                                              sizeof(wchar_t) * sizeof(wchar_t));
    while (at < end) {
        const ptrdiff_t keyLength = boundedLength(at, end);
        if (keyLength < 0) {
            return nullptr;
        }
        const wchar_t* value = at + keyLength + 1;
        const ptrdiff_t textLength = boundedLength(value, end);
        if (textLength < 0) {
            return nullptr;
        }
        if (equalsIgnoringCase(name, nameLength, at)) {
            valueLength = static_cast<UINT>(textLength + 1);
            return value;
        }
        at = value + textLength + 1;
    }
    return nullptr;
}

BOOL answerValue(const void* found, UINT foundLength, LPVOID* value, UINT* length) {
    *value = const_cast<void*>(found);
    *length = foundLength;
    return TRUE;
}

int collectModule(struct dl_phdr_info* info, size_t, void* data) {
    auto* modules = static_cast<std::vector<std::wstring>*>(data);
    const char* name = info->dlpi_name;
    if (name != nullptr && name[0] != '\0' && ::access(name, F_OK) == 0) {
        modules->push_back(krel_platform::utf8ToWide(name));
    }
    return 0;
}

// The kernel release's leading numbers ("6.1.0-18-amd64" gives 6, 1 and 0).
void parseRelease(const char* release, DWORD* numbers, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        DWORD value = 0;
        while (*release >= '0' && *release <= '9') {
            value = value * 10 + DWORD(*release++ - '0');
        }
        numbers[i] = value;
        if (*release != '.') {
            break;
        }
        ++release;
    }
}

} // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR filename, LPDWORD handle) {
    if (handle != nullptr) {
        *handle = 0;
    }
    try {
        Fields fields;
        if (!readFields(filename, fields)) {
            return 0;
        }
        return static_cast<DWORD>(blockSize(fields));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
}

BOOL GetFileVersionInfoW(LPCWSTR filename, DWORD, DWORD size, LPVOID data) {
    if (data == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    try {
        Fields fields;
        if (!readFields(filename, fields)) {
            return FALSE;
        }
        if (size < sizeof(BlockHeader)) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::vector<char> block(blockSize(fields));
        writeBlock(fields, filename, block.data());
        const DWORD copied = size < block.size() ? size : static_cast<DWORD>(block.size());
        // A cut block says how much of it the buffer holds, so that queries stay inside it.
        std::memcpy(block.data() + offsetof(BlockHeader, length), &copied, sizeof(copied));
        std::memcpy(data, block.data(), copied);
        return TRUE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* value, UINT* length) {
    if (block == nullptr || subBlock == nullptr || value == nullptr || length == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *value = nullptr;
    *length = 0;
    const char* bytes = static_cast<const char*>(block);
    BlockHeader header;
    std::memcpy(&header, bytes, sizeof(header));
    if (header.magic != BLOCK_MAGIC || header.length < sizeof(BlockHeader)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    const auto parts = splitPath(subBlock);
    if (parts.empty()) {
        return answerValue(bytes + offsetof(BlockHeader, fixed), sizeof(VS_FIXEDFILEINFO), value,
                           length);
    }
    if (parts.size() == 2 && equalsIgnoringCase(parts[0].first, parts[0].second, L"VarFileInfo") &&
        equalsIgnoringCase(parts[1].first, parts[1].second, L"Translation")) {
        return answerValue(bytes + offsetof(BlockHeader, translation), sizeof(DWORD), value,
                           length);
    }
    if (parts.size() == 3 &&
        equalsIgnoringCase(parts[0].first, parts[0].second, L"StringFileInfo") &&
        equalsIgnoringCase(parts[1].first, parts[1].second, RECORD_LANGUAGE)) {
        UINT found = 0;
        const wchar_t* text =
            findString(bytes, header.length, parts[2].first, parts[2].second, found);
        if (text != nullptr) {
            return answerValue(text, found, value, length);
        }
    }
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}

BOOL GetVersionExW(OSVERSIONINFOW* info) {
    if (info == nullptr || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) &&
                            info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct utsname system = {};
    if (::uname(&system) != 0) {
        krel_platform::setLastErrorFromErrno();
        return FALSE;
    }
    DWORD numbers[3] = {};
    parseRelease(system.release, numbers, 3);
    info->dwMajorVersion = numbers[0];
    info->dwMinorVersion = numbers[1];
    info->dwBuildNumber = numbers[2];
    info->dwPlatformId = VER_PLATFORM_KREL_LINUX;
    const std::wstring servicePack = krel_platform::utf8ToWide(system.sysname) + L" " +
                                     krel_platform::utf8ToWide(system.release);
    const size_t room = sizeof(info->szCSDVersion) / sizeof(WCHAR) - 1;
    const size_t kept = servicePack.size() < room ? servicePack.size() : room;
    std::wmemcpy(info->szCSDVersion, servicePack.c_str(), kept);
    info->szCSDVersion[kept] = L'\0';
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXW)) {
        auto* extended = reinterpret_cast<OSVERSIONINFOEXW*>(info);
        extended->wServicePackMajor = 0;
        extended->wServicePackMinor = 0;
        extended->wSuiteMask = 0;
        extended->wProductType = VER_NT_WORKSTATION;
        extended->wReserved = 0;
    }
    return TRUE;
}

namespace krel_platform {

std::vector<std::wstring> loadedModules() {
    std::vector<std::wstring> modules;
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length > 0) {
        modules.push_back(utf8ToWide(std::string(self, static_cast<size_t>(length))));
    }
    ::dl_iterate_phdr(collectModule, &modules);
    return modules;
}

} // namespace krel_platform
