// Text field functions of the older KrelStd API: delimited fields, positional substrings and
// lists of numbers and ranges, as configuration values hold them. They keep no state.
#pragma once

#include "base/SWString.h"

namespace KrelStd {

// The number of delimiters in text plus one.
int NbrDelimFields(const SWString& text, wchar_t delimiter);

// Field `number` (from 1; 1 or less is the first) of text, up to the next delimiter. Answers
// the field's length; 0 with an empty field when text has fewer fields or the field is empty.
int GetDelimField(SWString& field, const SWString& text, int number, wchar_t delimiter);
// The same on ANSI text with a narrow delimiter. At most size - 1 bytes of the field are
// copied and always terminated (nothing for a size of 0 or less). Answers the number of
// characters copied.
int GetDelimField(char* field, int size, const char* text, int number, int delimiter);

// At most `length` characters of text from the 1-based `position`. Answers 1; 0 with an empty
// field when position lies outside the text or length is 0.
int GetPosField(SWString& field, const SWString& text, unsigned int position, unsigned int length);
// The same on ANSI text; a negative position or length answers 0. The field (at most `length`
// bytes) is copied and always terminated, so field must hold length + 1 bytes; nothing is
// written for a length of 0 or less.
int GetPosField(char* field, const char* text, int position, int length);

// Marks the numbers and ranges ("1,3-5") of text in flags, whose entries 0 to maximum are
// cleared first (flags must hold maximum + 1 entries). Numbers above maximum mark nothing; a
// range's ends are marked as numbers and again inside the range, and a range without a lower
// end starts at 0. Answers the number of markings made, not of distinct entries: "1-3" gives 5.
int RangeStrToIntArr(const SWString& text, int* flags, int maximum);

} // namespace KrelStd
