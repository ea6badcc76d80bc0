// How `upkit extract` puts a member in place: the engine writes it under its
// stored name into a staging folder inside the target folder, and once whole
// it is renamed to its UTF-8 name below the target. A damaged member never
// replaces a file, and the rename stays on one file system.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "reporting_reader.h"

namespace upkit {

// The staging folders' names start so, then name the process that made the
// folder: ".upkit-partial-4242-1a2b3c4d".
inline constexpr const char* kStagingPrefix = ".upkit-partial";

// The prefix a staging folder of this process gets: ".upkit-partial-4242".
std::string staging_prefix();

// Removes the staging folders in `target` that processes which have ended
// left behind (killed before they could remove them); the folders of running
// ones are theirs.
void remove_stale_staging_folders(const std::filesystem::path& target);

// The first symbolic link on the way from `target` (which may be one) to
// `file`, `file` itself included: a member written there would land where the
// link points, or replace the link.
std::optional<std::filesystem::path> link_on_path(const std::filesystem::path& target,
                                                  const std::filesystem::path& file);

// The folder as an absolute engine path. Absolute, so that the paths the
// engine composes need no qualifying against the current folder, which can
// make them too long for the engine's records.
std::optional<std::string> engine_directory(const std::filesystem::path& directory);

// Checks every name before anything is written: an archive with one bad name
// (unsafe, or too long below `directory`, an engine path) is refused as a
// whole, printed on err against `archive`.
bool check_names(const std::vector<MemberEntry>& entries, const std::string& directory, const std::string& archive,
                 std::ostream& err);

// Where member `name` is written below `target`: its UTF-8 name.
std::filesystem::path output_path(const std::filesystem::path& target, const std::string& name);

// The file the engine just wrote below the staging folder, which holds no
// other file: each one is moved out once written. Found, not derived from
// the stored name, since the engine's way to a file name differs by host (on
// Windows through the OEM character set and back).
std::optional<std::filesystem::path> staged_file(const std::filesystem::path& staging);

// Moves the finished member into place, replacing a file there when
// `overwrite`; what went wrong when it cannot.
std::optional<std::string> move_into_place(const std::filesystem::path& from, const std::filesystem::path& to,
                                           bool overwrite);

// A path as messages show it: UTF-8 on every host.
std::string message_path(const std::filesystem::path& path);

}  // namespace upkit
