// Utility functions of the older KrelStd API. They report failures by their results and never
// throw exceptions of their own.
#pragma once

#include <cstdarg>
#include <cstdio>

#include "base/SWString.h"
#include "file/SFilePath.h"

namespace KrelStd {

// Trimming. The character-array forms remove white space at the end, in place (the narrow
// form tests the ANSI code page's blanks, the wide one Unicode white space); the SWString form
// trims both ends. A null text is left alone.
void TrimString(char* text);
void TrimString(wchar_t* text);
void TrimString(SWString& text);

// Options. Reads the next command-line argument at a process-wide index that starts at 1 and
// is never reset, so a second pass over a command line goes on where the first ended. An
// argument beginning with '-' or '/' is an option. Answers 0 at the end (optarg null), 1 for a
// plain argument (optarg at it), 0xFFFF for an option that optstring does not list (optarg at
// the whole argument), else the option character: optarg null, or its value when optstring
// marks it with a following ':' (the rest of the argument, else the next argument unless that
// is an option).
int GetOption(int argc, wchar_t** argv, wchar_t* optstring, wchar_t** optarg);

// Files. Narrow names are ANSI path texts.
// Copies the bytes in blocks; false when a file cannot be opened, and false with the target
// removed when a block cannot be read or written. A file copied onto itself stays as it is.
bool FileCopy(const char* source, const char* target);
// True when a search for the path (wildcards allowed) finds a file or a directory.
bool FileExist(const SWString& path);
// Moves the source over the target: the target is removed and the source renamed (retried
// briefly), else copied over it and truncated. When the target is a directory or read-only the
// source is deleted and the move fails; a missing source fails before the target is touched.
// Answers 0 on success, 1 on failure.
int CopyOver(const char* source, const char* target);

// Directories. The library directory (".." at start) and the application subdirectory (empty
// at start) are process-wide settings meant for one thread at a time.
void SetKrelDir(const SFilePath& dir);
SFilePath GetKrelDir();
void SetAppSubDir(const SWString& dir);
SWString GetAppSubDir();
// The directory part ("." without one) and the last component of a path, split at the later
// of '\' and '/'. out must have room for the whole path; the narrow forms write ANSI text.
void DirName(char* out, const char* path);
void DirName(wchar_t* out, const wchar_t* path);
void BaseName(char* out, const char* path);
void BaseName(wchar_t* out, const wchar_t* path);

// Formatting, with the Windows runtime's printf rules (see platform/WinCrt.h); the narrow
// forms convert their result from the ANSI code page. A format that cannot be formatted gives
// the empty text; appending leaves the text as it was then, or when memory runs out.
SWString sprintfString(const wchar_t* format, ...);
SWString sprintfString(const char* format, ...);
SWString sprintfStringVA(va_list args, const wchar_t* format);
SWString sprintfStringVA(va_list args, const char* format);
void sprintfStringAppend(SWString& text, const wchar_t* format, ...);
void sprintfStringAppend(SWString& text, const char* format, ...);
void sprintfStringAppendVA(SWString& text, va_list args, const wchar_t* format);
void sprintfStringAppendVA(SWString& text, va_list args, const char* format);

// Lines and dumps.
// Reads one line (its line feed kept) of ANSI text of any length. Answers 0 when the end of
// the file came before the last piece of the line held a byte, else 1.
int SWSfgets(SWString& line, FILE* stream);
// Each element's value in base 8, 16 or (any other base) 10 followed by a blank, then the
// elements as characters between quotes, unprintable ones as ".". The wide form puts two more
// blanks before the opening quote.
SWString BufferDump(const char* buffer, int length, int base);
SWString BufferDump(const wchar_t* buffer, int length, int base);

// Error texts.
// The prefix and the code, zero-filled to four digits when the code taken as unsigned is at
// most 9999.
SWString printErr(long code, const SWString& prefix);
// The system's message for the calling thread's last error, trimmed; empty when the system has
// none, "An unexpected error occurred." when the text cannot be made.
SWString printLastErr();
SWString Num2Str(long value);

} // namespace KrelStd
