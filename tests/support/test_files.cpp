#include "test_files.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

namespace upkit::test {

TempDir::TempDir()
{
    static std::mt19937 rng(static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / ("upk" + std::to_string(rng() % 1000000));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::engine() const
{
    return engine_path(path_);
}

std::string engine_path(const fs::path& path)
{
    std::string text = path.string();
    for (char& c : text)
        if (c == '/')
            c = '\\';
    return text;
}

fs::path test_data(const std::string& relative)
{
    return fs::path(UPKIT_TEST_DATA) / fs::path(relative);
}

std::vector<std::uint8_t> read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const fs::path& path, std::span<const std::uint8_t> bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void write_file(const fs::path& path, const std::string& text)
{
    write_file(path, bytes_of(text));
}

std::vector<std::uint8_t> bytes_of(const std::string& text)
{
    return {text.begin(), text.end()};
}

std::vector<std::uint8_t> pseudo_random_bytes(std::size_t count, std::uint32_t seed, int alphabet)
{
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> bytes(count);
    for (std::uint8_t& b : bytes)
        b = static_cast<std::uint8_t>(rng() % static_cast<std::uint32_t>(alphabet));
    return bytes;
}

std::vector<std::uint8_t> archive_header(std::uint8_t version_a, std::uint8_t version_b, std::uint16_t count,
                                         std::uint8_t window_bits)
{
    return {'K',
            'W',
            version_a,
            version_b,
            static_cast<std::uint8_t>(count),
            static_cast<std::uint8_t>(count >> 8),
            window_bits,
            3};
}

std::int64_t local_dos_time_to_utc(std::uint16_t dos_date, std::uint16_t dos_time)
{
    const int year = 1980 + (dos_date >> 9);
    const int month = (dos_date >> 5) & 15;
    const int day = dos_date & 31;
    const int hour = dos_time >> 11;
    const int minute = (dos_time >> 5) & 63;
    const int second = (dos_time & 31) * 2;
#ifdef _WIN32
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(hour);
    local.wMinute = static_cast<WORD>(minute);
    local.wSecond = static_cast<WORD>(second);
    SYSTEMTIME utc{};
    FILETIME ft{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) || !SystemTimeToFileTime(&utc, &ft))
        throw std::runtime_error("time conversion failed");
    const std::int64_t ticks = (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return ticks / 10000000 - 11644473600LL;
#else
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
#endif
}

std::int64_t last_write_utc(const fs::path& path)
{
    const auto written = std::chrono::file_clock::to_sys(fs::last_write_time(path));
    return std::chrono::duration_cast<std::chrono::seconds>(written.time_since_epoch()).count();
}

}  // namespace upkit::test
