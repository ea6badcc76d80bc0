// The files of a prefix's drive C, looked at before and after the kit ran, so
// that the report can say which files the kit wrote or replaced, and after a
// restart, which ones the restart replaced.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace upkit::kittry {

struct FileState {
    std::uintmax_t size = 0;
    std::int64_t mtime_ns = 0;  // last write, nanoseconds since 1970 (UTC)
};

// By Windows path, "C:\Program Files\Widget\WIDGET.EXE".
using FileSnapshot = std::map<std::string, FileState>;

FileSnapshot snapshot_files(const std::filesystem::path& drive_c);

struct FileChange {
    std::string path;
    enum Kind {
        added,
        changed,
        removed
    } kind = added;
    FileState state;  // after the change; for removed, before it
};

// What differs between two snapshots, in the order of the paths.
std::vector<FileChange> compare_snapshots(const FileSnapshot& before, const FileSnapshot& after);

// "1998-04-01 12:00:00 UTC" (to the second).
std::string utc_text(std::int64_t mtime_ns);

const char* change_name(FileChange::Kind kind);

}  // namespace upkit::kittry
