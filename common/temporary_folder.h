// A private folder below the system's temporary folder, removed with all it
// holds when the object goes: where a kit's archives are written so that the
// engine, which reads archives from files, can read them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace upkit {

class TemporaryFolder {
public:
    // `prefix` starts the folder's name. Throws std::filesystem::filesystem_error.
    explicit TemporaryFolder(const std::string& prefix);
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Writes `bytes` as the file `name` in the folder and returns its path.
    // Throws std::runtime_error when it cannot.
    std::filesystem::path write(const std::string& name, std::span<const std::uint8_t> bytes) const;

    // Writes `bytes` as the file at `path`; throws std::runtime_error.
    static void write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

private:
    std::filesystem::path path_;
};

}  // namespace upkit
