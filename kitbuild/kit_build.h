// Builds a kit's generated resources from its manifest: the four tables and
// one KW archive per archive row, reading the files the manifest names.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "archive_writer.h"
#include "diagnostics.h"
#include "manifest.h"

namespace upkit::kitbuild {

// Where the manifest's relative input paths start.
struct InputFolders {
    std::filesystem::path manifest;              // the manifest's folder
    std::optional<std::filesystem::path> files;  // built inputs (from = "files"), when given
};

// The file or folder an input path names. Refuses a path relative to the
// folder of built inputs when none was given.
std::filesystem::path resolve_input(const InputPath& input, const InputFolders& folders, const Origin& origin,
                                    std::string_view field);

// The whole file at `path`. Refuses, naming `field` of `origin`, a file that
// cannot be opened (with the system's reason) or read, or that is larger
// than 2 GiB.
std::vector<std::uint8_t> read_whole_file(const std::filesystem::path& path, const Origin& origin,
                                          std::string_view field);

// The kit's checksum of a file's bytes (as the kit reads them, in blocks of
// 1024 through a buffer cleared before each read). Throws KitError when the
// file is missing, is no regular file or cannot be read.
std::uint16_t file_checksum(const std::filesystem::path& file);

// Fills in the checksum of every row that names a file to compute it from;
// `read` collects the files read.
void resolve_checksums(std::vector<AppVersionRow>& rows, const InputFolders& folders,
                       std::vector<std::filesystem::path>& read);

// The members of an archive row, in content order (a folder's files sorted by
// stored name), with their stored names checked as `upkit create` checks them
// and the time stamp of the row, else of the kit, else of each file. `read`
// collects the files and folders read.
std::vector<MemberInput> archive_members(const ArchiveRow& row, const KitInfo& kit, const InputFolders& folders,
                                         std::vector<std::filesystem::path>& read);

// The archive image of a row; refuses window bits the encoder does not offer.
std::vector<std::uint8_t> build_archive(const ArchiveRow& row, const std::vector<MemberInput>& members);

// An archive row's prebuilt archive, as it is; refuses a file that does not
// start with the archive signature.
std::vector<std::uint8_t> read_prebuilt_archive(const ArchiveRow& row, const InputFolders& folders,
                                                std::vector<std::filesystem::path>& read);

struct OutputFile {
    std::string name;  // AppVersions.bin, ..., archive-2001.kw
    std::vector<std::uint8_t> bytes;
};

struct KitResources {
    std::vector<OutputFile> files;
    std::vector<std::filesystem::path> inputs;  // the manifest and every file and folder read
};

// Everything a manifest describes, in memory. Throws KitError.
KitResources build_kit_resources(const Manifest& manifest, const std::optional<std::filesystem::path>& files_folder,
                                 Diagnostics& diagnostics);

// Writes the files into `folder` (created if missing), each through a
// temporary file renamed into place. Throws KitError.
void write_kit_resources(const KitResources& resources, const std::filesystem::path& folder);

// A make-style dependency file: every output depends on every input.
std::string dependency_file_text(const std::vector<std::filesystem::path>& outputs,
                                 const std::vector<std::filesystem::path>& inputs);

}  // namespace upkit::kitbuild
