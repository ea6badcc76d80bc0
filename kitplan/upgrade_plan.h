// An upgrade planned from release folders: which files of the new release a
// kit must carry to bring each old release up to it, where each one goes, and
// the checksum by which the kit recognises each old release.
//
// A file of the new release is carried when it is missing from at least one
// old release or differs (by content) from its counterpart there; a file the
// same in every old release is left out. Counterparts are found as Windows
// finds files: by their path below the release's folder, case ignored
// (name_folding.h). Files below the new release's system or Windows subfolder
// go to the system or Windows directory, the others to the install directory
// with their subfolders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "member_sources.h"
#include "plan_error.h"

namespace upkit::kitplan {

// The archive ids of the three destinations.
const std::uint16_t kInstallArchiveId = 2001;
const std::uint16_t kSystemArchiveId = 2002;
const std::uint16_t kWindowsArchiveId = 2003;

// A release the kit upgrades: its label ("2.0") and the folder holding its
// files as installed.
struct OldRelease {
    std::string label;  // UTF-8
    std::filesystem::path folder;
};

// What the author asks for. Texts are UTF-8.
struct PlanRequest {
    std::filesystem::path new_folder;
    std::vector<OldRelease> releases;
    std::string key;                            // below HKEY_LOCAL_MACHINE
    std::string value;                          // "" for the key's default value
    std::string file;                           // the file the kit checks, below the install directory
    std::optional<std::string> system_folder;   // below new_folder: files for the system directory
    std::optional<std::string> windows_folder;  // below new_folder: files for the Windows directory
    std::optional<std::string> product;
    std::optional<std::string> title;
    std::optional<std::string> maker;
    std::optional<std::string> welcome;
    std::optional<std::filesystem::path> bitmap;
    std::optional<std::filesystem::path> icon;
};

// How a file of the new release stands in one old release.
enum class Standing {
    same,
    changed,
    missing
};

struct PlannedFile {
    MemberSource source;             // stored: its name below the new release's folder
    std::string name;                // its stored name in its archive, below the destination (Windows-1252)
    std::vector<Standing> standing;  // per old release, in their order
};

struct PlannedArchive {
    std::uint16_t id = 0;
    std::uint16_t base = 0;  // KIT_BASE_INSTALL, _SYSTEM or _WINDOWS
    std::vector<PlannedFile> files;
};

// The file the kit checks, as one old release holds it.
struct QualifyingFile {
    std::filesystem::path path;
    std::uint16_t checksum = 0;
};

// A file of an old release that the new release lacks.
struct RemovedFile {
    std::string name;                 // below the release's folder, backslashes between folders (UTF-8)
    std::vector<std::string> labels;  // the releases that hold it
};

struct UpgradePlan {
    std::string file;                        // the checked file as the kit's table names it
    std::vector<QualifyingFile> qualifying;  // per old release, in their order
    std::vector<PlannedArchive> archives;    // only those with files, install, system, Windows
    std::size_t compared = 0;                // the new release's files
    std::size_t changed = 0;                 // in some old release, and not the same in all of them
    std::size_t added = 0;                   // in no old release
    std::size_t left_out = 0;                // the same in every old release
    std::vector<RemovedFile> removed;
    std::vector<std::string> warnings;  // what was skipped or cannot be told apart
};

// Checks the request, computes the checksums and compares the releases.
// Throws PlanError: a missing folder, a label given twice (case ignored),
// folders inside each other, a text the kit's code page lacks, a release
// without the checked file (2); a name the kit cannot carry (1); a file or
// folder that cannot be read (3).
UpgradePlan make_plan(const PlanRequest& request);

// Whether `path` is `folder` or lies below it, as the file system resolves
// them (links followed, and case ignored where the file system ignores it).
bool lies_within(const std::filesystem::path& path, const std::filesystem::path& folder);

}  // namespace upkit::kitplan
