// Where `upkit build` finds the prebuilt kit runtime of each architecture:
// the runtime is a program of this project, installed beside upkit as
// kit-runtime-win32.exe and kit-runtime-win64.exe.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace upkit {

// "kit-runtime-win32.exe" for "win32".
std::string kit_runtime_file_name(std::string_view arch);

// The folders searched, in order: $UPKIT_RUNTIME_DIR when set, the running
// program's own folder, and ../lib/upkit beside it (an installed layout).
std::vector<std::filesystem::path> kit_runtime_folders();

// The first folder holding the runtime, or nullopt.
std::optional<std::filesystem::path> find_kit_runtime(std::string_view arch);

// The folder of the running program; empty when the system does not say.
std::filesystem::path running_program_folder();

}  // namespace upkit
