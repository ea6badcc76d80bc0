// Adding lines to one section of an INI file without disturbing the rest:
// the file of restart-time renames is shared with every other program that
// has scheduled one.
#pragma once

#include <windows.h>

// Where lines for a section go in an INI file's bytes.
struct IniInsertion {
    DWORD offset;         // the new bytes go before the byte at this offset
    BOOL sectionFound;    // FALSE: the section's header must come with them
    const char* lineEnd;  // what ends the line before the offset first: "", "\n" or "\r\n"
};

// The end of the first section named `section` (matched without regard to
// case): just before the next section's header, or the end of the file.
// Without such a section, the end of the file. Only the first section of a
// name counts: that is the one the system reads.
void FindIniInsertion(const char* data, DWORD size, const char* section, IniInsertion* insertion);

// Adds `lines` (whole lines, each ending with CR LF) to the first section
// named `section` of the file, or to a new section at its end; creates the
// file when there is none. Every other byte of the file is kept, in order,
// and the lines go in with one write. FALSE when the file cannot be read or
// written; it is then left as it was.
BOOL AddToIniSection(const char* iniPath, const char* section, const char* lines);
