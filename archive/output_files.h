// Output files: the path a member is written to, the directories on the way,
// the file itself, its writes, its time stamp and its removal on failure.
#pragma once

#include "win32_api.h"

// Largest single WriteFile call.
const int kWriteChunk = 61440;

// Joins the target directory (null counts as empty) and a member's stored
// name into `path` (MAX_PATH bytes). With keep_paths nonzero the stored
// subdirectories stay below the directory, else only the base name is used.
// Returns 0 when the result would not fit, or when the name would land
// outside the directory: absolute, drive-qualified or UNC names, and names
// with a ".." component, are refused.
int compose_output_path(char* path, const char* directory, const char* stored_name, int keep_paths);

// Whether a relative member path stays below the directory it is joined to.
int is_contained_member_path(const char* name);

// Creates the file, with every missing directory on its way. The result is
// INVALID_HANDLE_VALUE on failure.
HANDLE create_output_file(const char* path);

// Copies path without its last component into destination.
void directory_part(char* destination, const char* path);

// Creates every missing directory along a writable path; nonzero on success.
int make_directories(char* path);

// Creates one directory or confirms that it exists; nonzero on success.
int ensure_directory(const char* path);

// Writes n bytes in chunks of at most kWriteChunk; returns the bytes written,
// so a failure shows as a result below n.
int write_output(HANDLE file, const BYTE* data, int n);

// Stamps the file with the member's MS-DOS date and time (local time) as its
// last-write time, closes it, and deletes it by path if result is nonzero.
void finish_output_file(HANDLE file, const char* path, WORD dos_date, WORD dos_time, int result);
