#include "ini_file.h"

namespace {

// Far beyond any real INI file; past it the file is left alone.
const LONG kLargestIniFile = 16 * 1024 * 1024;

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

BOOL IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Whether [begin, end) equals `name`, ASCII letters compared without case.
BOOL SameName(const char* begin, const char* end, const char* name)
{
    for (; begin < end; ++begin, ++name) {
        if (!*name || LowerAscii(*begin) != LowerAscii(*name))
            return FALSE;
    }
    return *name == '\0';
}

// Whether the line [line, end) is a section header; its name, without the
// blanks around it, goes to [*nameBegin, *nameEnd).
BOOL IsSectionHeader(const char* line, const char* end, const char** nameBegin, const char** nameEnd)
{
    while (line < end && IsBlank(*line))
        ++line;
    if (line == end || *line != '[')
        return FALSE;
    const char* close = end;
    while (close > line && *(close - 1) != ']')
        --close;
    if (close == line)
        return FALSE;  // no closing bracket after the opening one
    const char* begin = line + 1;
    const char* stop = close - 1;
    while (begin < stop && IsBlank(*begin))
        ++begin;
    while (stop > begin && IsBlank(*(stop - 1)))
        --stop;
    *nameBegin = begin;
    *nameEnd = stop;
    return TRUE;
}

UINT TextLength(const char* text)
{
    return static_cast<UINT>(lstrlenA(text));
}

void CopyBytes(char* to, const char* from, DWORD n)
{
    for (DWORD i = 0; i < n; ++i)
        to[i] = from[i];
}

// A file that is not there at all; one that merely cannot be opened for
// writing (read-only, or locked by another program) must never be created
// over, which would empty it.
BOOL IsMissing(const char* path)
{
    return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES;
}

BOOL CreateWithSection(const char* iniPath, const char* header, const char* lines)
{
    if (!IsMissing(iniPath))
        return FALSE;
    HFILE file = _lcreat(iniPath, 0);
    if (file == HFILE_ERROR)
        return FALSE;
    const DWORD headerLength = TextLength(header);
    const DWORD total = headerLength + TextLength(lines);
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, total));
    BOOL written = FALSE;
    if (text) {
        CopyBytes(text, header, headerLength);
        CopyBytes(text + headerLength, lines, total - headerLength);
        written = _lwrite(file, text, total) == total;
        HeapFree(GetProcessHeap(), 0, text);
    }
    _lclose(file);
    // Our own file: without the whole text it goes again.
    if (!written)
        DeleteFileA(iniPath);
    return written;
}

}  // namespace

void FindIniInsertion(const char* data, DWORD size, const char* section, IniInsertion* insertion)
{
    insertion->offset = size;
    insertion->sectionFound = FALSE;
    DWORD line = 0;
    while (line < size) {
        DWORD end = line;
        while (end < size && data[end] != '\n')
            ++end;
        const char* nameBegin;
        const char* nameEnd;
        if (IsSectionHeader(data + line, data + end, &nameBegin, &nameEnd)) {
            if (insertion->sectionFound) {
                insertion->offset = line;  // the section ends where the next begins
                break;
            }
            insertion->sectionFound = SameName(nameBegin, nameEnd, section);
        }
        line = end + 1;
    }
    // Only at the end of the file can the line before the new ones be open.
    insertion->lineEnd = "";
    if (insertion->offset == size && size > 0) {
        if (data[size - 1] == '\r')
            insertion->lineEnd = "\n";
        else if (data[size - 1] != '\n')
            insertion->lineEnd = "\r\n";
    }
}

BOOL AddToIniSection(const char* iniPath, const char* section, const char* lines)
{
    char header[64];
    if (TextLength(section) > sizeof header - 5)
        return FALSE;
    lstrcpyA(header, "[");
    lstrcatA(header, section);
    lstrcatA(header, "]\r\n");

    // Read-only is the file's owner saying it must not change. Windows
    // refuses the open below anyway; some systems let an administrator
    // through, so the kit asks first.
    const DWORD attributes = GetFileAttributesA(iniPath);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return FALSE;
    HFILE file = _lopen(iniPath, OF_READWRITE);
    if (file == HFILE_ERROR)
        return CreateWithSection(iniPath, header, lines);

    // The whole file is read, then what follows the insertion point is
    // written again behind the new lines, in the same write.
    BOOL ok = FALSE;
    const LONG size = _llseek(file, 0, FILE_END);
    if (size < 0 || size > kLargestIniFile) {
        _lclose(file);
        return FALSE;
    }
    const DWORD linesLength = TextLength(lines);
    const DWORD room = static_cast<DWORD>(size) + 2 + sizeof header + linesLength;
    char* data = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, 2 * room));
    if (data && _llseek(file, 0, FILE_BEGIN) == 0 &&
        _lread(file, data, static_cast<UINT>(size)) == static_cast<UINT>(size)) {
        IniInsertion at;
        FindIniInsertion(data, static_cast<DWORD>(size), section, &at);
        char* text = data + room;
        DWORD n = 0;
        const char* parts[] = {at.lineEnd, at.sectionFound ? "" : header, lines};
        for (const char* part : parts) {
            CopyBytes(text + n, part, TextLength(part));
            n += TextLength(part);
        }
        const DWORD tail = static_cast<DWORD>(size) - at.offset;
        CopyBytes(text + n, data + at.offset, tail);
        n += tail;
        if (_llseek(file, static_cast<LONG>(at.offset), FILE_BEGIN) == static_cast<LONG>(at.offset)) {
            ok = _lwrite(file, text, n) == n;
            if (!ok) {
                // A full disk: the file as it was, as far as it can be put back.
                _llseek(file, static_cast<LONG>(at.offset), FILE_BEGIN);
                _lwrite(file, data + at.offset, tail);
                _lwrite(file, data, 0);  // a write of nothing ends the file here
            }
        }
    }
    if (data)
        HeapFree(GetProcessHeap(), 0, data);
    _lclose(file);
    return ok;
}
