#include "archive_volumes.h"

#include <filesystem>
#include <fstream>

#include "archive_writer.h"
#include "engine_paths.h"
#include "member_sources.h"

namespace fs = std::filesystem;

namespace upkit {

namespace {

void write_file(const std::string& path, const std::vector<std::uint8_t>& data)
{
    std::ofstream file(host_path_of(path), std::ios::binary | std::ios::trunc);
    if (file)
        file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (file)
        file.close();
    if (!file)
        throw SourceError(path, "cannot write the file", kExitIoError);
}

}  // namespace

std::vector<std::vector<std::uint8_t>> volumes_of(std::vector<std::uint8_t> image,
                                                  std::optional<std::uint64_t> volume_size)
{
    if (!volume_size || *volume_size >= image.size()) {
        std::vector<std::vector<std::uint8_t>> one;
        one.push_back(std::move(image));
        return one;
    }
    return split_into_volumes(image, static_cast<std::size_t>(*volume_size));
}

std::vector<std::string> output_paths(const std::string& archive, std::size_t count)
{
    std::vector<std::string> paths = {archive};
    for (std::size_t n = 2; n <= count; ++n) {
        const std::optional<std::string> path = continuation_path(archive, static_cast<int>(n));
        if (!path)
            throw SourceError(archive,
                              "cannot be split: readers would look for its continuation files outside its "
                              "folder (a dot and a space in a folder name); choose another path",
                              kExitUsage);
        paths.push_back(*path);
    }
    return paths;
}

void write_volumes(const std::vector<std::string>& paths, const std::vector<std::vector<std::uint8_t>>& volumes)
{
    for (std::size_t i = 0; i < volumes.size(); ++i) {
        try {
            write_file(paths[i], volumes[i]);
        } catch (...) {
            for (std::size_t j = 0; j <= i; ++j) {
                std::error_code ec;
                fs::remove(host_path_of(paths[j]), ec);
            }
            throw;
        }
    }
}

}  // namespace upkit
