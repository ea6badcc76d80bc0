// Why a file cannot be opened, in the system's words, for messages such as
// "kit.bmp: cannot open the file: No such file or directory".
#pragma once

#include <filesystem>
#include <string>

namespace upkit {

// The reason the system gives for refusing to open `path` for reading,
// asked afresh (the stream or engine that failed keeps none): "No such file
// or directory", "Permission denied", "a folder, not a file". Empty when the
// file opens now.
std::string open_failure_reason(const std::filesystem::path& path);

// "cannot open the file", with the reason when there is one.
std::string cannot_open_file(const std::filesystem::path& path);

}  // namespace upkit
