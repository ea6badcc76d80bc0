// A private folder, removed with all it holds when the object goes. By
// default it lies in the system's temporary folder: where a kit's archives
// are written so that the engine, which reads archives from files, can read
// them. Given a parent, it lies there instead: extract decodes each member
// into one inside the target folder, so that moving the finished file into
// place is a rename on one file system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace upkit {

class TemporaryFolder {
public:
    // Makes "<parent>/<prefix>-<8 hex digits>", a name no folder there has
    // yet. Throws std::filesystem::filesystem_error when it cannot.
    explicit TemporaryFolder(const std::string& prefix,
                             const std::filesystem::path& parent = std::filesystem::temp_directory_path());
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
