// The kit's four tables, byte for byte as the kit walks them: rows packed
// with no alignment, ANSI NUL-terminated strings, 16-bit little-endian
// numbers, and a 16-bit zero where the next row would begin.
//
// Rows the kit would misread are refused with a KitError naming the row and
// field: a row whose first two bytes are zero (the kit takes it for the end of
// the table), text holding a NUL or a character the kit's code page lacks,
// REG_DWORD data that is not a number as the kit parses it, archive ids that
// no resource can carry. Text the kit cuts short is warned about.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
#include "manifest.h"

namespace upkit::kitbuild {

// The longest text the kit takes from a table: its buffers hold 260 bytes and
// are filled with a count of 259.
const std::size_t kMaxKitText = 258;

// Every row must have its checksum (see resolve_checksums in kit_build.h).
std::vector<std::uint8_t> encode_app_versions(const std::vector<AppVersionRow>& rows, Diagnostics& diagnostics);
std::vector<std::uint8_t> encode_window_list(const std::vector<WindowRow>& rows, Diagnostics& diagnostics);
std::vector<std::uint8_t> encode_archive_list(const std::vector<ArchiveRow>& rows, Diagnostics& diagnostics);
std::vector<std::uint8_t> encode_registry_list(const std::vector<RegistryRow>& rows, Diagnostics& diagnostics);

// REG_DWORD data as the kit turns it into a number, provided the whole text
// is that number: "0x" or "0X" and hexadecimal digits (at most 0xFFFFFFFF),
// else an optional sign and decimal digits (a signed 32-bit value, written as
// its two's complement). nullopt for anything else, including leading blanks,
// which the kit would read as a decimal 0.
std::optional<std::uint32_t> kit_number(std::string_view data);

}  // namespace upkit::kitbuild
