#include "dos_time.h"

#include <fmt/format.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#include <sys/stat.h>
#endif

namespace upkit {

namespace {

const int kFirstYear = 1980;
const int kLastYear = 2107;

}  // namespace

DosStamp dos_stamp_from_fields(int year, int month, int day, int hour, int minute, int second)
{
    if (year < kFirstYear)
        return dos_stamp_from_fields(kFirstYear, 1, 1, 0, 0, 0);
    if (year > kLastYear)
        return dos_stamp_from_fields(kLastYear, 12, 31, 23, 59, 59);
    // A leap second (60) would read back as an invalid time.
    if (second > 59)
        second = 59;
    DosStamp stamp;
    stamp.date = static_cast<std::uint16_t>(((year - kFirstYear) << 9) | (month << 5) | day);
    stamp.time = static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
    return stamp;
}

#ifdef _WIN32

std::optional<DosStamp> file_dos_stamp(const std::filesystem::path& file)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    FILETIME local;
    SYSTEMTIME fields;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToSystemTime(&local, &fields))
        return std::nullopt;
    // FileTimeToDosDateTime refuses what lies outside the format; clamp first.
    if (fields.wYear < kFirstYear || fields.wYear > kLastYear)
        return dos_stamp_from_fields(fields.wYear, 1, 1, 0, 0, 0);
    WORD date = 0;
    WORD time = 0;
    if (!FileTimeToDosDateTime(&local, &date, &time))
        return std::nullopt;
    DosStamp stamp;
    stamp.date = date;
    stamp.time = time;
    return stamp;
}

#else

std::optional<DosStamp> file_dos_stamp(const std::filesystem::path& file)
{
    struct stat st;
    if (::stat(file.c_str(), &st) != 0)
        return std::nullopt;
    std::tm fields{};
    if (!::localtime_r(&st.st_mtime, &fields))
        return std::nullopt;
    return dos_stamp_from_fields(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                                 fields.tm_min, fields.tm_sec);
}

#endif

std::string format_dos_stamp(DosStamp stamp)
{
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", 1980 + (stamp.date >> 9), (stamp.date >> 5) & 0x0F,
                       stamp.date & 0x1F, stamp.time >> 11, (stamp.time >> 5) & 0x3F, (stamp.time & 0x1F) * 2);
}

std::optional<std::string> iso_8601_dos_stamp(DosStamp stamp)
{
    const int month = (stamp.date >> 5) & 0x0F;
    const int day = stamp.date & 0x1F;
    const int hour = stamp.time >> 11;
    const int minute = (stamp.time >> 5) & 0x3F;
    const int second = (stamp.time & 0x1F) * 2;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", 1980 + (stamp.date >> 9), month, day, hour, minute,
                       second);
}

}  // namespace upkit
