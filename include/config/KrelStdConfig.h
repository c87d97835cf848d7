// The older API's configuration file functions: settings kept in plain INI-style text files,
// read and written one operation at a time with nothing cached.
//
// File format: every line is trimmed before it is looked at. "[S]" (exactly) is the heading of
// section S, whose lines run up to the next heading; the first heading of a name counts. "K=V"
// is the entry of key K with value V; keys are compared case-sensitively and there is no
// comment syntax. Text is code page 0; written lines end with CR LF.
//
// Default path: an empty file argument means the process-wide default path; a non-empty one
// becomes the default path while that is still empty. GetConfigSectionList and
// GetConfigStringList do not use it. The default path and the one list stream shared by
// OpenConfigStringList, FetchConfigStringList and CloseConfigStringList are guarded by one
// lock; one list can be read at a time.
//
// Writes copy the file line by line, trimmed, with the change, into a new temporary file
// beside it ("cfgXXXXXX"), which takes the file's permission bits and then its place. They
// answer 1 when the file holds the change, 0 when anything failed: the file is then kept as it
// was and the temporary file removed. No function throws.
#pragma once

#include <vector>

#include "base/SWString.h"
#include "file/SFilePath.h"

namespace KrelStd {

// Sets value to the key's value, or to defaultValue when there is none; answers its length.
// With trace on, a missing file, section or entry is traced at DEBUG.
int GetConfigString(SWString& value, SWString const& file, SWString const& section,
                    SWString const& key, SWString const& defaultValue, bool trace);
// The same on code page 0 texts: at most size - 1 bytes of the value are copied and always
// terminated (nothing for a size of 0 or less). Answers the number of characters copied.
int GetConfigString(char* value, int size, char const* file, char const* section, char const* key,
                    char const* defaultValue, bool trace);
// The value read as a decimal number (up to its first non-digit, 0 when it has none), clamped
// to the range of int; defaultValue when there is no entry.
int GetConfigInt(SWString const& file, SWString const& section, SWString const& key,
                 int defaultValue, bool trace);

// Writes the entry "key=value" in place of the section's entries for the key, else as the
// section's last line; a missing section is added at the end of the file, a missing file made.
int PutConfigString(SWString const& file, SWString const& section, SWString const& key,
                    SWString const& value);
int PutConfigInt(SWString const& file, SWString const& section, SWString const& key, int value);
// Removes the section's entries for the key (a missing file becomes an empty one).
int DeleteConfigEntry(SWString const& file, SWString const& section, SWString const& key);
// Removes the section's lines equal to line, both trimmed (a missing file becomes an empty one).
int DeleteConfigLine(SWString const& file, SWString const& section, SWString line);
// Removes every line of the section and keeps its heading; a missing file answers 1.
int DelConfigSectionValues(SWString const& file, SWString const& section);
// Removes the section with its heading; a missing file answers 1.
int DelConfigSection(SWString const& file, SWString const& section);
// Adds line as the section's last line.
int PutConfigStringList(SWString const& file, SWString const& section, SWString const& line);

// Opens the list stream at the section's first line and answers the section's line count,
// blank lines included; 0, with no stream open, when there is nothing to read.
int OpenConfigStringList(SWString const& file, SWString const& section);
// The list's next line, trimmed (a blank line as empty text): 1 with a line, 0 at the next
// heading or at the end of the file (which closes the stream) or without an open stream.
int FetchConfigStringList(SWString& line);
// The same into a buffer of size bytes, copied and terminated as by GetConfigString.
int FetchConfigStringList(char* line, int size);
// Closes the list stream if it is open; always 1.
int CloseConfigStringList();

// Splits the section's non-blank line number index (from 0) at its first "=" into key and
// value; answers the key's length, 0 when there is no such line.
int FetchConfigVals(SWString& value, SWString const& file, SWString const& section, SWString& key,
                    int index);
// The same into two buffers of size bytes each, copied and terminated as by GetConfigString.
int FetchConfigVals(char* value, int size, char const* file, char const* section, char* key,
                    int index);

// The names of all sections in file order; answers their count, -1 when file is empty or
// cannot be opened.
int GetConfigSectionList(std::vector<SWString>& sections, SWString const& file);
// The section's non-blank lines; answers their count, -1 as GetConfigSectionList.
int GetConfigStringList(std::vector<SWString>& lines, SWString const& file,
                        SWString const& section);

// Stores the formatted text (the Windows runtime's printf rules) as the default path. The
// text "no parameter passed in" is never stored: it leaves the default path as it was.
void CfgSetFilePath(char const* format, ...);
void CfgSetFilePath(wchar_t const* format, ...);
void CfgSetFilePath(SFilePath path);
// The default path in code page 0; the text stays valid until the default path changes.
char const* CfgGetFilePath();
// The default path's wide text; valid until the default path changes.
wchar_t const* WCfgGetFilePath();

} // namespace KrelStd
