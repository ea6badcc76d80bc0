#include "temporary_folder.h"

#include <fmt/format.h>
#include <fstream>
#include <random>
#include <stdexcept>

namespace upkit {

namespace {

const int kFolderAttempts = 100;

}  // namespace

TemporaryFolder::TemporaryFolder(const std::string& prefix, const std::filesystem::path& parent)
{
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
        const std::filesystem::path candidate = parent / fmt::format("{}-{:08x}", prefix, random());
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::filesystem::filesystem_error("cannot make a temporary folder", parent,
                                            std::make_error_code(std::errc::file_exists));
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TemporaryFolder::write(const std::string& name, std::span<const std::uint8_t> bytes) const
{
    const std::filesystem::path file = path_ / name;
    write_file(file, bytes);
    return file;
}

void TemporaryFolder::write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error(fmt::format("{}: cannot write the file", path.string()));
}

}  // namespace upkit
