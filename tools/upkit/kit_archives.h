// The archives upkit reads from the path it is given: an archive file as it
// is, or each ARCHIVE resource of a kit program. The engine reads archives
// from files only, so a kit's archives are written to a private temporary
// folder, one subfolder each, removed with the ArchiveInputs. list, test,
// extract and inspect all take a kit's archives this way.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit_contents.h"
#include "kit_rows.h"
#include "temporary_folder.h"

namespace upkit {

struct ArchiveInput {
    std::string label;                // names it in messages: the path, or "kit.exe, archive 2001"
    std::string path;                 // the file the engine opens (host text); empty when unavailable
    std::optional<std::uint16_t> id;  // a kit's archive: its resource id
    std::optional<ArchiveRow> row;    // and the ArchiveList row naming it
    std::string unavailable;          // why a kit's archive could not be written out for the engine
};

class ArchiveInputs {
public:
    // Reads `path`: a kit when it starts like a Windows program. Throws
    // std::runtime_error (naming the file) for a kit that cannot be read.
    explicit ArchiveInputs(const std::string& path);

    // The archives of `kit`, read already from the file `path`. Throws
    // std::filesystem::filesystem_error when no temporary folder can be made.
    ArchiveInputs(const std::string& path, const kitread::KitContents& kit);

    bool from_kit() const { return from_kit_; }
    const std::vector<ArchiveInput>& archives() const { return archives_; }

private:
    void add_kit_archives(const std::string& path, const kitread::KitContents& kit);

    bool from_kit_ = false;
    std::unique_ptr<TemporaryFolder> folder_;  // made when the kit carries an archive
    std::vector<ArchiveInput> archives_;
};

// The folder a kit archive's members go to with the destinations layout:
// install, windows or system (base-<n> for other codes), then the row's
// subdirectory; nullopt with `why` set when the subdirectory would leave it.
std::optional<std::filesystem::path> destination_folder(const ArchiveRow& row, std::string& why);

}  // namespace upkit
