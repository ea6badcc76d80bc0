// The programs of this machine that a trial needs, found on PATH: Wine's
// loader for the kit's architecture and its wineserver, Xvfb when the kit
// runs without the user's display, and ImageMagick's import for screenshots.
// A missing one is a TrialError of one line that names the Debian package to
// install.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace upkit::kittry {

struct HostPrograms {
    std::filesystem::path loader;  // wine64 for win64 kits, 32-bit wine for win32 kits
    std::filesystem::path wineserver;
    std::filesystem::path xvfb;        // empty when not needed
    std::filesystem::path screenshot;  // import; empty when missing (no screenshots then)
};

// The first executable `name` in the folders of `path_value` (PATH's syntax).
std::optional<std::filesystem::path> find_on_path(const std::string& name, const std::string& path_value);

// `arch` is win32 or win64.
HostPrograms find_host_programs(const std::string& arch, bool need_xvfb, const std::string& path_value);

}  // namespace upkit::kittry
