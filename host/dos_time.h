// MS-DOS time stamps: the local time, to two seconds, that members carry.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace upkit {

struct DosStamp {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};

// Packs calendar fields, truncating to even seconds. Years before 1980 give
// 1980-01-01 00:00:00 and years after 2107 give 2107-12-31 23:59:58, the ends
// of what the format can hold.
DosStamp dos_stamp_from_fields(int year, int month, int day, int hour, int minute, int second);

// The file's last-write time as a local MS-DOS stamp; nullopt when the file's
// times cannot be read.
std::optional<DosStamp> file_dos_stamp(const std::filesystem::path& file);

// "YYYY-MM-DD HH:MM:SS" straight from the stamp's fields, whatever they hold.
std::string format_dos_stamp(DosStamp stamp);

// "YYYY-MM-DDTHH:MM:SS" (ISO 8601, local time: the format keeps no zone), or
// nullopt when a field is out of range (month 0, hour 24, ...).
std::optional<std::string> iso_8601_dos_stamp(DosStamp stamp);

}  // namespace upkit
