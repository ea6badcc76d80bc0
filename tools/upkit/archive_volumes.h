// The files `upkit create` writes: the archive, split into continuation
// files (ARCHIVE, then .002, .003, ...) when it is larger than the volume
// size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace upkit {

// The archive's files: the first holds the image's start, the others follow
// as continuation files. One file when no volume size is given or the image
// fits it.
std::vector<std::vector<std::uint8_t>> volumes_of(std::vector<std::uint8_t> image,
                                                  std::optional<std::uint64_t> volume_size);

// The paths of `count` files of the archive at `archive`. Throws SourceError
// (2) when readers would look for a continuation file in another folder.
std::vector<std::string> output_paths(const std::string& archive, std::size_t count);

// Writes every file, or on failure removes those written so far: a partly
// written archive would look whole to someone shipping it. Throws
// SourceError (3).
void write_volumes(const std::vector<std::string>& paths, const std::vector<std::vector<std::uint8_t>>& volumes);

}  // namespace upkit
