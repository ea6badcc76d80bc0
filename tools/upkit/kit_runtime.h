// The prebuilt kit runtime `upkit build` starts from: the file given with
// --runtime or found where kit_runtime_location.h looks, read, and checked to
// be a Windows program for the kit's architecture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace upkit {

// The runtime's bytes for `arch` (win32 or win64): from `given` when set,
// else the one found; `used` is set to its path. Throws kitbuild::KitError
// when there is none, it cannot be read, or it is no program for `arch`.
std::vector<std::uint8_t> load_kit_runtime(const std::optional<std::string>& given, const std::string& arch,
                                           std::filesystem::path& used);

}  // namespace upkit
