#include "output_files.h"

#include "input_stream.h"

namespace {

// Used by one file creation at a time.
char qualified_name[MAX_PATH];
char directory_buffer[MAX_PATH];

bool is_separator(char c)
{
    return c == '\\' || c == '/';
}

// Windows drops trailing dots and spaces from a component, so "..", ". ." and
// "..." all climb; refuse any component made of dots and spaces with two dots.
bool is_climbing_component(const char* begin, const char* end)
{
    int dots = 0;
    for (const char* p = begin; p < end; ++p) {
        if (*p == '.')
            ++dots;
        else if (*p != ' ')
            return false;
    }
    return dots >= 2;
}

// The Win32 errors that creating an existing directory can give, besides
// "already exists", depending on the file system and the drive.
bool counts_as_access_denied(DWORD error)
{
    switch (error) {
    case 5:
    case 16:
    case 65:
    case 82:
    case 83:
    case 108:
    case 132:
    case 158:
    case 167:
        return true;
    default:
        return error >= 19 && error <= 36;
    }
}

// The fully qualified name of path, in the ANSI character set it is given
// in, up to MAX_PATH. Qualifying through OpenFile's parse record would give
// the name in the OEM character set, and converting that back changes every
// character outside ASCII that the OEM code page places elsewhere or lacks:
// a member "Th\xe8me.ini" would be installed under another name.
bool qualify(const char* path)
{
    const DWORD n = GetFullPathNameA(path, MAX_PATH, qualified_name, nullptr);
    return n != 0 && n < MAX_PATH;
}

}  // namespace

int is_contained_member_path(const char* name)
{
    if (is_separator(*name))
        return 0;
    const char* component = name;
    for (const char* p = name;; p = CharNextA(p)) {
        if (*p == ':')
            return 0;
        if (*p == '\0' || is_separator(*p)) {
            if (is_climbing_component(component, p))
                return 0;
            if (*p == '\0')
                return 1;
            component = p + 1;
        }
    }
}

int compose_output_path(char* path, const char* directory, const char* stored_name, int keep_paths)
{
    if (!directory)
        directory = "";
    const int directory_length = lstrlenA(directory);
    const char* last = CharPrevA(directory, directory + directory_length);
    const bool add_separator = *last != '\\';

    const char* name = stored_name;
    if (keep_paths) {
        if (*name == '\\' && directory_length > 0)
            ++name;
    } else {
        name = base_name(stored_name);
    }
    if (!is_contained_member_path(name))
        return 0;
    if (directory_length + (add_separator ? 1 : 0) + lstrlenA(name) >= MAX_PATH)
        return 0;

    lstrcpyA(path, directory);
    if (add_separator)
        lstrcatA(path, "\\");
    lstrcatA(path, name);
    return 1;
}

void directory_part(char* destination, const char* path)
{
    lstrcpyA(destination, path);
    if (!*destination)
        return;
    char* p = CharPrevA(destination, destination + lstrlenA(destination));
    while (p > destination) {
        if (*p == ':')
            return;
        if (*p == '\\') {
            if (*CharPrevA(destination, p) != ':')
                *p = '\0';
            return;
        }
        *p = '\0';
        p = CharPrevA(destination, p);
    }
    *destination = '\0';
}

int ensure_directory(const char* path)
{
    if (CreateDirectoryA(path, nullptr))
        return 1;
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS && !counts_as_access_denied(error))
        return 0;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int make_directories(char* path)
{
    if (ensure_directory(path))
        return 1;
    char* p = CharNextA(path);
    if (*p == ':') {
        if (!p[1])
            return 1;
        p += 2;  // past the colon and the root backslash
    }
    for (;;) {
        bool last = *p == '\0';
        if (!last) {
            while (*p && *p != '\\')
                p = CharNextA(p);
            last = *p == '\0';
        }
        const char saved = *p;
        *p = '\0';
        ensure_directory(path);
        *p = saved;
        if (last)
            break;
        ++p;
    }
    return ensure_directory(path);
}

HANDLE create_output_file(const char* path)
{
    if (!qualify(path))
        return INVALID_HANDLE_VALUE;
    // Directories are made from the ANSI form, the one the file is created
    // with, so the two always agree.
    directory_part(directory_buffer, qualified_name);
    if (*directory_buffer)
        make_directories(directory_buffer);
    return CreateFileA(qualified_name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int write_output(HANDLE file, const BYTE* data, int n)
{
    int total = 0;
    while (n > 0) {
        const int chunk = n <= kWriteChunk ? n : kWriteChunk;
        DWORD written = 0;
        if (!WriteFile(file, data, static_cast<DWORD>(chunk), &written, nullptr))
            break;
        total += static_cast<int>(written);
        if (static_cast<int>(written) < chunk)
            break;
        data += chunk;
        n -= chunk;
    }
    return total;
}

void finish_output_file(HANDLE file, const char* path, WORD dos_date, WORD dos_time, int result)
{
    FILETIME local;
    FILETIME utc;
    if (DosDateTimeToFileTime(dos_date, dos_time, &local) && LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file, nullptr, nullptr, &utc);
    CloseHandle(file);
    if (result)
        DeleteFileA(path);
}
