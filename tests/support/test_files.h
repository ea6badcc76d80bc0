// Files, folders, paths and times for tests, the same natively and under
// Wine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace upkit::test {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed afterwards.
// Its path is short: the engine qualifies output paths below 128 characters
// through a fixed record.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& relative) const { return path_ / fs::path(relative); }
    // The folder as the engine takes it.
    std::string engine() const;

private:
    fs::path path_;
};

// A host path in the engine's form: backslashes between components.
std::string engine_path(const fs::path& path);

fs::path test_data(const std::string& relative);

std::vector<std::uint8_t> read_file(const fs::path& path);
void write_file(const fs::path& path, std::span<const std::uint8_t> bytes);
void write_file(const fs::path& path, const std::string& text);

// Deterministic filler: `alphabet` distinct byte values, pseudo-randomly.
std::vector<std::uint8_t> pseudo_random_bytes(std::size_t count, std::uint32_t seed, int alphabet = 256);
std::vector<std::uint8_t> bytes_of(const std::string& text);

// An archive header as the reader expects it.
std::vector<std::uint8_t> archive_header(std::uint8_t version_a, std::uint8_t version_b, std::uint16_t count,
                                         std::uint8_t window_bits);

// Seconds since 1970 (UTC) of an MS-DOS date and time read as local time,
// computed with the C library or the Windows time zone functions.
std::int64_t local_dos_time_to_utc(std::uint16_t dos_date, std::uint16_t dos_time);
// A file's last-write time, seconds since 1970 (UTC).
std::int64_t last_write_utc(const fs::path& path);

}  // namespace upkit::test
