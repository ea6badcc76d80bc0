// Listing archives held in memory (a kit's ARCHIVE resources) the way
// `upkit list` lists archive files. The engine reads archives from files
// only, so each one is written to a private temporary folder first.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "reporting_reader.h"
#include "temporary_folder.h"

namespace upkit {

struct ArchiveListing {
    bool readable = false;
    std::string failure;  // why not, when not readable
    int window_bits = 0;
    int version_a = 0;
    int version_b = 0;
    std::vector<MemberEntry> members;
};

class ArchiveBytesLister {
public:
    // Makes the temporary folder (removed with the lister); throws
    // std::filesystem::filesystem_error.
    ArchiveBytesLister() : folder_("upkit-inspect") {}

    // Reads the header and directory of the archive `bytes`; `id` names its
    // file.
    ArchiveListing list(std::uint16_t id, std::span<const std::uint8_t> bytes);

private:
    TemporaryFolder folder_;
};

}  // namespace upkit
