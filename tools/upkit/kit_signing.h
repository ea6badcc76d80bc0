// `upkit build --sign-command`: a command run on the finished kit, {}
// standing for its path, e.g. a signing tool.
#pragma once

#include <filesystem>
#include <string>

namespace upkit {

// Runs `command` through the shell with every {} replaced by the kit's
// quoted path. Throws kitbuild::KitError when the command names no {} or
// fails; a kit whose signing failed is removed, so that no unsigned kit is
// taken for a signed one.
void sign_kit(const std::string& command, const std::filesystem::path& kit);

// How a command run through the shell ended, from std::system's result:
// "ended with exit status 2", "was stopped by signal 9 (Killed)".
std::string command_failure(int status);

}  // namespace upkit
