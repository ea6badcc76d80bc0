// The archives `upkit list`, `test` and `extract` read from the path they are
// given: an archive file as it is, or each ARCHIVE resource of a kit
// program, written to a private temporary file for the engine to read.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit_rows.h"
#include "temporary_folder.h"

namespace upkit {

struct ArchiveInput {
    std::string label;  // names it in messages: the path, or "kit.exe, archive 2001"
    std::string path;   // the file the engine opens (host text)
    std::optional<std::uint16_t> id;             // a kit's archive: its resource id
    std::optional<ArchiveRow> row;     // and the ArchiveList row naming it
};

class ArchiveInputs {
public:
    // Reads `path`: a kit when it starts like a Windows program. Throws
    // std::runtime_error (naming the file) for a kit that cannot be read.
    explicit ArchiveInputs(const std::string& path);

    bool from_kit() const { return folder_ != nullptr; }
    const std::vector<ArchiveInput>& archives() const { return archives_; }

private:
    std::unique_ptr<TemporaryFolder> folder_;
    std::vector<ArchiveInput> archives_;
};

// The folder a kit archive's members go to with the destinations layout:
// install, windows or system (base-<n> for other codes), then the row's
// subdirectory; nullopt with `why` set when the subdirectory would leave it.
std::optional<std::filesystem::path> destination_folder(const ArchiveRow& row, std::string& why);

}  // namespace upkit
