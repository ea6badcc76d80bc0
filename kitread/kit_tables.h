// The kit's four tables read back into the rows they were built from, the
// way the kit walks them: before each row the 16-bit word at the cursor is
// read and 0 ends the table; strings are NUL-terminated Windows-1252 (given
// back as UTF-8), numbers 16-bit little-endian at any offset. The kit takes
// at most 258 characters of a string but always skips the whole of it; the
// rows here hold the whole string.
//
// The kit never looks at a table's size, so a table that runs off the end of
// its data before its end marker is an error here (DecodeError naming the
// table, the row and the field). Bytes after the end marker are not read.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "kit_rows.h"

namespace upkit::kitread {

std::vector<AppVersionRow> decode_app_versions(std::span<const std::uint8_t> table);
std::vector<WindowRow> decode_window_list(std::span<const std::uint8_t> table);
std::vector<ArchiveRow> decode_archive_list(std::span<const std::uint8_t> table);
std::vector<RegistryRow> decode_registry_list(std::span<const std::uint8_t> table);

}  // namespace upkit::kitread
